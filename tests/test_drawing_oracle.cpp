// draw_line, flood_fill, pattern_fill and draw_circle (and the boxes and
// points that prepare their pages) against the plain account in page_oracle,
// over thousands of pages drawn from a fixed seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "page_oracle.h"
#include "pages.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

// The oracle first holds to the worked examples of the rules themselves.
TEST(PageOracle, KeepsTheWorkedRingsAndDiscs) {
    struct Case {
        double radius;
        size_t ring, disc;  // pixels of the ring, and of the ring with its inside
    };
    const Case cases[] = {{0, 1, 1}, {1, 4, 5}, {2, 12, 21}, {99, 560, 560 + 30521}};
    for (const Case& c : cases) {
        oracle::Page page;
        oracle::circle(page, 320, 240, c.radius, 9);
        EXPECT_EQ(std::count(page.pixels.begin(), page.pixels.end(), 9), static_cast<long>(c.ring)) << c.radius;
        if (c.radius == 1) {
            EXPECT_EQ(page.at(320, 240), 0);
        }
        oracle::flood(page, 320, 240, 9, 0, 2);
        EXPECT_EQ(std::count(page.pixels.begin(), page.pixels.end(), 9), static_cast<long>(c.disc)) << c.radius;
    }
    oracle::Page page;
    oracle::pattern(page, 529, 447, "\xB7\x99\xBB", 0, nullptr, 2);
    const uint8_t stripes[8] = {7, 0, 5, 7, 6, 1, 5, 7};
    for (int x = 0; x < 640; ++x) ASSERT_EQ(page.at(x, 479), stripes[x % 8]) << x;
}

// Lines as their rules give them, worked out by hand: the other coordinate
// rounds an exact half away from the first point, the pattern runs from bit
// 15 over every step, off the clip box too, and an outline's four sides are
// one run of it.
TEST(PageOracle, KeepsTheWorkedLines) {
    struct Case {
        const char* what;
        int width, height;
        float x1, y1, x2, y2;
        int32_t style, pattern;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {"a half step", 3, 2, 0, 0, 2, 1, 0, 0xFFFF, {"900", "099"}},
        {"the same line backwards", 3, 2, 2, 1, 0, 0, 0, 0xFFFF, {"990", "009"}},
        {"quarters", 5, 2, 0, 0, 4, 1, 0, 0xFFFF, {"99000", "00999"}},
        {"steep, upwards", 2, 5, 1, 4, 0, 0, 0, 0xFFFF, {"90", "90", "90", "09", "09"}},
        {"clipped, the pattern kept", 4, 1, -3, 0, 3, 0, 0, 0x8888, {"0900"}},
        {"an outline, one run", 4, 3, 0, 0, 3, 2, 1, 0xAAAA, {"9099", "9000", "9099"}},
    };
    for (const Case& c : cases) {
        oracle::Page page;
        page.width = c.width;
        page.height = c.height;
        page.clip_x1 = page.clip_y1 = 0;
        page.clip_x2 = c.width - 1;
        page.clip_y2 = c.height - 1;
        page.pixels.assign(static_cast<size_t>(c.width) * c.height, 0);
        oracle::draw_line(page, c.x1, c.y1, c.x2, c.y2, 9, c.style, c.pattern, 1 | 8 | 16);
        std::vector<std::string> rows;
        for (int y = 0; y < c.height; ++y) {
            std::string row;
            for (int x = 0; x < c.width; ++x) row += static_cast<char>('0' + page.at(x, y));
            rows.push_back(row);
        }
        EXPECT_EQ(rows, c.rows) << c.what;
    }
}

using Rng = std::mt19937;

int uniform(Rng& rng, int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); }
bool chance(Rng& rng, int percent) { return uniform(rng, 0, 99) < percent; }
template <class T>
T pick(Rng& rng, const std::vector<T>& from) {
    return from[static_cast<size_t>(uniform(rng, 0, static_cast<int>(from.size()) - 1))];
}

// A coordinate near one axis of a clip box: inside, on and just outside its
// edges, on halves of either sign, or anywhere around the page.
float coordinate(Rng& rng, int lo, int hi, int size) {
    switch (uniform(rng, 0, 19)) {
        case 0: return static_cast<float>(lo);
        case 1: return static_cast<float>(hi);
        case 2: return static_cast<float>(chance(rng, 50) ? lo - 1 : hi + 1);
        case 3: return static_cast<float>(uniform(rng, lo - 1, hi)) + 0.5f;
        case 4: return -0.5f - static_cast<float>(uniform(rng, 0, 2));
        case 5: return std::uniform_real_distribution<float>(-2.0f, static_cast<float>(size) + 2.0f)(rng);
        default: return static_cast<float>(uniform(rng, lo, hi));
    }
}

