#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "drawing.h"
#include "page_oracle.h"
#include "pages.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

class Drawing : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_init(false);
        text_screen = write_page;
        page.reset(new_screen_page(12, 16));
        write_page = page.get();
    }
    void TearDown() override { write_page = text_screen; }

    // A small page drawn from rows of hex digits, one per pixel.
    void load(const std::vector<std::string>& rows) {
        page->width = static_cast<uint16_t>(rows[0].size());
        page->height = static_cast<uint16_t>(rows.size());
        page->clip_x1 = page->clip_y1 = 0;
        page->clip_x2 = page->width - 1;
        page->clip_y2 = page->height - 1;
        page->pixels.clear();
        for (const auto& row : rows)
            for (char c : row) page->pixels.push_back(static_cast<uint8_t>(std::stoi(std::string(1, c), nullptr, 16)));
    }
    std::vector<std::string> rows() const {
        std::vector<std::string> out;
        for (int y = 0; y < page->height; ++y) {
            std::string row;
            for (int x = 0; x < page->width; ++x) row += "0123456789ABCDEF"[at(x, y) & 15];
            out.push_back(row);
        }
        return out;
    }
    uint8_t at(int x, int y) const { return page->pixels[static_cast<size_t>(y) * page->width + x]; }
    size_t count(uint8_t colour) const {
        size_t n = 0;
        for (uint8_t p : page->pixels) n += p == colour;
        return n;
    }
    void make_error_pending() {
        pending_error = 7;
        event_pending = 1;
    }

    ScreenImage* text_screen = nullptr;
    std::unique_ptr<ScreenImage> page;
};

TextString text(const std::string& bytes) {
    static std::vector<std::unique_ptr<std::string>> keep;
    keep.push_back(std::make_unique<std::string>(bytes));
    TextString t;
    t.data = reinterpret_cast<uint8_t*>(keep.back()->data());
    t.length = static_cast<int32_t>(bytes.size());
    return t;
}

// ---- boxes, points, lines ----

TEST_F(Drawing, FillBoxPaintsTheClampedBoxBetweenEitherCorners) {
    struct Case {
        float x1, y1, x2, y2;
        int ex1, ey1, ex2, ey2;  // expected box, ex1 = -1 when nothing is painted
    };
    const Case cases[] = {
        {10, 20, 30, 40, 10, 20, 30, 40},
        {30, 40, 10, 20, 10, 20, 30, 40},      // corners in the other order
        {600, 470, 640, 480, 600, 470, 639, 479},  // 640 and 480 clamped
        {-5, 7, 3, -2, 0, 0, 3, 7},
        {0.5f, 1.5f, 2.5f, 3.5f, 0, 2, 2, 4},  // ties to even
        {640, 0, 640, 479, -1, 0, 0, 0},       // wholly right of the clip box
        {0, 480, 100, 480, -1, 0, 0, 0},       // wholly below it
        {-3, 0, -1, 10, -1, 0, 0, 0},
    };
    for (const Case& c : cases) {
        std::fill(page->pixels.begin(), page->pixels.end(), 0);
        fill_box(c.x1, c.y1, c.x2, c.y2, 0x1B);  // masked to 11
        SCOPED_TRACE(testing::Message() << c.x1 << "," << c.y1 << " " << c.x2 << "," << c.y2);
        if (c.ex1 < 0) {
            EXPECT_EQ(count(0), 640u * 480u);
            continue;
        }
        EXPECT_EQ(count(11), size_t(c.ex2 - c.ex1 + 1) * (c.ey2 - c.ey1 + 1));
        EXPECT_EQ(at(c.ex1, c.ey1), 11);
        EXPECT_EQ(at(c.ex2, c.ey2), 11);
    }
}

TEST_F(Drawing, FillBoxAndPlotPointKeepToTheClipBox) {
    load({"000000", "000000", "000000", "000000"});
    page->clip_x1 = 1, page->clip_y1 = 1, page->clip_x2 = 3, page->clip_y2 = 2;
    fill_box(0, 0, 10, 10, 5);
    plot_point(4, 1, 7);
    plot_point(0, 0, 7);
    plot_point(2, 3, 7);
    plot_point(-1, 2, 7);
    plot_point(3, 1, 0x16);  // masked to 6
    EXPECT_EQ(rows(), (std::vector<std::string>{"000000", "055600", "055500", "000000"}));
}

