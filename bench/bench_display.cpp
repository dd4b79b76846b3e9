// Cost of the display side: one frame build, and a busy program-thread loop
// with the window open and its frames changing against the same loop with
// no display side. The window needs DISPLAY (e.g. under xvfb-run).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "display.h"
#include "frame_builder.h"
#include "pages.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {
// The runtime's own mode-12 page, patterned once. It belongs to the runtime:
// the next runtime_init frees it, so each benchmark asks for it after its own.
ScreenImage* graphics_page() {
    if (write_page->mode != 12) {
        display_started.store(false);  // no builder thread runs yet: the switch need not wait
        set_screen_mode(12, 0, 0, 0, 0, 1);
        ScreenImage* p = write_page;
        for (size_t i = 0; i < p->pixels.size(); ++i) p->pixels[i] = static_cast<uint8_t>((i * 2654435761u) >> 28);
    }
    return write_page;
}

void BM_FrameBuild(benchmark::State& state) {
    runtime_init(false);
    if (state.range(0) == 1) graphics_page();
    for (auto _ : state) {
        full_frame_requested.store(true);
        benchmark::DoNotOptimize(frame_builder_pass());
        benchmark::DoNotOptimize(take_newest_frame());
    }
    state.SetLabel(state.range(0) == 1 ? "640x480 graphics page" : "80x25 text page");
}
BENCHMARK(BM_FrameBuild)->Arg(0)->Arg(1);

// The change test alone: a pass over a page that did not change.
void BM_UnchangedPass(benchmark::State& state) {
    runtime_init(false);
    graphics_page();
    frame_builder_pass();
    take_newest_frame();
    for (auto _ : state) benchmark::DoNotOptimize(frame_builder_pass());
}
BENCHMARK(BM_UnchangedPass);

bool display_side_running = false;

void start_display_side() {
    if (display_side_running) return;
    display_side_running = true;
    graphics_page();
    start_main_loop_thread();
    std::thread([] {
        static char name[] = "bench_display";
        static char* argv[] = {name, nullptr};
        run_window_thread(1, argv);
    }).detach();
    while (!window_exists.load()) platform::Sleep(10);
    platform::Sleep(500);
}

// A busy program: plots into the displayed page, an event check per plot.
void busy_loop(benchmark::State& state) {
    ScreenImage* page = graphics_page();
    uint32_t x = 12345;
    for (auto _ : state) {
        for (int i = 0; i < 1 << 20; ++i) {
            x = x * 1664525u + 1013904223u;
            page->pixels[(x >> 8) % page->pixels.size()] = static_cast<uint8_t>(x >> 28);
            if (event_pending.load(std::memory_order_relaxed)) check_statement_events(1, 0, nullptr);
        }
        benchmark::ClobberMemory();
    }
}

void BM_BusyLoopNoDisplay(benchmark::State& state) {
    if (display_side_running) {
        state.SkipWithError("runs before the window opens");
        return;
    }
    busy_loop(state);
}

void BM_BusyLoopWindowOpen(benchmark::State& state) {
    if (!std::getenv("DISPLAY")) {
        state.SkipWithError("no DISPLAY");
        return;
    }
    start_display_side();
    busy_loop(state);
}
BENCHMARK(BM_BusyLoopNoDisplay)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
BENCHMARK(BM_BusyLoopWindowOpen)->UseRealTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);
}  // namespace

int main(int argc, char** argv) {
    runtime_init(false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::fflush(nullptr);
    _exit(0);  // the window thread is still inside freeglut
}
