// Drawing on the write page: lines, boxes, points, flood and tile fills, circles.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "drawing.h"
#include "errors.h"
#include "pages.h"
#include "screen_runtime.h"

namespace {

constexpr double pi = 3.141592653589793;  // the double nearest to pi
constexpr int64_t far_coordinate = int64_t{1} << 40;  // beyond any page, small enough for exact products

// Nearest integer, ties to even, saturated far outside any page (NaN too).
int64_t to_pixel(double v) {
    double r = std::nearbyint(v);
    if (!(r > -static_cast<double>(far_coordinate))) return -far_coordinate;
    if (r > static_cast<double>(far_coordinate)) return far_coordinate;
    return static_cast<int64_t>(r);
}

// Sums as the x87 forms them: extended precision, then stored as single.
float add_single(float a, float b) {
    return static_cast<float>(static_cast<long double>(a) + static_cast<long double>(b));
}

// The clip box, narrowed to the page so that no write can leave the buffer.
struct Clip {
    int64_t x1, y1, x2, y2;
    bool empty() const { return x1 > x2 || y1 > y2; }
    bool contains(int64_t x, int64_t y) const { return x >= x1 && x <= x2 && y >= y1 && y <= y2; }
};

Clip clip_of(const ScreenImage& page) {
    return {std::max<int64_t>(page.clip_x1, 0), std::max<int64_t>(page.clip_y1, 0),
            std::min<int64_t>(page.clip_x2, int64_t{page.width} - 1),
            std::min<int64_t>(page.clip_y2, int64_t{page.height} - 1)};
}

bool indexed_graphics(const ScreenImage* page) {
    return page && !page->text_page && page->bytes_per_pixel == 1 &&
           page->pixels.size() >= size_t{page->width} * page->height;
}

void plot_wide(int64_t x, int64_t y, uint32_t colour) {
    // Coordinates beyond 32 bits lie outside every clip box.
    if (x < INT32_MIN || x > INT32_MAX || y < INT32_MIN || y > INT32_MAX) return;
    plot_point(static_cast<int32_t>(x), static_cast<int32_t>(y), colour);
}

// One line from (x0, y0) to (x1, y1). Step t along the major axis takes the
// minor coordinate t * minor / major rounded half up, and uses pattern bit
// 15 - (phase + t) mod 16 (most significant bit first): the pixel is plotted
// when that bit is set, also for steps that fall outside the clip box, so a
// clipped line keeps its pattern. Only the steps whose major coordinate lies
// in the clip box are walked. Returns the phase for a following line.
uint32_t line(const ScreenImage& page, int64_t x0, int64_t y0, int64_t x1, int64_t y1,
              uint32_t colour, uint32_t pattern, uint32_t phase) {
    const int64_t dx = std::llabs(x1 - x0), dy = std::llabs(y1 - y0);
    const int64_t sx = x1 < x0 ? -1 : 1, sy = y1 < y0 ? -1 : 1;
    const bool x_major = dx >= dy;
    const int64_t major = x_major ? dx : dy, minor = x_major ? dy : dx;
    const int64_t m0 = x_major ? x0 : y0, n0 = x_major ? y0 : x0;
    const int64_t ms = x_major ? sx : sy, ns = x_major ? sy : sx;
    const uint32_t next_phase = static_cast<uint32_t>((phase + (major + 1) % 16) % 16);

    const Clip clip = clip_of(page);
    if (clip.empty()) return next_phase;
    const int64_t lo = x_major ? clip.x1 : clip.y1, hi = x_major ? clip.x2 : clip.y2;
    int64_t t_lo = ms > 0 ? lo - m0 : m0 - hi;
    int64_t t_hi = ms > 0 ? hi - m0 : m0 - lo;
    t_lo = std::max<int64_t>(t_lo, 0);
    t_hi = std::min(t_hi, major);
    if (t_lo > t_hi) return next_phase;

    const int64_t den = 2 * std::max<int64_t>(major, 1);
    const __int128 num = static_cast<__int128>(2 * minor) * t_lo + major;
    int64_t q = static_cast<int64_t>(num / den), r = static_cast<int64_t>(num % den);
    for (int64_t t = t_lo; t <= t_hi; ++t) {
        const uint32_t bit = 15 - static_cast<uint32_t>((phase + t % 16) % 16);
        if (pattern >> bit & 1) {
            const int64_t m = m0 + ms * t, n = n0 + ns * q;
            if (x_major)
                plot_wide(m, n, colour);
            else
                plot_wide(n, m, colour);
        }
        r += 2 * minor;
        if (r >= den) {
            r -= den;
            ++q;
        }
    }
    return next_phase;
}

// Buffers kept between fills: no allocation once they have grown to the page.
struct FillBuffers {
    std::vector<uint64_t> marks;  // one examined bit per pixel of the page
    std::vector<uint64_t> current, next;  // generations: x | y << 16 | directions << 32
    std::vector<uint32_t> tile_row;       // per page row: offset of its tile row
};
FillBuffers buffers;
FillStats stats;

// Marks for a fill over `pixels` pixels, with its start pixel examined.
void mark_start(size_t pixels, size_t start) {
    const size_t words = (pixels + 63) / 64;
    if (buffers.marks.size() < words) buffers.marks.resize(words, 0);
    buffers.marks[start >> 6] |= uint64_t{1} << (start & 63);
}

void clear_marks() { std::memset(buffers.marks.data(), 0, buffers.marks.size() * 8); }

// Room for the generation that follows one of `count` pixels (each finds at most 4).
uint64_t* next_room(size_t count) {
    if (buffers.next.size() < 4 * count) buffers.next.resize(4 * count);
    return buffers.next.data();
}

void finish_generation(size_t found) {
    if (found == 0) return;
    ++stats.generations;
    stats.largest_generation = std::max<uint32_t>(stats.largest_generation, static_cast<uint32_t>(found));
    stats.painted += found;
}

// Breadth-first flood from a start pixel already painted. With the fill
// colour equal to the border colour a painted pixel stops the spread by its
// colour alone, so the examined marks are not needed: the pixels are found in
// the same order either way.
template <bool Marks>
void spread_flood(ScreenImage& page, const Clip& clip, uint64_t start, uint8_t fill, uint8_t border) {
    uint8_t* const pixels = page.pixels.data();
    uint64_t* const marks = buffers.marks.data();
    const uint64_t width = page.width;
    const uint32_t cx1 = static_cast<uint32_t>(clip.x1), cx2 = static_cast<uint32_t>(clip.x2);
    const uint32_t cy1 = static_cast<uint32_t>(clip.y1), cy2 = static_cast<uint32_t>(clip.y2);
    if (buffers.current.empty()) buffers.current.resize(4);
    buffers.current[0] = start;
    size_t count = 1;
    while (count != 0) {
        uint64_t* out = next_room(count);
        uint64_t* const first = out;
        const uint64_t* in = buffers.current.data();
        for (size_t i = 0; i < count; ++i) {
            const uint64_t p = in[i];
            const uint32_t x = static_cast<uint32_t>(p & 0xFFFF), y = static_cast<uint32_t>(p >> 16 & 0xFFFF);
            const uint64_t index = y * width + x;
            auto visit = [&](uint64_t n, uint64_t np) {
                if constexpr (Marks) {
                    uint64_t& word = marks[n >> 6];
                    const uint64_t bit = uint64_t{1} << (n & 63);
                    if (word & bit) return;
                    word |= bit;
                }
                if (pixels[n] == border) return;
                pixels[n] = fill;
                *out++ = np;
            };
            if (x > cx1) visit(index - 1, p - 1);
            if (x < cx2) visit(index + 1, p + 1);
            if (y > cy1) visit(index - width, p - 0x10000);
            if (y < cy2) visit(index + width, p + 0x10000);
        }
        count = static_cast<size_t>(out - first);
        finish_generation(count);
        std::swap(buffers.current, buffers.next);
    }
}

// Directions a pixel carries, by the step that reached it.
constexpr uint64_t dir_left = 1, dir_right = 2, dir_up = 4, dir_down = 8;
constexpr uint64_t after_left = dir_left | dir_up | dir_down, after_right = dir_right | dir_up | dir_down;
constexpr uint64_t after_up = dir_left | dir_right | dir_up, after_down = dir_left | dir_right | dir_down;

void spread_pattern(ScreenImage& page, const Clip& clip, uint64_t start, const uint8_t* tile,
                    uint8_t border, int background) {
    uint8_t* const pixels = page.pixels.data();
    uint64_t* const marks = buffers.marks.data();
    const uint32_t* const tile_row = buffers.tile_row.data();
    const uint64_t width = page.width;
    const uint32_t cx1 = static_cast<uint32_t>(clip.x1), cx2 = static_cast<uint32_t>(clip.x2);
    const uint32_t cy1 = static_cast<uint32_t>(clip.y1), cy2 = static_cast<uint32_t>(clip.y2);
    if (buffers.current.empty()) buffers.current.resize(4);
    buffers.current[0] = start | (dir_left | dir_right | dir_up | dir_down) << 32;
    size_t count = 1;
    while (count != 0) {
        uint64_t* out = next_room(count);
        uint64_t* const first = out;
        const uint64_t* in = buffers.current.data();
        for (size_t i = 0; i < count; ++i) {
            const uint64_t p = in[i] & 0xFFFFFFFF, directions = in[i] >> 32;
            const uint32_t x = static_cast<uint32_t>(p & 0xFFFF), y = static_cast<uint32_t>(p >> 16);
            const uint64_t index = y * width + x;
            // `level`: the step is sideways, so the pixel is always taken.
            auto visit = [&](uint64_t n, uint32_t nx, uint32_t ny, bool level, uint64_t np, uint64_t carries) {
                uint64_t& word = marks[n >> 6];
                const uint64_t bit = uint64_t{1} << (n & 63);
                if (word & bit) return;
                word |= bit;
                const uint8_t present = pixels[n];
                if (present == border) return;
                const uint8_t colour = tile[tile_row[ny] + (nx & 7)];
                if (!level && present == colour && present != background) return;
                pixels[n] = colour;
                *out++ = np | carries << 32;
            };
            if ((directions & dir_left) && x > cx1) visit(index - 1, x - 1, y, true, p - 1, after_left);
            if ((directions & dir_right) && x < cx2) visit(index + 1, x + 1, y, true, p + 1, after_right);
            if ((directions & dir_up) && y > cy1) visit(index - width, x, y - 1, false, p - 0x10000, after_up);
            if ((directions & dir_down) && y < cy2) visit(index + width, x, y + 1, false, p + 0x10000, after_down);
        }
        count = static_cast<size_t>(out - first);
        finish_generation(count);
        std::swap(buffers.current, buffers.next);
    }
}

}  // namespace

