// The pages the display probe shows, and the colour each should show at
// a frame pixel, worked out here from the font and the standard colours.
#pragma once

#include <cstdint>

#include "glyph_cells.h"
#include "pages.h"
#include "standard_colours.h"

inline void fill_probe_text_page(ScreenImage& page) {
    for (int row = 0; row < page.height; ++row)
        for (int column = 0; column < page.width; ++column) {
            uint8_t* cell = page.pixels.data() + (static_cast<size_t>(row) * page.width + column) * 2;
            cell[0] = static_cast<uint8_t>(row * 80 + column * 7);
            cell[1] = static_cast<uint8_t>(row * 13 + column * 5);  // blink bit included
        }
    page.cursor_visible = false;
}

inline uint32_t expected_text_pixel(int x, int y) {
    int row = y / 16, column = x / 8;
    uint8_t character = static_cast<uint8_t>(row * 80 + column * 7);
    uint8_t attribute = static_cast<uint8_t>(row * 13 + column * 5);
    bool set = glyphs::ink(character, x % 8, y % 16);
    return expected_standard_colours[set ? attribute & 15 : (attribute >> 4) & 7] & 0xFFFFFF;
}

inline uint8_t probe_mode12_index(int x, int y) { return static_cast<uint8_t>(((x / 3) ^ (y / 5)) + x * y / 7) & 15; }

inline void fill_probe_mode12_page(ScreenImage& page) {
    for (int y = 0; y < page.height; ++y)
        for (int x = 0; x < page.width; ++x) page.row(y)[x] = probe_mode12_index(x, y);
    // A palette of its own, so the frame must go through the page's palette.
    for (int i = 0; i < 16; ++i) page.palette[i] = 0xFF000000u | (i * 0x0F1F2Bu);
}

inline uint32_t expected_mode12_pixel(int x, int y) { return (probe_mode12_index(x, y) * 0x0F1F2Bu) & 0xFFFFFF; }