class DrawingOracle : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_init(false);
        saved = write_page;
        page.reset(new_screen_page(12, 16));
        write_page = page.get();
    }
    void TearDown() override { write_page = saved; }

    // A page of `w` x `h` in `ground`, with a clip box that is the whole page
    // or an offset part of it; the runtime's page is made alike.
    oracle::Page new_page(Rng& rng, int w, int h, uint8_t ground) {
        oracle::Page o;
        o.width = w;
        o.height = h;
        o.pixels.assign(static_cast<size_t>(w) * h, ground);
        o.clip_x1 = o.clip_y1 = 0;
        o.clip_x2 = w - 1;
        o.clip_y2 = h - 1;
        o.foreground = static_cast<uint32_t>(rng());
        o.cursor_x = static_cast<float>(uniform(rng, -4, 2 * w)) / 2.0f;
        o.cursor_y = static_cast<float>(uniform(rng, -4, 2 * h)) / 2.0f;
        page->width = static_cast<uint16_t>(w);
        page->height = static_cast<uint16_t>(h);
        page->pixels = o.pixels;
        page->foreground = o.foreground;
        page->cursor_x = o.cursor_x;
        page->cursor_y = o.cursor_y;
        set_clip(o, 0, 0, w - 1, h - 1);
        return o;
    }
    void set_clip(oracle::Page& o, int x1, int y1, int x2, int y2) {
        o.clip_x1 = page->clip_x1 = x1;
        o.clip_y1 = page->clip_y1 = y1;
        o.clip_x2 = page->clip_x2 = x2;
        o.clip_y2 = page->clip_y2 = y2;
    }
    void offset_clip(Rng& rng, oracle::Page& o) {
        if (chance(rng, 30)) return;
        const int x1 = uniform(rng, 0, (o.width - 1) / 3), y1 = uniform(rng, 0, (o.height - 1) / 3);
        set_clip(o, x1, y1, uniform(rng, std::max(x1, 2 * (o.width - 1) / 3), o.width - 1),
                 uniform(rng, std::max(y1, 2 * (o.height - 1) / 3), o.height - 1));
    }
    // Boxes and single points in the given colours, by both sides, over the
    // whole page (the clip box is set afterwards).
    void paint(Rng& rng, oracle::Page& o, const std::vector<uint32_t>& colours, int boxes, int points) {
        for (int i = 0; i < boxes; ++i) {
            float c[4];
            for (int k = 0; k < 4; ++k) {
                const int size = k % 2 ? o.height : o.width;
                c[k] = static_cast<float>(uniform(rng, -6, 2 * size + 4)) / 2.0f;
            }
            const uint32_t colour = pick(rng, colours);
            fill_box(c[0], c[1], c[2], c[3], colour);
            oracle::fill_box(o, c[0], c[1], c[2], c[3], colour);
        }
        for (int i = 0; i < points; ++i) {
            const int x = uniform(rng, -1, o.width), y = uniform(rng, -1, o.height);
            const uint32_t colour = pick(rng, colours);
            plot_point(x, y, colour);
            oracle::plot(o, x, y, colour);
        }
    }

    // Empty when the runtime's page matches the oracle's, else the first
    // difference.
    std::string difference(const oracle::Page& o) const {
        std::ostringstream out;
        const long long i = oracle::first_difference(page->pixels, o.pixels);
        if (i >= 0)
            out << "first differing pixel (" << i % o.width << ", " << i / o.width << "): runtime "
                << int(page->pixels[static_cast<size_t>(i)]) << ", oracle " << int(o.pixels[static_cast<size_t>(i)]);
        if (page->cursor_x != o.cursor_x || page->cursor_y != o.cursor_y)
            out << " cursor: runtime (" << page->cursor_x << ", " << page->cursor_y << "), oracle (" << o.cursor_x
                << ", " << o.cursor_y << ")";
        return out.str();
    }
    // A fill's start point near the clip box; relative: a cursor there and
    // a small step from it.
    void start_point(Rng& rng, oracle::Page& o, bool relative, float& x, float& y) {
        x = coordinate(rng, o.clip_x1, o.clip_x2, o.width);
        y = coordinate(rng, o.clip_y1, o.clip_y2, o.height);
        if (!relative) return;
        o.cursor_x = page->cursor_x = x;
        o.cursor_y = page->cursor_y = y;
        x = static_cast<float>(uniform(rng, -4, 4)) / 2.0f;
        y = static_cast<float>(uniform(rng, -4, 4)) / 2.0f;
    }
    static std::string describe_page(const oracle::Page& o) {
        std::ostringstream out;
        out << "page " << o.width << "x" << o.height << " clip (" << o.clip_x1 << ", " << o.clip_y1 << ")-("
            << o.clip_x2 << ", " << o.clip_y2 << ") foreground " << o.foreground << " cursor (" << o.cursor_x
            << ", " << o.cursor_y << ")";
        return out.str();
    }

    ScreenImage* saved = nullptr;
    std::unique_ptr<ScreenImage> page;
};