FillStats last_fill_stats() { return stats; }

void plot_point(int32_t x, int32_t y, uint32_t colour) {
    ScreenImage* page = write_page;
    if (!indexed_graphics(page)) return;
    if (!clip_of(*page).contains(x, y)) return;
    page->row(y)[x] = static_cast<uint8_t>(colour & page->colour_mask);
}

void fill_box(float x1, float y1, float x2, float y2, uint32_t colour) {
    ScreenImage* page = write_page;
    if (!indexed_graphics(page)) return;
    int64_t ax = to_pixel(x1), ay = to_pixel(y1), bx = to_pixel(x2), by = to_pixel(y2);
    if (ax > bx) std::swap(ax, bx);
    if (ay > by) std::swap(ay, by);
    const Clip clip = clip_of(*page);
    if (clip.empty() || bx < clip.x1 || ax > clip.x2 || by < clip.y1 || ay > clip.y2) return;
    ax = std::max(ax, clip.x1);
    bx = std::min(bx, clip.x2);
    ay = std::max(ay, clip.y1);
    by = std::min(by, clip.y2);
    const uint8_t value = static_cast<uint8_t>(colour & page->colour_mask);
    const size_t span = static_cast<size_t>(bx - ax + 1);
    for (int64_t y = ay; y <= by; ++y) std::memset(page->row(static_cast<int>(y)) + ax, value, span);
}

