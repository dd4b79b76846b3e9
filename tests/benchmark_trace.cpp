// Runs the benchmark routine on the runtime with no display side, answers its
// key waits itself and prints what it did: every clear with the page's hash
// and the generator steps so far, the result line, the page under the
// closing prompt, and the end.
//
//   benchmark_trace [--cheap-log] [--timing]
//
// --cheap-log  stands in for the logarithm of the delay loops (development runs)
// --timing     writes the seconds each workload took to standard error
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "keyboard.h"
#include "numbers.h"
#include "platform/platform.h"
#include "benchmark_watch.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int64_t ten_o_clock_ms = 10LL * 3600 * 1000;
constexpr int64_t result_reading_ms = 123400;  // 10:02:03.400

std::string result_text;
bool result_taken = false;
std::atomic<bool> end_reached{false};
std::atomic<bool> final_key_given{false};

// Workload boundaries, in clears and time readings.
bool timing = false;
Clock::time_point marks[6];
Clock::duration hashing_in[6]{};
int current_span = -1;

void mark(int index) {
    marks[index] = Clock::now();
    current_span = index;
}

void print_timing() {
    const char* names[5] = {"workload 1", "workload 2", "workload 3", "workload 4", "result clears"};
    double total = 0;
    for (int i = 0; i < 5; ++i) {
        double s = std::chrono::duration<double>(marks[i + 1] - marks[i] - hashing_in[i]).count();
        total += s;
        std::fprintf(stderr, "%-14s %10.3f s\n", names[i], s);
    }
    std::fprintf(stderr, "%-14s %10.3f s\n", "timed span", total);
}

void on_clear() {
    auto started = Clock::now();
    std::printf("clear %" PRIu64 " %016" PRIx64 " %" PRIu64 "\n", watch::counters.clears, watch::page_hash(),
                watch::counters.random_steps);
    if (current_span >= 0) hashing_in[current_span] += Clock::now() - started;
    switch (watch::counters.clears) {
        case 2: mark(1); break;
        case 3: mark(2); break;
        case 4: mark(3); break;
        case 20005: mark(4); break;
        default: break;
    }
}

void on_time_read() {
    if (watch::counters.time_reads == 1) {
        mark(0);
    } else if (watch::counters.time_reads == 2) {
        mark(5);
        set_test_clock_now(result_reading_ms);
    }
}

void on_print(TextString* text, int32_t) {
    if (watch::counters.time_reads >= 2 && !result_taken)
        result_text.append(reinterpret_cast<const char*>(text->data), static_cast<size_t>(text->length));
}

void before_poll() {
    if (watch::counters.time_reads >= 2 && !result_taken) {
        result_taken = true;
        std::printf("result %s\n", result_text.c_str());
        if (timing) print_timing();
        key_queue_push('b', 0x30);
    }
}

// The shutdown ends the process only once the program thread has
// acknowledged the stop, after the prompt: that acknowledgement orders the
// prompt's drawing before the page is read here.
void at_exit() {
    if (final_key_given) {
        std::printf("final %016" PRIx64 "\n", watch::page_hash());
        std::printf("exit 0\n");
    }
    std::fflush(stdout);
}

#ifndef STAND_IN_LOGARITHM
// The twin built with the stand-in logarithm, beside this program.
[[noreturn]] void run_cheap_log_twin(char** argv) {
    char self[4096];
    uint32_t n = platform::GetModuleFileNameA(0, self, sizeof self);
    std::string twin = std::string(self, n);
    twin = twin.substr(0, twin.rfind('/') + 1) + "benchmark_trace_cheap_log";
    execv(twin.c_str(), argv);
    std::fprintf(stderr, "benchmark_trace: cannot run %s: %s\n", twin.c_str(), std::strerror(errno));
    std::exit(2);
}
#endif

}  // namespace

int main(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cheap-log") == 0) {
#ifdef STAND_IN_LOGARITHM
            watch::cheap_logarithm = true;
#else
            run_cheap_log_twin(argv);
#endif
        } else if (std::strcmp(argv[i], "--timing") == 0) {
            timing = true;
        } else {
            std::fprintf(stderr, "usage: %s [--cheap-log] [--timing]\n", argv[0]);
            return 2;
        }
    }

    runtime_init(false);
    set_test_clock(ten_o_clock_ms, 0);
    watch::before_clear = on_clear;
    watch::before_time_read = on_time_read;
    watch::on_print = on_print;
    watch::before_poll = before_poll;
    watch::on_end = [] { end_reached = true; };
    std::atexit(at_exit);

    key_queue_push('a', 0x1E);  // the key that ends the banner's wait
    start_program_and_timer_threads();

    // The main loop's part, with the closing prompt answered: the prompt
    // empties the queue before it waits, so a key may be lost to that; the
    // next, half a second on, ends it.
    Clock::time_point key_given_at{};
    for (;;) {
        platform::Sleep(15);
        platform::Sleep(1);
        if (end_reached && Clock::now() - key_given_at > std::chrono::milliseconds(500)) {
            final_key_given = true;
            key_given_at = Clock::now();
            key_queue_push('c', 0x2E);
        }
        check_for_shutdown(false);
    }
}