// Stops the group after a handful of failing cases: one shows the fault.
#define CHECK_CASE(what, o, description)                                                  \
    do {                                                                                  \
        const std::string diff = difference(o);                                           \
        if (!diff.empty()) {                                                              \
            ADD_FAILURE() << "case " << n << " " << what << ": " << description << "\n  " \
                          << diff;                                                        \
            if (++failures == 5) return;                                                  \
        }                                                                                 \
    } while (0)

TEST_F(DrawingOracle, FloodFillOverRandomPages) {
    Rng rng(20261210);
    int failures = 0;
    for (int n = 0; n < 2500; ++n) {
        const bool large = chance(rng, 2);
        const int w = large ? 640 : uniform(rng, 1, 48), h = large ? 480 : uniform(rng, 1, 36);
        // Few colours, so that fills meet borders and their own colour.
        std::vector<uint32_t> colours;
        for (int k = uniform(rng, 1, 4); k > 0; --k) colours.push_back(static_cast<uint32_t>(uniform(rng, 0, 15)));
        oracle::Page o = new_page(rng, w, h, static_cast<uint8_t>(colours[0]));
        paint(rng, o, colours, uniform(rng, 0, 8), uniform(rng, 0, w * h / 4));
        CHECK_CASE("pre-paint", o, describe_page(o));
        offset_clip(rng, o);

        const int32_t passed = pick(rng, std::vector<int32_t>{2, 2, 2, 2 | 4, 2 | 4, 2 | 4, 0, 4, 1 | 2, 1 | 2 | 4, 1});
        // High bits on the colours: both are masked before use.
        const uint32_t fill = (chance(rng, 20) ? pick(rng, colours) : static_cast<uint32_t>(uniform(rng, 0, 15))) | (chance(rng, 30) ? static_cast<uint32_t>(rng()) << 4 : 0);
        const uint32_t border = pick(rng, colours) | (chance(rng, 30) ? static_cast<uint32_t>(rng()) << 4 : 0);
        float x, y;
        start_point(rng, o, passed & 1, x, y);
        std::ostringstream what;
        what.precision(9);
        what << describe_page(o) << " flood_fill(" << x << ", " << y << ", " << fill << ", " << border << ", 0, "
             << passed << ")";
        flood_fill(x, y, fill, border, 0, passed);
        oracle::flood(o, x, y, fill, border, passed);
        ASSERT_EQ(pending_error.load(), 0) << what.str();
        CHECK_CASE("flood", o, what.str());
    }
}

// A line's end: near an axis of the clip box, or well off the page.
float line_end(Rng& rng, int lo, int hi, int size) {
    if (chance(rng, 15)) return static_cast<float>(uniform(rng, -8 * size - 40, 8 * size + 40)) / 2.0f;
    return coordinate(rng, lo, hi, size);
}

