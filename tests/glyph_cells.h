// Text as the built-in font lays it out: one cell of 8 x 16 pixels a
// character, the high bit of each font row leftmost. Tests build the pixels
// they expect with it, and read rows of text back with it.
#pragma once

#include <cstdint>
#include <string>

#include "pages.h"

namespace glyphs {

// Whether pixel (x, y) of the cell of `code` is ink: x from 0 to 7, y from 0 to 15.
inline bool ink(uint8_t code, int x, int y) { return (builtin_font[code][y] >> (7 - x)) & 1; }

// What pixel (x, y) shows when `text` stands in `fore` on `back` with its
// first cell's top left corner at (left, top); `elsewhere` outside the text.
template <class Colour>
Colour text_pixel(const std::string& text, int left, int top, int x, int y, Colour fore, Colour back,
                  Colour elsewhere) {
    if (y < top || y >= top + 16 || x < left || x >= left + 8 * static_cast<int>(text.size())) return elsewhere;
    return ink(static_cast<uint8_t>(text[static_cast<size_t>((x - left) / 8)]), (x - left) % 8, y - top) ? fore
                                                                                                           : back;
}

// A row of `columns` cells whose pixels start at row `top`, read back: each
// cell matched against the font in `fore` on `back`, '?' where no glyph
// matches. An empty cell matches code 0 first and reads as a blank; the
// blanks at the end are dropped. `at(x, y)` gives a pixel's colour.
template <class At, class Colour>
std::string read_row(At at, int columns, int top, Colour fore, Colour back) {
    std::string text;
    for (int column = 0; column < columns; ++column) {
        char found = '?';
        for (int code = 0; code < 256 && found == '?'; ++code) {
            bool same = true;
            for (int y = 0; y < 16 && same; ++y)
                for (int x = 0; x < 8 && same; ++x)
                    same = at(column * 8 + x, top + y) == (ink(static_cast<uint8_t>(code), x, y) ? fore : back);
            if (same) found = code == 0 ? ' ' : static_cast<char>(code);
        }
        text += found;
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace glyphs