// Each operation's `passed` bits: which of its optional arguments are given.
namespace line_given {
constexpr int32_t first_point = 1;
constexpr int32_t second_point_relative = 2;  // to the first point, once that is settled
constexpr int32_t first_point_relative = 4;
constexpr int32_t colour = 8;
constexpr int32_t pattern = 16;
}  // namespace line_given

void draw_line(float x1, float y1, float x2, float y2, uint32_t colour, int32_t style, int32_t pattern,
               int32_t passed) {
    if (error_pending()) return;
    ScreenImage* page = write_page;
    if (!page) return;
    if (page->text_page) {
        raise_error(error_code::illegal_function_call);
        return;
    }
    if (passed & line_given::first_point) {
        if (passed & line_given::first_point_relative) {
            x1 = add_single(x1, page->cursor_x);
            y1 = add_single(y1, page->cursor_y);
        }
        page->cursor_x = x1;
        page->cursor_y = y1;
    } else {
        x1 = page->cursor_x;
        y1 = page->cursor_y;
    }
    if (passed & line_given::second_point_relative) {
        x2 = add_single(x2, page->cursor_x);
        y2 = add_single(y2, page->cursor_y);
    }
    page->cursor_x = x2;
    page->cursor_y = y2;
    if (!(passed & line_given::colour)) colour = page->foreground;
    const uint32_t bits = (passed & line_given::pattern) ? static_cast<uint32_t>(pattern) & 0xFFFF : 0xFFFF;

    if (style == 2) {
        fill_box(x1, y1, x2, y2, colour);
        return;
    }
    if (style != 0 && style != 1) return;
    const int64_t ax = to_pixel(x1), ay = to_pixel(y1), bx = to_pixel(x2), by = to_pixel(y2);
    if (style == 0) {
        line(*page, ax, ay, bx, by, colour, bits, 0);
        return;
    }
    // The outline's four sides share one run of the pattern.
    uint32_t phase = line(*page, ax, ay, bx, ay, colour, bits, 0);
    phase = line(*page, bx, ay, bx, by, colour, bits, phase);
    phase = line(*page, bx, by, ax, by, colour, bits, phase);
    line(*page, ax, by, ax, ay, colour, bits, phase);
}

