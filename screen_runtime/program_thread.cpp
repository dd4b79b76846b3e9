// The program thread's entry and its halt.
#include "errors.h"
#include "platform/platform.h"
#include "screen_runtime.h"

void program_thread_entry() { benchmark_main(0); }

void halt_program_thread() {
    shutdown_ack.fetch_or(program_thread_halted);
    while (!stop_program.load(std::memory_order_relaxed)) platform::Sleep(16);
    for (;;) platform::Sleep(16);
}