TEST_F(Drawing, DrawLineStyleTwoIsTheBenchmarksFilledBox) {
    draw_line(401, 278, 160, 162, 14, 2, 0, 9);
    EXPECT_EQ(count(14), size_t(401 - 160 + 1) * (278 - 162 + 1));
    EXPECT_EQ(at(160, 162), 14);
    EXPECT_EQ(at(401, 278), 14);
    EXPECT_EQ(page->cursor_x, 160.0f);
    EXPECT_EQ(page->cursor_y, 162.0f);
}

TEST_F(Drawing, DrawLinePointsColourAndStyles) {
    load({"0000000000", "0000000000", "0000000000", "0000000000"});
    page->cursor_x = 1, page->cursor_y = 1;
    // First point relative to the cursor, second relative to the first; colour not given.
    draw_line(1, 0, 3, 2, 99, 1, 0, 1 | 4 | 2);
    EXPECT_EQ(rows(), (std::vector<std::string>{"0000000000", "00FFFF0000", "00F00F0000", "00FFFF0000"}));
    EXPECT_EQ(page->cursor_x, 5.0f);
    EXPECT_EQ(page->cursor_y, 3.0f);
    // No first point: the line starts at the cursor. Pattern taken from bit 15 down.
    draw_line(0, 0, 0, 0, 2, 0, 0x7FFF, 2 | 8 | 16);
    EXPECT_EQ(rows()[3], "00FFFF0000");
    draw_line(0, 0, 0, 0, 2, 0, 0x8000, 2 | 8 | 16);
    EXPECT_EQ(rows()[3], "00FFF20000");
    draw_line(0, 0, 9, 0, 3, 0, 0xA5A5, 1 | 8 | 16);
    EXPECT_EQ(rows()[0], "3030030330");
    // Styles other than 0, 1 and 2 draw nothing but still move the cursor.
    auto before = rows();
    draw_line(0, 0, 8, 2, 4, 3, 0, 1 | 8);
    EXPECT_EQ(rows(), before);
    EXPECT_EQ(page->cursor_x, 8.0f);
}

TEST_F(Drawing, DrawLineStepsOnePixelPerMajorStep) {
    const int ends[][2] = {{10, 3}, {3, 10}, {-10, 4}, {-7, -7}, {0, -9}, {639, 1}};
    for (auto& e : ends) {
        std::fill(page->pixels.begin(), page->pixels.end(), 0);
        const int x0 = e[0] < 0 ? 300 : 0, y0 = e[1] < 0 ? 300 : 0;
        draw_line(float(x0), float(y0), float(x0 + e[0]), float(y0 + e[1]), 9, 0, 0, 1 | 8);
        const int steps = std::max(std::abs(e[0]), std::abs(e[1]));
        EXPECT_EQ(count(9), size_t(steps + 1)) << e[0] << "," << e[1];
        EXPECT_EQ(at(x0, y0), 9);
        EXPECT_EQ(at(x0 + e[0], y0 + e[1]), 9);
    }
    // A line running far off the page still draws its visible part.
    std::fill(page->pixels.begin(), page->pixels.end(), 0);
    draw_line(-1e9f, 5, 1e9f, 5, 9, 0, 0, 1 | 8);
    EXPECT_EQ(count(9), 640u);
}

// ---- flood_fill ----

TEST_F(Drawing, FloodFillStopsAtTheBorderAndTheClipBox) {
    load({"00400000",
          "00400000",
          "00444000",
          "00000400",
          "12345400"});
    flood_fill(0, 0, 2, 4, 0, 2 | 4);
    EXPECT_EQ(rows(), (std::vector<std::string>{"22400000",
                                                "22400000",
                                                "22444000",
                                                "22222400",
                                                "22242400"}));
    load({"0000", "0000", "0000"});
    page->clip_x1 = 1, page->clip_x2 = 2, page->clip_y2 = 1;
    flood_fill(1, 1, 6, 0, 0, 2);
    EXPECT_EQ(rows(), (std::vector<std::string>{"0660", "0660", "0000"}));
}