namespace flood_given {
constexpr int32_t relative = 1;  // x and y to the graphics cursor
constexpr int32_t fill = 2;
constexpr int32_t border = 4;
constexpr int32_t background = 8;
}  // namespace flood_given

namespace pattern_given {
constexpr int32_t relative = 1;  // x and y to the graphics cursor
constexpr int32_t tile = 2;
constexpr int32_t border = 4;
constexpr int32_t background = 8;
}  // namespace pattern_given

namespace {

// Both fills move the graphics cursor to their start (relative when asked),
// also when they paint nothing, and start from its pixel; false when the
// page is not filled or the pixel lies outside the clip box.
bool fill_start(ScreenImage* page, float x, float y, bool relative, Clip& clip, int64_t& sx, int64_t& sy) {
    if (relative) {
        x = add_single(x, page->cursor_x);
        y = add_single(y, page->cursor_y);
    }
    page->cursor_x = x;
    page->cursor_y = y;
    stats = {};
    if (!indexed_graphics(page)) return false;
    clip = clip_of(*page);
    sx = to_pixel(x);
    sy = to_pixel(y);
    return clip.contains(sx, sy);
}

}  // namespace

void flood_fill(float x, float y, uint32_t fill, uint32_t border, uint32_t, int32_t passed) {
    if (error_pending()) return;
    ScreenImage* page = write_page;
    if (!page) return;
    if (page->text_page || (passed & flood_given::background)) {
        raise_error(error_code::illegal_function_call);
        return;
    }
    if (!(passed & flood_given::fill)) fill = page->foreground;
    if (!(passed & flood_given::border)) border = fill;
    fill &= page->colour_mask;
    border &= page->colour_mask;
    Clip clip;
    int64_t sx, sy;
    if (!fill_start(page, x, y, passed & flood_given::relative, clip, sx, sy)) return;
    const size_t start = static_cast<size_t>(sy) * page->width + static_cast<size_t>(sx);
    const uint8_t fill8 = static_cast<uint8_t>(fill), border8 = static_cast<uint8_t>(border);
    if (page->pixels[start] == border8) return;
    page->pixels[start] = fill8;
    stats.painted = 1;
    const uint64_t packed = static_cast<uint64_t>(sx) | static_cast<uint64_t>(sy) << 16;
    if (fill8 == border8) {
        spread_flood<false>(*page, clip, packed, fill8, border8);
        return;
    }
    mark_start(page->pixels.size(), start);
    spread_flood<true>(*page, clip, packed, fill8, border8);
    clear_marks();
}

