// Hot paths of the drawing operations on the 640 x 480 page.
#include <benchmark/benchmark.h>

#include <memory>

#include "drawing.h"
#include "pages.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

std::unique_ptr<ScreenImage> fresh_page() {
    // Once only: the start-up would free the write page, which is ours here.
    static const bool started = (runtime_init(false), true);
    (void)started;
    std::unique_ptr<ScreenImage> page(new_screen_page(12, 16));
    write_page = page.get();
    return page;
}

// Pixels per second as items_per_second: ns per pixel = 1e9 / that.
void per_pixel(benchmark::State& state, int64_t pixels) {
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * pixels);
}

// The benchmark's flood: fill colour as border, alternating so every call repaints.
void BM_FloodFillFullPage(benchmark::State& state) {
    auto page = fresh_page();
    uint32_t colour = 1;
    for (auto _ : state) {
        flood_fill(100, 100, colour, 0, 0, 2);
        colour ^= 3;
    }
    per_pixel(state, 640 * 480);
}
BENCHMARK(BM_FloodFillFullPage);

// A border of its own: the examined marks are kept and cleared.
void BM_FloodFillFullPageWithBorder(benchmark::State& state) {
    auto page = fresh_page();
    uint32_t colour = 1;
    for (auto _ : state) {
        flood_fill(100, 100, colour, 9, 0, 2 | 4);
        colour ^= 3;
    }
    per_pixel(state, 640 * 480);
}
BENCHMARK(BM_FloodFillFullPageWithBorder);

void BM_PatternFillFullPage(benchmark::State& state) {
    auto page = fresh_page();
    uint8_t a[3] = {183, 153, 187}, b[3] = {209, 39, 1};
    TextString tiles[2];
    tiles[0].data = a, tiles[0].length = 3;
    tiles[1].data = b, tiles[1].length = 3;
    int which = 0;
    for (auto _ : state) {
        pattern_fill(529, 447, &tiles[which], 0, nullptr, 2);
        which ^= 1;
    }
    // Every row ends in the last tile's colours (1, 1, 2, 1, 0, 2, 2, 7 or 7, 0, 5, 7, 6, 1, 5, 7).
    const uint8_t* last = which ? a : b;
    for (int i = 0; i < 640 * 480; ++i) {
        const int bit = 7 - i % 8;
        const int colour = (last[0] >> bit & 1) | (last[1] >> bit & 1) << 1 | (last[2] >> bit & 1) << 2;
        if (page->pixels[i] != colour) {
            state.SkipWithError("the fill did not repaint the page");
            break;
        }
    }
    per_pixel(state, 640 * 480);
}
BENCHMARK(BM_PatternFillFullPage);

void BM_FillBox300x200(benchmark::State& state) {
    auto page = fresh_page();
    uint32_t colour = 1;
    for (auto _ : state) {
        draw_line(100, 100, 399, 299, colour, 2, 0, 9);
        colour = (colour + 1) & 15;
    }
    per_pixel(state, 300 * 200);
}
BENCHMARK(BM_FillBox300x200);

void BM_DrawCircleRadius99(benchmark::State& state) {
    auto page = fresh_page();
    for (auto _ : state) draw_circle(320, 240, 99, 12, 0, 0, 0, 2);
}
BENCHMARK(BM_DrawCircleRadius99);

// Workload 4's pair: the circle and the fill of its disc.
void BM_CircleAndDiscFill(benchmark::State& state) {
    auto page = fresh_page();
    uint32_t colour = 1;
    for (auto _ : state) {
        draw_circle(320, 240, 99, static_cast<int32_t>(colour), 0, 0, 0, 2);
        flood_fill(320, 240, colour, 0, 0, 2);
        colour ^= 3;
    }
}
BENCHMARK(BM_CircleAndDiscFill);

}  // namespace