TEST_F(Drawing, FloodFillWithDefaultBorderCrossesOtherColoursOnly) {
    load({"1230", "5550", "0567"});
    flood_fill(0, 0, 5, 0, 0, 2);
    EXPECT_EQ(rows(), (std::vector<std::string>{"5555", "5555", "0555"}));
    // Colour not given: the foreground colour, masked.
    page->foreground = 0x1C;
    flood_fill(0, 0, 0, 0, 0, 0);
    EXPECT_EQ(rows(), (std::vector<std::string>{"CCCC", "CCCC", "CCCC"}));
}

TEST_F(Drawing, FloodFillPaintsNothingFromOutsideOrFromABorderPixel) {
    load({"000", "040", "000"});
    flood_fill(3, 0, 2, 4, 0, 2 | 4);
    flood_fill(-1, 1, 2, 4, 0, 2 | 4);
    flood_fill(1, 1, 2, 4, 0, 2 | 4);
    EXPECT_EQ(rows(), (std::vector<std::string>{"000", "040", "000"}));
    EXPECT_EQ(page->cursor_x, 1.0f);  // the cursor moves all the same
    EXPECT_EQ(last_fill_stats().painted, 0u);
    // 1.5 rounds to 2 (ties to even), relative to the cursor with bit 1.
    flood_fill(0.5f, 0, 9, 4, 0, 1 | 2 | 4);
    EXPECT_EQ(page->cursor_x, 1.5f);
    EXPECT_EQ(rows(), (std::vector<std::string>{"999", "949", "999"}));
    // 2.5 rounds to 2, not away from zero to the border pixel at 3.
    load({"0004"});
    flood_fill(2.5f, 0, 9, 4, 0, 2 | 4);
    EXPECT_EQ(rows()[0], "9994");
}

TEST_F(Drawing, FullPageFloodSpreadsInDistanceGenerations) {
    // Fill equal to border, then a border of another colour: both ways of spreading.
    for (uint32_t border : {3u, 9u}) {
        std::fill(page->pixels.begin(), page->pixels.end(), 0);
        flood_fill(100, 100, 3, border, 0, 2 | 4);
        EXPECT_EQ(count(3), 640u * 480u);
        const FillStats s = last_fill_stats();
        EXPECT_EQ(s.generations, 918u);
        EXPECT_EQ(s.largest_generation, 580u);
        EXPECT_EQ(s.painted, 640u * 480u);
    }
    // The examined marks are gone afterwards: the next fill repaints everything.
    flood_fill(100, 100, 5, 9, 0, 2 | 4);
    EXPECT_EQ(count(5), 640u * 480u);
    flood_fill(100, 100, 5, 0, 0, 2);  // already of the fill colour
    EXPECT_EQ(last_fill_stats().painted, 0u);
}

// ---- pattern_fill ----

TEST_F(Drawing, PatternFillDecodesPlanesAndRows) {
    load({"00000000", "00000000", "00000000"});
    // Row 0: planes 0..3 = 0x80, 0x40, 0x20, 0x10; row 1: plane 0 only (bytes 6..8 missing).
    TextString tile = text("\x80\x40\x20\x10\xFF");
    pattern_fill(0, 0, &tile, 15, nullptr, 2 | 4);
    EXPECT_EQ(rows(), (std::vector<std::string>{"1248" "0000", "11111111", "12480000"}));
}