void pattern_fill(float x, float y, TextString* tile, uint32_t border, TextString* background, int32_t passed) {
    if (error_pending()) return;
    ScreenImage* page = write_page;
    if (!page) return;
    const int planes = std::clamp<int>(page->bits_per_pixel, 1, 8);
    const int32_t tile_length = tile ? tile->length : 0;
    const bool has_background_text = (passed & pattern_given::background) != 0;
    const int32_t background_length = has_background_text && background ? background->length : 0;
    if (page->text_page || !(passed & pattern_given::tile) || tile_length <= 0 || tile_length > 64 * planes ||
        (has_background_text && (background_length <= 0 || background_length > 255))) {
        raise_error(error_code::illegal_function_call);
        return;
    }

    // Each row of the tile is one byte per bit plane; pixel column c takes
    // bit 7 - c of each plane byte. Bytes missing from the last row are 0.
    const int rows = (tile_length + planes - 1) / planes;
    uint8_t colours[64 * 8];
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 8; ++c) {
            uint8_t colour = 0;
            for (int k = 0; k < planes; ++k) {
                const int i = r * planes + k;
                if (i < tile_length && (tile->data[i] >> (7 - c) & 1)) colour |= static_cast<uint8_t>(1 << k);
            }
            colours[r * 8 + c] = colour;
        }

    if (!(passed & pattern_given::border)) border = page->foreground;
    const uint8_t border8 = static_cast<uint8_t>(border & page->colour_mask);
    // -1: no background colour at all (a background byte other than 0 or 255).
    int background_colour = 0;
    if (has_background_text) {
        for (int k = 0; k < 4; ++k) {
            const uint8_t b = k < background_length ? background->data[k] : 0;
            if (b == 255)
                background_colour |= 1 << k;
            else if (b != 0)
                background_colour = -1;
            if (background_colour < 0) break;
        }
    }

    Clip clip;
    int64_t sx, sy;
    if (!fill_start(page, x, y, passed & pattern_given::relative, clip, sx, sy)) return;
    if (buffers.tile_row.size() < page->height) buffers.tile_row.resize(page->height);
    for (uint32_t row = 0; row < page->height; ++row) buffers.tile_row[row] = row % rows * 8;
    const size_t start = static_cast<size_t>(sy) * page->width + static_cast<size_t>(sx);
    const uint8_t present = page->pixels[start];
    const uint8_t own = colours[buffers.tile_row[sy] + (sx & 7)];
    if (present == border8 || (present == own && own != background_colour)) return;
    page->pixels[start] = own;
    stats.painted = 1;
    mark_start(page->pixels.size(), start);
    spread_pattern(*page, clip, static_cast<uint64_t>(sx) | static_cast<uint64_t>(sy) << 16, colours, border8,
                   background_colour);
    clear_marks();
}

namespace circle_given {
constexpr int32_t relative = 1;  // x and y to the graphics cursor
constexpr int32_t colour = 2;
constexpr int32_t start = 4;
constexpr int32_t end = 8;
constexpr int32_t aspect = 16;
}  // namespace circle_given

