// The frame builder on its own thread while the program thread draws: once
// the drawing stops, the newest frame must show the page as it was left.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <string>
#include <thread>

#include "frame_builder.h"
#include "glyph_cells.h"
#include "pages.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "standard_colours.h"

namespace {
// Passes made after the writer stopped, before the newest frame is judged.
constexpr int passes_after_stop = 3;
constexpr int trials = 150;
using Clock = std::chrono::steady_clock;

// What a pixel of the frame must be, worked out from the page's bytes: a
// graphics page through the standard colours, a text page through the font
// and the cell's attribute, the visible cursor as the cell's two lowest lines.
uint32_t expected_pixel(const ScreenImage& page, int x, int y) {
    if (!page.text_page) return expected_standard_colours[page.pixels[static_cast<size_t>(y) * page.width + x] & 15];
    const int row = y / 16, column = x / 8, line = y % 16;
    const size_t cell = (static_cast<size_t>(row) * page.width + column) * 2;
    const uint8_t character = page.pixels[cell], attribute = page.pixels[cell + 1];
    bool set = glyphs::ink(character, x % 8, line);
    if (page.cursor_visible && page.cursor_row == row + 1 && page.cursor_column == column + 1 && line >= 14)
        set = true;
    return expected_standard_colours[set ? attribute & 15 : (attribute >> 4) & 7];
}

// Pixels of the frame that differ from the page.
long wrong_pixels(const FrameSlot& frame, const ScreenImage& page) {
    const int width = page.text_page ? page.width * 8 : page.width;
    const int height = page.text_page ? page.height * 16 : page.height;
    if (frame.width != width || frame.height != height) return -1;
    long wrong = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            wrong += frame.pixels[static_cast<size_t>(y) * width + x] != expected_pixel(page, x, y);
    return wrong;
}

void print_at(int row, int column, const std::string& text) {
    locate_cursor(row, column, 0, 0, 0, 3);
    print_text(text_from_literal_len(text.data(), static_cast<int32_t>(text.size())), 0);
    release_temp_strings(0, 0);
}

// As the benchmark ends: the whole screen repainted, then a result line.
void repaint_graphics(std::mt19937& random) {
    clear_screen(0, 0, 0);
    fill_box(0, 0, 639, 479, random() % 16);
    for (int i = 0; i < 4; ++i)
        fill_box(random() % 640, random() % 480, random() % 640, random() % 480, random() % 16);
    print_at(10, 30, "Result:  " + std::to_string(random() % 100000));
}

// A text screen rewritten, the cursor moved, shown or hidden.
void repaint_text(std::mt19937& random) {
    clear_screen(0, 0, 0);
    for (int i = 0; i < 6; ++i) print_at(1 + random() % 24, 1 + random() % 60, std::string(1 + random() % 20, 33 + random() % 90));
    locate_cursor(1 + random() % 24, 1 + random() % 80, random() % 2, 0, 0, 7);
}

struct Load {
    const char* name;
    bool graphics;
    void (*repaint)(std::mt19937&);
};

void PrintTo(const Load& load, std::ostream* os) { *os << load.name; }

class FramesUnderLoad : public ::testing::TestWithParam<Load> {
protected:
    void SetUp() override {
        runtime_init(false);
        display_started.store(false);  // no builder runs yet: the switch need not wait
        if (GetParam().graphics) set_screen_mode(12, 0, 0, 0, 0, 1);
        ASSERT_EQ(write_page->text_page, !GetParam().graphics);
    }
};

TEST_P(FramesUnderLoad, NewestFrameShowsThePageOnceDrawingStops) {
    std::mt19937 random(12345);
    int stale_trials = 0;
    long worst = 0;
    for (int trial = 0; trial < trials; ++trial) {
        std::atomic<bool> writer_done{false};
        std::atomic<int> built{0};
        std::atomic<int64_t> build_ns{0};  // how long the last pass that built a frame took
        const FrameSlot* newest = nullptr;
        // The main-loop thread's passes back to back, each frame taken at once
        // as the window thread would.
        std::thread builder([&] {
            for (int after = 0; after < passes_after_stop;) {
                const bool done = writer_done.load(std::memory_order_acquire);
                const auto start = Clock::now();
                if (frame_builder_pass()) {
                    build_ns.store((Clock::now() - start).count());
                    ++built;
                }
                if (const FrameSlot* frame = take_newest_frame()) newest = frame;
                if (done) ++after;
            }
        });
        // Repaints while the builder builds, then once more at a random
        // moment of a pass: the last write may fall anywhere in it.
        const int first_built = 2 + static_cast<int>(random() % 3);
        while (built.load() < first_built) GetParam().repaint(random);
        std::uniform_int_distribution<int64_t> delay(0, 2 * build_ns.load());
        for (const auto until = Clock::now() + std::chrono::nanoseconds(delay(random)); Clock::now() < until;) {
        }
        GetParam().repaint(random);
        writer_done.store(true, std::memory_order_release);
        builder.join();
        ASSERT_NE(newest, nullptr);
        const long wrong = wrong_pixels(*newest, *display_page.load());
        if (wrong != 0) {
            ++stale_trials;
            worst = std::max(worst, wrong);
        }
    }
    EXPECT_EQ(stale_trials, 0) << "of " << trials << " trials; at worst " << worst << " pixels wrong";
}

INSTANTIATE_TEST_SUITE_P(Pages, FramesUnderLoad,
                         ::testing::Values(Load{"Graphics", true, repaint_graphics}, Load{"Text", false, repaint_text}),
                         [](const auto& info) { return std::string(info.param.name); });
}  // namespace