TEST_F(Drawing, PatternFillLaysTheTileFromThePageTop) {
    // Three rows: 76543210, 88889999, 20044002. Started at (6, 4) inside a
    // clip box from (1, 1): rows still count from the page's top row and
    // columns from its left edge.
    TextString tile = text(std::string("\xAA\xCC\xF0\x00" "\x0F\x00\x00\xFF" "\x00\x81\x18\x00", 12));
    load({"0000000000", "0000000000", "0000000000", "0000000000", "0000000000", "0000000000", "0000000000"});
    page->clip_x1 = 1, page->clip_y1 = 1, page->clip_x2 = 8, page->clip_y2 = 5;
    pattern_fill(6, 4, &tile, 15, nullptr, 2 | 4);
    EXPECT_EQ(rows(), (std::vector<std::string>{"0000000000",
                                                "0888999980",
                                                "0004400220",
                                                "0654321070",
                                                "0888999980",
                                                "0004400220",
                                                "0000000000"}));
}

TEST_F(Drawing, PatternFillTakesAGenerationInTheOrderFound) {
    // The pixel of colour 1 next to the start's left neighbour is reached in
    // the same generation from below or above (kept, as it has its tile
    // colour) and from the side (always taken). The left neighbour was found
    // first, so the pixel is kept and the corner behind it stays unpainted.
    TextString ones = text("\xFF");
    struct Case {
        std::vector<std::string> page, after;
    } cases[] = {
        {{"0100", "F000", "0000"}, {"0111", "F111", "1111"}},
        {{"0000", "F000", "0100"}, {"1111", "F111", "0111"}},
    };
    for (const Case& c : cases) {
        load(c.page);
        pattern_fill(2, 1, &ones, 15, nullptr, 2 | 4);
        EXPECT_EQ(rows(), c.after) << c.page[0];
    }
}

TEST_F(Drawing, PatternFillMasksTheBorder) {
    TextString ones = text("\xFF");
    struct Case {
        uint32_t border, foreground;
        int32_t passed;
        std::string page, after;
    } cases[] = {
        {0x1F, 15, 2 | 4, "00F00", "11F00"},  // given
        {0, 0x2C, 2, "00C00", "11C00"},       // the foreground's
    };
    for (const Case& c : cases) {
        load({c.page});
        page->foreground = c.foreground;
        pattern_fill(0, 0, &ones, c.border, nullptr, c.passed);
        EXPECT_EQ(rows()[0], c.after) << c.border;
    }
}

TEST_F(Drawing, PatternFillStartRules) {
    TextString ones = text("\xFF");  // every tile pixel colour 1
    struct Case {
        const char* name;
        std::vector<std::string> page;
        float x, y;
        TextString* tile;
        std::vector<std::string> after;
    };
    auto zeros_tile = text(std::string(1, '\0'));
    std::vector<Case> cases = {
        {"outside the clip box", {"000"}, 3, 0, &ones, {"000"}},
        {"on the border", {"0F0"}, 1, 0, &ones, {"0F0"}},
        {"already its tile colour", {"010"}, 1, 0, &ones, {"010"}},
        {"tile colour is the background", {"202"}, 1, 0, &zeros_tile, {"000"}},
        {"border stops the spread", {"00F00"}, 0, 0, &ones, {"11F00"}},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.page);
        pattern_fill(c.x, c.y, c.tile, 0, nullptr, 2);
        EXPECT_EQ(rows(), c.after);
        EXPECT_EQ(page->cursor_x, c.x);
    }
}

TEST_F(Drawing, PatternFillUpAndDownTakeOnlyPixelsThatChange) {
    TextString ones = text("\xFF");
    // The pixel below the start already has its tile colour: it is left alone
    // and, marked examined, is not taken later from the side either, so the
    // pixel under it, walled in, stays unpainted.
    load({"000",
          "010",
          "F0F"});
    pattern_fill(1, 0, &ones, 15, nullptr, 2 | 4);
    EXPECT_EQ(rows(), (std::vector<std::string>{"111", "111", "F0F"}));
    // Of another colour it is taken and spreads.
    load({"000", "020", "F0F"});
    pattern_fill(1, 0, &ones, 15, nullptr, 2 | 4);
    EXPECT_EQ(rows(), (std::vector<std::string>{"111", "111", "F1F"}));
    // Sideways steps always take the pixel and go on.
    load({"0100", "FFFF"});
    pattern_fill(0, 0, &ones, 15, nullptr, 2 | 4);
    EXPECT_EQ(last_fill_stats().painted, 4u);
    // A background colour equal to the present colour lets it through: 255 sets plane 0.
    TextString background = text("\xFF\x00");
    load({"000", "010", "F0F"});
    pattern_fill(1, 0, &ones, 15, &background, 2 | 4 | 8);
    EXPECT_EQ(rows(), (std::vector<std::string>{"111", "111", "F1F"}));
}

