#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "errors.h"
#include "frame_builder.h"
#include "keyboard.h"
#include "numbers.h"
#include "pages.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "static_cells.h"
#include "string_store.h"
#include "window_requests.h"

std::string runtime_command_line;
std::atomic<uint32_t> shutdown_ack_limit_ms{1000};
std::atomic<bool> framebuffer_objects_supported{false};

// The shutdown's flags. close_program: asked for by a close key, a No to an
// error box or the closing prompt; read by the main loop. stop_program: set
// here, read by the program thread's event checks and the event timer,
// which answer in shutdown_ack.
std::atomic<uint8_t> stop_program{0};
std::atomic<uint8_t> close_program{0};
std::atomic<uint32_t> shutdown_ack{0};

// The window thread's, kept in the core beside their readers (runtime.h).
std::atomic<bool> window_thread_started{false};
std::atomic<bool> window_closed{false};

namespace {
void enter_executable_directory() {
    char path[4096];
    uint32_t length = platform::GetModuleFileNameA(0, path, sizeof path);
    if (length == 0 || length >= sizeof path) return;
    char* slash = std::strrchr(path, '/');
    if (!slash) return;
    *(slash == path ? slash + 1 : slash) = '\0';
    if (chdir(path) != 0) return;  // stays in the directory it was started in
}
}  // namespace

void runtime_init(bool wait_for_second_change) {
    install_out_of_memory_handler();
    // Each area resets its own state.
    errors_init();
    static_cells_init();
    strings_init();
    pages_init();
    keyboard_init();
    random_init();
    window_requests_init();
    frame_builder_init();
    // The start's own: the shutdown's flags and the window's close.
    stop_program.store(0, std::memory_order_relaxed);
    close_program.store(0, std::memory_order_relaxed);
    shutdown_ack.store(0);
    window_closed.store(false);
    enter_executable_directory();
    clock_init(wait_for_second_change);
}

namespace {
void program_thread(void*) { program_thread_entry(); }

void event_timer_thread(void*) {
    while (!stop_program.load(std::memory_order_relaxed)) platform::Sleep(10);
    shutdown_ack.fetch_or(event_timer_ended);
}

void headless_main_loop_thread(void*) { run_headless_main_loop(); }
void main_loop_thread(void*) { run_main_loop(); }

// A thread that cannot start found no memory for its stack: out of memory.
platform::ThreadHandle start_thread(void (*body)(void*)) {
    const platform::ThreadHandle thread = platform::_beginthread(body, 0, nullptr);
    if (thread == static_cast<platform::ThreadHandle>(-1)) raise_error(error_code::allocation_failed);
    return thread;
}
}  // namespace

void start_program_thread() {
    platform::ThreadHandle program = start_thread(program_thread);
    platform::SetThreadPriority(program, 0);
}

void start_event_timer_thread() { start_thread(event_timer_thread); }

void start_program_and_timer_threads() {
    start_program_thread();
    start_event_timer_thread();
}

void start_headless_main_loop_thread() { start_thread(headless_main_loop_thread); }
void start_main_loop_thread() {
    // From here on a screen-mode change must wait for the frame builder: it
    // may read the display page from its very first pass.
    display_started.store(true);
    start_thread(main_loop_thread);
}

void shut_down_process() {
    stop_program.store(1, std::memory_order_relaxed);
    event_pending.exchange(1, std::memory_order_release);
    auto acknowledged = [] { return (shutdown_ack.load() & every_thread_acknowledged) == every_thread_acknowledged; };
    for (uint32_t waited = 0; !acknowledged() && waited < shutdown_ack_limit_ms; waited += 16) {
        // A screen-mode change waiting for the frame builder would never
        // reach its event check: let it finish.
        display_lock.grant_if_requested();
        platform::Sleep(16);
    }
    end_process();
}

void end_process() {
    std::fflush(nullptr);
    // With a window, no static destructors: the window thread may still be
    // inside freeglut using them, and the program thread inside a dialog.
    if (window_thread_started.load()) _exit(0);
    std::exit(0);
}

void check_for_shutdown(bool closed) {
    if (closed || close_program.load(std::memory_order_relaxed)) shut_down_process();
}

void run_headless_main_loop() {
    for (;;) {
        platform::Sleep(15);
        platform::Sleep(1);
        check_for_shutdown(window_closed.load());
    }
}

void run_main_loop() {
    for (bool build = false;; build = !build) {
        platform::Sleep(15);
        check_for_shutdown(window_closed.load());
        if (build) frame_builder_pass();
        platform::Sleep(1);
    }
}
