// Clearing and printing on the 640 x 480 page.
#include <benchmark/benchmark.h>

#include "pages.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

void mode12_page() {
    runtime_init(false);
    set_screen_mode(12, 0, 0, 0, 0, 1);
}

void BM_clear_screen_mode12(benchmark::State& state) {
    mode12_page();
    for (auto _ : state) {
        clear_screen(0, 0, 0);
        benchmark::DoNotOptimize(write_page->pixels.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * 640 * 480);
}
BENCHMARK(BM_clear_screen_mode12);

void BM_print_result_line_mode12(benchmark::State& state) {
    mode12_page();
    TextString* label = new_text_string(8, false);
    for (int i = 0; i < 8; ++i) label->data[i] = static_cast<uint8_t>("Result: "[i]);
    for (auto _ : state) {
        locate_cursor(10, 30, 0, 0, 0, 3);
        ensure_text_fits(label);
        print_text(label, 0);
        print_text(empty_text, 1);
        benchmark::ClobberMemory();
    }
    free_text_string(label);
}
BENCHMARK(BM_print_result_line_mode12);

}  // namespace