TEST_F(DrawingOracle, DrawLineOverRandomPages) {
    Rng rng(3052026);
    int failures = 0;
    const std::vector<int32_t> patterns{0xFFFF, 0x8000, 0x0001, 0xFFFE, 0xAAAA, 0xF0F0, 0xC3A5, 0x7FFF};
    for (int n = 0; n < 6000; ++n) {
        const bool large = chance(rng, 3);
        const int w = large ? 640 : uniform(rng, 1, 64), h = large ? 480 : uniform(rng, 1, 48);
        std::vector<uint32_t> colours{static_cast<uint32_t>(uniform(rng, 0, 15)),
                                      static_cast<uint32_t>(uniform(rng, 0, 15))};
        oracle::Page o = new_page(rng, w, h, static_cast<uint8_t>(colours[0]));
        paint(rng, o, colours, uniform(rng, 0, 3), 0);
        offset_clip(rng, o);

        const int32_t style = pick(rng, std::vector<int32_t>{0, 0, 0, 0, 1, 1, 1, 2, 3, -1});
        int32_t passed = 0;
        for (int32_t bit : {1, 2, 4, 8, 16})
            if (chance(rng, bit == 1 ? 85 : 50)) passed |= bit;
        // The ends as points on the page; relative ones are passed as steps.
        float ax = line_end(rng, o.clip_x1, o.clip_x2, w), ay = line_end(rng, o.clip_y1, o.clip_y2, h);
        float bx, by;
        if (chance(rng, 50)) {
            // Short lines: every slope of a few steps, exact halves among them.
            bx = ax + static_cast<float>(uniform(rng, -12, 12));
            by = ay + static_cast<float>(uniform(rng, -12, 12));
        } else {
            bx = line_end(rng, o.clip_x1, o.clip_x2, w);
            by = line_end(rng, o.clip_y1, o.clip_y2, h);
        }
        float x1 = ax, y1 = ay;
        if ((passed & 1) && (passed & 4)) x1 = ax - o.cursor_x, y1 = ay - o.cursor_y;
        const float first_x = (passed & 1) ? ax : o.cursor_x, first_y = (passed & 1) ? ay : o.cursor_y;
        const float x2 = (passed & 2) ? bx - first_x : bx, y2 = (passed & 2) ? by - first_y : by;
        const uint32_t colour =
            chance(rng, 50) ? static_cast<uint32_t>(uniform(rng, 0, 15)) : static_cast<uint32_t>(rng());
        const int32_t pattern = chance(rng, 40) ? pick(rng, patterns)
                                                : static_cast<int32_t>(chance(rng, 50) ? rng() : rng() & 0xFFFF);

        std::ostringstream what;
        what.precision(9);
        what << describe_page(o) << " draw_line(" << x1 << ", " << y1 << ", " << x2 << ", " << y2 << ", "
             << colour << ", " << style << ", " << pattern << ", " << passed << ")";
        draw_line(x1, y1, x2, y2, colour, style, pattern, passed);
        oracle::draw_line(o, x1, y1, x2, y2, colour, style, pattern, passed);
        ASSERT_EQ(pending_error.load(), 0) << what.str();
        CHECK_CASE("line", o, what.str());
    }
}

std::string random_bytes(Rng& rng, size_t length, const std::vector<uint8_t>& alphabet) {
    std::string s(length, '\0');
    for (char& c : s) c = static_cast<char>(alphabet.empty() ? uniform(rng, 0, 255) : pick(rng, alphabet));
    return s;
}

TextString view(const std::string& bytes) {
    TextString t;
    t.data = reinterpret_cast<uint8_t*>(const_cast<char*>(bytes.data()));
    t.length = static_cast<int32_t>(bytes.size());
    t.read_only = true;
    return t;
}

std::string hex(const std::string& bytes) {
    std::ostringstream out;
    out << std::hex;
    for (unsigned char c : bytes) out << (c < 16 ? "0" : "") << int(c);
    return out.str();
}

