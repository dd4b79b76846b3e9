#include <cstdio>
#include <cstdlib>

#include "errors.h"
#include "platform/platform.h"
#include "screen_runtime.h"

std::atomic<int32_t> event_pending{0};
std::atomic<int32_t> pending_error{0};
std::atomic<uint8_t> suspend_program{0};
std::atomic<uint8_t> stop_program{0};
std::atomic<uint8_t> close_program{0};
std::atomic<uint32_t> shutdown_ack{0};

namespace {
int32_t recorded_line = 0;
}

void errors_init() {
    pending_error = 0;
    event_pending = 0;
    recorded_line = 0;
}

int32_t error_line() { return recorded_line; }

const char* error_text(int32_t code) { return code == 5 ? "Illegal function call" : "Unprintable error"; }

void program_thread_entry() { benchmark_main(0); }

void on_floating_point_signal(int) { raise_error(11); }

void receive_chain_data() {}

void* alloc_static_cell(int32_t size) { return std::malloc((size + 7) & ~7); }

int32_t raise_error(int32_t code) {
    if (code == 11 || code == 256 || code == 257 || (code >= 502 && code <= 518)) {
        std::fprintf(stderr, "critical error %d\n", code);
        std::exit(0);
    }
    if (pending_error.load(std::memory_order_relaxed) == 0) {
        pending_error.store(code <= 0 ? 5 : code, std::memory_order_relaxed);
        event_pending.store(1, std::memory_order_relaxed);
    }
    return pending_error.load(std::memory_order_relaxed);
}

void report_error() { pending_error = 0; }

void check_statement_events(int32_t line, int32_t, const char*) {
    event_pending.store(0, std::memory_order_relaxed);
    while (suspend_program.load(std::memory_order_relaxed) || stop_program.load(std::memory_order_relaxed)) {
        if (stop_program.load(std::memory_order_relaxed)) halt_program_thread();
        platform::Sleep(10);
    }
    if (pending_error.load(std::memory_order_relaxed) != 0) {
        recorded_line = line;
        report_error();
    }
}

void halt_program_thread() {
    shutdown_ack.fetch_or(1);
    while (!stop_program.load(std::memory_order_relaxed)) platform::Sleep(16);
    for (;;) platform::Sleep(16);
}