TEST_F(Drawing, PatternFillBackgroundString) {
    TextString zero_tile = text(std::string(1, '\0'));
    struct Case {
        std::string background;
        bool fills;  // the start pixel is 0, its tile colour 0
    };
    const Case cases[] = {
        {std::string(4, '\0'), true},          // background 0
        {"\xFF", false},                       // background 1
        {std::string("\0\x01", 2), false},    // no background colour at all
        {std::string(255, '\0'), true},
        // Only the first four bytes count.
        {std::string("\0\0\0\0\x07", 5), true},
        {std::string("\0\0\0\0\xFF", 5), true},
    };
    for (const auto& c : cases) {
        load({"000", "0F0"});
        TextString background = text(c.background);
        pattern_fill(0, 0, &zero_tile, 15, &background, 2 | 4 | 8);
        EXPECT_EQ(last_fill_stats().painted, c.fills ? 5u : 0u) << c.background.size();
    }
}

// ---- draw_circle ----

struct Ring {
    std::vector<std::pair<int, int>> pixels;
    bool has(int x, int y) const {
        for (auto& p : pixels)
            if (p.first == x && p.second == y) return true;
        return false;
    }
};

TEST_F(Drawing, CircleRingsAreClosedAndFillExactlyTheirInside) {
    const int cx = 320, cy = 240;
    for (int r = 0; r < 100; ++r) {
        SCOPED_TRACE(r);
        std::fill(page->pixels.begin(), page->pixels.end(), 0);
        draw_circle(cx, cy, r, 12, 0, 0, 0, 2);
        Ring ring;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x)
                if (at(x, y)) ring.pixels.push_back({x, y});
        ASSERT_TRUE(ring.has(cx + r, cy) && ring.has(cx - r, cy) && ring.has(cx, cy + r) && ring.has(cx, cy - r));
        // 8-connected, and (from radius 2 on) every ring pixel has two ring neighbours.
        std::vector<bool> seen(ring.pixels.size());
        std::vector<size_t> todo{0};
        seen[0] = true;
        while (!todo.empty()) {
            auto [x, y] = ring.pixels[todo.back()];
            todo.pop_back();
            for (size_t i = 0; i < ring.pixels.size(); ++i)
                if (!seen[i] && std::abs(ring.pixels[i].first - x) <= 1 && std::abs(ring.pixels[i].second - y) <= 1) {
                    seen[i] = true;
                    todo.push_back(i);
                }
        }
        for (bool s : seen) ASSERT_TRUE(s);
        if (r >= 2)
            for (auto [x, y] : ring.pixels) {
                int neighbours = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) neighbours += (dx || dy) && at(x + dx, y + dy);
                ASSERT_GE(neighbours, 2) << x << "," << y;
            }

        flood_fill(cx, cy, 12, 0, 0, 2);
        // Inside: in each row, exactly the span between the row's outer ring pixels.
        std::vector<int> lo(480, 1000), hi(480, -1);
        for (auto [x, y] : ring.pixels) lo[y] = std::min(lo[y], x), hi[y] = std::max(hi[y], x);
        size_t outside = 0, inside = 0;
        for (int y = 0; y < 480; ++y)
            for (int x = 0; x < 640; ++x) {
                const bool in = x >= lo[y] && x <= hi[y];
                (in ? inside : outside) += in ? at(x, y) == 12 : at(x, y) != 0;
            }
        EXPECT_EQ(outside, 0u);
        EXPECT_EQ(inside, count(12));
        if (r == 0) {
            EXPECT_EQ(ring.pixels.size(), 1u);
        }
        if (r == 1) {
            EXPECT_EQ(ring.pixels.size(), 4u);
            EXPECT_FALSE(ring.has(cx, cy));
            EXPECT_EQ(count(12), 5u);
        }
        if (r == 2) {
            EXPECT_EQ(ring.pixels.size(), 12u);
            EXPECT_EQ(count(12), 12u + 9u);
        }
        if (r == 15) {
            // The recurrence's own value 7.4999999999999975 rounds down here;
            // cos(16 d) itself would give the pixel above.
            EXPECT_TRUE(ring.has(cx + 8, cy - 12));
            EXPECT_FALSE(ring.has(cx + 8, cy - 13));
        }
        if (r == 99) {
            EXPECT_EQ(ring.pixels.size(), 560u);
            EXPECT_EQ(count(12), 560u + 30521u);
        }
    }
}