TEST_F(DrawingOracle, PatternFillOverRandomPages) {
    Rng rng(9112026);
    int failures = 0;
    for (int n = 0; n < 4000; ++n) {
        const bool large = chance(rng, 2);
        const int w = large ? 640 : uniform(rng, 1, 48), h = large ? 480 : uniform(rng, 1, 40);

        // Tiles of few colours make pixels that already have their tile colour.
        const size_t length = chance(rng, 60) ? uniform(rng, 1, 12) : uniform(rng, 13, 256);
        const std::vector<uint8_t> plain{0x00, 0xFF}, stripes{0x00, 0xFF, 0xAA, 0x55, 0x0F, 0xF0};
        const std::string tile = random_bytes(
            rng, length, pick(rng, std::vector<std::vector<uint8_t>>{plain, stripes, {}}));

        std::string background;
        int32_t passed = 2;
        if (chance(rng, 50)) {
            passed |= 8;
            const size_t bg_length = chance(rng, 80) ? uniform(rng, 1, 8) : uniform(rng, 9, 255);
            background = random_bytes(rng, bg_length, {});
            for (size_t k = 0; k < std::min<size_t>(4, bg_length); ++k)
                if (chance(rng, 90)) background[k] = static_cast<char>(pick(rng, plain));
        }
        uint32_t border = static_cast<uint32_t>(rng());
        if (chance(rng, 50)) {
            passed |= 4;
            border = static_cast<uint32_t>(uniform(rng, 0, 15)) | (chance(rng, 30) ? border << 4 : 0);
        }
        const uint32_t border_colour = (passed & 4) ? border & 15 : static_cast<uint32_t>(uniform(rng, 0, 15));

        std::vector<uint32_t> colours{static_cast<uint32_t>(uniform(rng, 0, 15)), border_colour,
                                      static_cast<uint32_t>(uniform(rng, 0, 15))};
        oracle::Page o = new_page(rng, w, h, static_cast<uint8_t>(colours[0]));
        if (!(passed & 4)) {
            o.foreground = page->foreground = (static_cast<uint32_t>(rng()) & ~15u) | border_colour;
            colours[1] = o.foreground;
        }
        if (chance(rng, 60)) {
            // The tile's pattern already on the page, spotted with other
            // colours: which pixel reaches which first then decides what
            // is painted.
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) o.at(x, y) = oracle::tile_colour(tile, x, y);
            page->pixels = o.pixels;
            paint(rng, o, colours, uniform(rng, 0, 2), w * h * uniform(rng, 5, 50) / 100);
        } else {
            paint(rng, o, colours, uniform(rng, 0, 6), uniform(rng, 0, w * h / 6));
        }
        CHECK_CASE("pre-paint", o, describe_page(o));
        offset_clip(rng, o);

        if (chance(rng, 15)) passed |= 1;
        float x, y;
        start_point(rng, o, passed & 1, x, y);
        std::ostringstream what;
        what.precision(9);
        what << describe_page(o) << " pattern_fill(" << x << ", " << y << ", tile " << hex(tile) << ", " << border
             << ", background " << ((passed & 8) ? hex(background) : "none") << ", " << passed << ")";
        TextString t = view(tile), b = view(background);
        pattern_fill(x, y, &t, border, (passed & 8) ? &b : nullptr, passed);
        oracle::pattern(o, x, y, tile, border, (passed & 8) ? &background : nullptr, passed);
        ASSERT_EQ(pending_error.load(), 0) << what.str();
        CHECK_CASE("pattern", o, what.str());
    }
}

// A centre or radius: whole, on a half, a fraction, either sign.
double circle_value(Rng& rng, int lo, int hi) {
    const double whole = uniform(rng, lo, hi);
    switch (uniform(rng, 0, 9)) {
        case 0: return whole + 0.5;
        case 2: case 3: return whole + std::uniform_real_distribution<double>(0.0, 1.0)(rng);
        case 1: return -0.5 - uniform(rng, 0, 3);
        default: return whole;
    }
}

TEST_F(DrawingOracle, DrawCircleOverRandomPages) {
    Rng rng(1812);
    int failures = 0;
    for (int n = 0; n < 2000; ++n) {
        const bool large = chance(rng, 50);
        const int w = large ? 640 : uniform(rng, 1, 200), h = large ? 480 : uniform(rng, 1, 150);
        oracle::Page o = new_page(rng, w, h, static_cast<uint8_t>(uniform(rng, 0, 15)));
        paint(rng, o, {static_cast<uint32_t>(uniform(rng, 0, 15)), static_cast<uint32_t>(uniform(rng, 0, 15))},
              uniform(rng, 0, 3), 0);
        offset_clip(rng, o);

        double radius = circle_value(rng, 0, chance(rng, 70) ? (large ? 250 : std::max(w, h)) : 12);
        if (chance(rng, 15)) radius = -radius;
        const double rho = std::abs(radius);
        const int reach = chance(rng, 70) ? 0 : static_cast<int>(rho) + 2;
        double x = circle_value(rng, -reach, w + reach), y = circle_value(rng, -reach, h + reach);
        // Just touching an edge of the clip box from outside: still drawn.
        if (chance(rng, 10)) x = chance(rng, 50) ? o.clip_x1 - rho - 0.5 : o.clip_x2 + rho + 0.5;
        if (chance(rng, 10)) y = chance(rng, 50) ? o.clip_y1 - rho - 0.5 : o.clip_y2 + rho + 0.5;
        // Colours beyond the mask and of either sign; the foreground never shows.
        const int32_t colour =
            chance(rng, 50) ? uniform(rng, 0, 15) : static_cast<int32_t>(static_cast<uint32_t>(rng()));
        std::ostringstream what;
        what.precision(17);
        what << describe_page(o) << " draw_circle(" << x << ", " << y << ", " << radius << ", " << colour << ")";
        draw_circle(x, y, radius, colour, 0.0, 0.0, 0.0, 2);
        oracle::circle(o, x, y, radius, colour);
        ASSERT_EQ(pending_error.load(), 0) << what.str();
        CHECK_CASE("circle", o, what.str());
    }
}

}  // namespace
