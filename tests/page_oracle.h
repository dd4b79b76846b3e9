// A second, deliberately plain account of what the drawing operations do to
// a page of one byte per pixel. Tests build the page they expect with it and
// compare it with the runtime's; it shares no code with the runtime.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace oracle {

struct Page {
    int width = 640, height = 480;
    int clip_x1 = 0, clip_y1 = 0, clip_x2 = 639, clip_y2 = 479;
    uint32_t colour_mask = 15;
    uint32_t foreground = 15;
    uint32_t background = 0;
    float cursor_x = 320.0f, cursor_y = 240.0f;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(640 * 480, 0);

    uint8_t& at(int x, int y) { return pixels[static_cast<size_t>(y) * width + x]; }
    uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
    bool inside_clip(long long x, long long y) const {
        return x >= clip_x1 && x <= clip_x2 && y >= clip_y1 && y <= clip_y2;
    }
};

// clear_screen with nothing given, on a graphics page.
void clear(Page& page);
// fill_box: rounded corners (ties to even), exchanged, clamped to the clip box.
void fill_box(Page& page, float x1, float y1, float x2, float y2, uint32_t colour);
void plot(Page& page, long long x, long long y, uint32_t colour);
// draw_line on a graphics page: style 0 a line, 1 the box outline, 2 the
// filled box, any other nothing; the points, colour and pattern as the mask
// gives them, and the cursor left on the second point.
void draw_line(Page& page, float x1, float y1, float x2, float y2, uint32_t colour, int32_t style,
               int32_t pattern, int32_t passed);
// flood_fill for the masks that raise no error (bit 8 clear).
void flood(Page& page, float x, float y, uint32_t fill, uint32_t border, int32_t passed);
// pattern_fill for calls that raise no error: tile given, 1 to 256 bytes; a
// background, when `background` is not null, of 1 to 255 bytes.
void pattern(Page& page, float x, float y, const std::string& tile, uint32_t border,
             const std::string* background, int32_t passed);
// The colour the tile gives pixel (x, y) on a page of 4 bits per pixel.
uint8_t tile_colour(const std::string& tile, int x, int y);
// draw_circle with only the colour given (passed = 2).
void circle(Page& page, double x, double y, double radius, int32_t colour);

// The first pixel where two pages differ, or -1 when they are alike.
long long first_difference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b);

}  // namespace oracle
