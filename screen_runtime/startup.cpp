#include <cstdio>
#include <cstdlib>

#include "errors.h"
#include "keyboard.h"
#include "numbers.h"
#include "pages.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "string_store.h"
#include "window_requests.h"

std::string runtime_command_line;

void runtime_init(bool wait_for_second_change) {
    errors_init();
    strings_init();
    pages_init();
    keyboard_init();
    random_init();
    window_requests_init();
    clock_init(wait_for_second_change);
}

namespace {
void program_thread(void*) { program_thread_entry(); }

void event_timer_thread(void*) {
    while (!stop_program.load(std::memory_order_relaxed)) platform::Sleep(10);
    shutdown_ack.fetch_or(2);
}
}  // namespace

void start_program_thread() {
    platform::ThreadHandle program = platform::_beginthread(program_thread, 0, nullptr);
    platform::SetThreadPriority(program, 0);
}

void start_event_timer_thread() { platform::_beginthread(event_timer_thread, 0, nullptr); }

void start_program_and_timer_threads() {
    start_program_thread();
    start_event_timer_thread();
}

namespace {
void headless_main_loop_thread(void*) { run_headless_main_loop(); }
}  // namespace

void start_headless_main_loop_thread() { platform::_beginthread(headless_main_loop_thread, 0, nullptr); }

void shut_down_process() {
    stop_program.store(1, std::memory_order_relaxed);
    event_pending.store(1, std::memory_order_relaxed);
    while ((shutdown_ack.load() & 3) != 3) platform::Sleep(16);
    std::fflush(nullptr);
    std::exit(0);
}

void check_for_shutdown(bool window_closed) {
    if (window_closed || close_program.load(std::memory_order_relaxed)) shut_down_process();
}

void run_headless_main_loop() {
    for (;;) {
        platform::Sleep(15);
        platform::Sleep(1);
        check_for_shutdown(false);
    }
}