void draw_circle(double x, double y, double radius, int32_t colour, double, double, double, int32_t passed) {
    if (error_pending()) return;
    ScreenImage* page = write_page;
    if (!page) return;
    // Arcs and a chosen aspect are not supported: they are refused rather
    // than drawn as a full circle.
    if (page->text_page || (passed & (circle_given::start | circle_given::end | circle_given::aspect))) {
        raise_error(error_code::illegal_function_call);
        return;
    }
    if (passed & circle_given::relative) {
        x = static_cast<double>(static_cast<long double>(x) + page->cursor_x);
        y = static_cast<double>(static_cast<long double>(y) + page->cursor_y);
    }
    page->cursor_x = static_cast<float>(x);
    page->cursor_y = static_cast<float>(y);
    const uint32_t ink = (passed & circle_given::colour) ? static_cast<uint32_t>(colour) : page->foreground;

    const double rho = std::fabs(radius);
    // Beyond this the walk would take billions of steps of no use on a page.
    if (!std::isfinite(x) || !std::isfinite(y) || !(rho <= 2147483648.0)) return;
    const long double lx = x, ly = y, lr = rho;
    if (lx + lr + 0.5L < page->clip_x1 || ly + lr + 0.5L < page->clip_y1 || lx - lr - 0.5L > page->clip_x2 ||
        ly - lr - 0.5L > page->clip_y2)
        return;
    auto away = [](long double v) {
        return static_cast<int64_t>(v >= 0 ? std::trunc(v + 0.5L) : std::trunc(v - 0.5L));
    };
    const int64_t cx = away(lx), cy = away(ly);

    const double t = static_cast<double>(static_cast<long double>(2 * pi) * lr);
    const int64_t n = static_cast<int64_t>(std::trunc(static_cast<long double>(t) / 4 + 0.5L));
    double s = 0, c = 1;
    if (n > 0) {
        const double d = static_cast<double>(static_cast<long double>(pi / 2) / n);
        s = std::sin(d);
        c = std::cos(d);
    }
    auto plot4 = [&](int64_t a, int64_t b) {
        plot_wide(cx + a, cy + b, ink);
        plot_wide(cx - a, cy + b, ink);
        plot_wide(cx - a, cy - b, ink);
        plot_wide(cx + a, cy - b, ink);
    };

    // The walk runs in batches: first the points of a batch, then their
    // plots. Interleaved, each pixel store waits on the extended arithmetic
    // and the loop runs several times slower.
    constexpr int64_t batch_size = 256;
    int64_t batch_a[batch_size], batch_b[batch_size];
    double u = 1, v = 0;
    int64_t last_a = 0, last_b = 0, prev_a = 0, prev_b = 0;
    for (int64_t first = 0; first <= n; first += batch_size) {
        const int64_t size = std::min(batch_size, n - first + 1);
        for (int64_t i = 0; i < size; ++i) {
            // The conversion truncates toward zero; |u|, |v| <= ~1 keep it in range.
            batch_a[i] = static_cast<int64_t>(static_cast<long double>(u) * lr + 0.5L);
            batch_b[i] = static_cast<int64_t>(static_cast<long double>(v) * lr - 0.5L);
            const long double lu = u, lv = v;
            u = static_cast<double>(lu * c + lv * s);
            v = static_cast<double>(lv * c - lu * s);
        }
        for (int64_t i = 0; i < size; ++i) {
            const int64_t a = batch_a[i], b = batch_b[i];
            if (first + i == 0) {
                plot4(a, b);
                last_a = a;
                last_b = b;
            } else if (std::llabs(a - last_a) > 1 || std::llabs(b - last_b) > 1) {
                plot4(prev_a, prev_b);
                last_a = prev_a;
                last_b = prev_b;
            }
            prev_a = a;
            prev_b = b;
        }
    }
    if (n > 0) plot4(prev_a, prev_b);
}