TEST_F(Drawing, CircleCentreRejectionAndRounding) {
    draw_circle(640, 100, 0, 5, 0, 0, 0, 2);
    draw_circle(100, 480, 0, 5, 0, 0, 0, 2);
    EXPECT_EQ(count(5), 0u);
    EXPECT_EQ(page->cursor_x, 100.0f);
    EXPECT_EQ(page->cursor_y, 480.0f);
    // The test allows for the half pixel: this centre rounds onto the page.
    draw_circle(639.4, 100, 0, 5, 0, 0, 0, 2);
    EXPECT_EQ(at(639, 100), 5);
    page->pixels[100 * 640 + 639] = 0;
    // Radius 1 just off the right edge still shows its left pixel.
    draw_circle(640, 100, 1, 5, 0, 0, 0, 2);
    EXPECT_EQ(count(5), 1u);
    EXPECT_EQ(at(639, 100), 5);
    // The centre rounds half away from zero; colour not given: the foreground.
    draw_circle(10.5, 20.5, 0, 0, 0, 0, 0, 0);
    EXPECT_EQ(at(11, 21), 15);
    // Relative to the cursor (10.5, 20.5), negative radius taken as its size.
    draw_circle(-0.5, -0.5, -1, 6, 0, 0, 0, 1 | 2);
    EXPECT_EQ(count(6), 4u);
    EXPECT_EQ(at(11, 20), 6);
    EXPECT_EQ(at(9, 20), 6);
}

// Whole rings against the page oracle's walk, which keeps the products and
// sums in extended precision: plain double precision draws other pixels at
// radii 189 and 229.
TEST_F(Drawing, CirclesFollowTheirWalk) {
    struct Case {
        const char* name;
        double x, y, radius;
        int clip[4];
        bool drawn = true;
    } cases[] = {
        {"negative halves away from zero", -2.5, -2.5, 10, {0, 0, 639, 479}},
        {"x -0.5", -0.5, 100.5, 3, {0, 0, 639, 479}},
        {"y -1.5", 300.5, -1.5, 5, {0, 0, 639, 479}},
        {"radius 189", 320, 240, 189, {0, 0, 639, 479}},
        {"radius 229", 320, 240, 229, {0, 0, 639, 479}},
        // x + radius + 0.5 equal to the clip box's left or top edge is not rejected.
        {"left tie, radius 0", 99.5, 120, 0, {100, 50, 200, 150}},
        {"left tie", 89.5, 120, 10, {100, 50, 200, 150}},
        {"top tie", 150, 39.5, 10, {100, 50, 200, 150}},
        {"left of the box", 89.4, 120, 10, {100, 50, 200, 150}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::fill(page->pixels.begin(), page->pixels.end(), 0);
        page->clip_x1 = c.clip[0], page->clip_y1 = c.clip[1], page->clip_x2 = c.clip[2], page->clip_y2 = c.clip[3];
        oracle::Page expected;
        expected.clip_x1 = c.clip[0], expected.clip_y1 = c.clip[1];
        expected.clip_x2 = c.clip[2], expected.clip_y2 = c.clip[3];
        draw_circle(c.x, c.y, c.radius, 12, 0, 0, 0, 2);
        oracle::circle(expected, c.x, c.y, c.radius, 12);
        EXPECT_EQ(count(12) != 0, c.drawn);
        const long long i = oracle::first_difference(page->pixels, expected.pixels);
        EXPECT_EQ(i, -1) << "first differing pixel (" << i % 640 << ", " << i / 640 << ")";
    }
}

// ---- errors ----

TEST_F(Drawing, IllegalCallsRaiseErrorFiveAndChangeNothing) {
    TextString tile = text("\x11");
    TextString empty = text("");
    TextString long_tile = text(std::string(257, 'x'));
    TextString tile_256 = text(std::string(256, 'x'));
    TextString long_background = text(std::string(256, '\0'));
    struct Case {
        const char* name;
        bool on_text_page;
        std::function<void()> call;
    };
    const Case cases[] = {
        {"draw_line", true, [] { draw_line(0, 0, 5, 5, 1, 2, 0, 9); }},
        {"flood_fill", true, [] { flood_fill(0, 0, 1, 0, 0, 2); }},
        {"flood_fill background", false, [] { flood_fill(0, 0, 1, 0, 0, 2 | 8); }},
        {"pattern_fill", true, [&] { pattern_fill(0, 0, &tile, 0, nullptr, 2); }},
        {"pattern_fill no tile", false, [&] { pattern_fill(0, 0, &tile, 0, nullptr, 0); }},
        {"pattern_fill null tile", false, [&] { pattern_fill(0, 0, nullptr, 0, nullptr, 2); }},
        {"pattern_fill empty tile", false, [&] { pattern_fill(0, 0, &empty, 0, nullptr, 2); }},
        {"pattern_fill 257 bytes", false, [&] { pattern_fill(0, 0, &long_tile, 0, nullptr, 2); }},
        {"pattern_fill empty background", false, [&] { pattern_fill(0, 0, &tile, 0, &empty, 2 | 8); }},
        {"pattern_fill 256-byte background", false,
         [&] { pattern_fill(0, 0, &tile, 0, &long_background, 2 | 8); }},
        {"draw_circle", true, [] { draw_circle(5, 5, 3, 1, 0, 0, 0, 2); }},
        {"draw_circle start angle", false, [] { draw_circle(5, 5, 3, 1, 1, 0, 0, 2 | 4); }},
        {"draw_circle end angle", false, [] { draw_circle(5, 5, 3, 1, 0, 1, 0, 2 | 8); }},
        {"draw_circle aspect", false, [] { draw_circle(5, 5, 3, 1, 0, 0, 2, 2 | 16); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::fill(page->pixels.begin(), page->pixels.end(), 0);
        write_page = c.on_text_page ? text_screen : page.get();
        const auto cells = write_page->pixels;
        const float cursor_x = write_page->cursor_x;
        pending_error = 0;
        c.call();
        EXPECT_EQ(pending_error.load(), 5);
        EXPECT_EQ(write_page->pixels, cells);
        EXPECT_EQ(write_page->cursor_x, cursor_x);
    }
    // A 256-byte tile is accepted.
    write_page = page.get();
    pending_error = 0;
    pattern_fill(0, 0, &tile_256, 0, nullptr, 2);
    EXPECT_EQ(pending_error.load(), 0);
}

TEST_F(Drawing, NothingHappensWhileAnErrorIsPending) {
    TextString tile = text("\x11");
    make_error_pending();
    draw_line(0, 0, 100, 100, 3, 2, 0, 9);
    flood_fill(5, 5, 3, 0, 0, 2);
    pattern_fill(5, 5, &tile, 0, nullptr, 2);
    draw_circle(50, 50, 10, 3, 0, 0, 0, 2);
    EXPECT_EQ(count(0), 640u * 480u);
    EXPECT_EQ(page->cursor_x, 320.0f);
    EXPECT_EQ(page->cursor_y, 240.0f);
    EXPECT_EQ(pending_error.load(), 7);
    // The primitives make no test of their own.
    fill_box(0, 0, 1, 0, 4);
    plot_point(5, 0, 4);
    EXPECT_EQ(count(4), 3u);
}

}  // namespace
