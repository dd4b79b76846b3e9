// Start-up, the runtime's threads and the orderly end of the process.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

// What a start sets, in one list: each area's own state (errors, static
// cells, string store, text screen and palettes, key queue and pause,
// random numbers, window requests, frame slots), then the shutdown's flags,
// the executable's directory as current directory and the clock base
// (waiting for the wall-clock second to change when asked).
void runtime_init(bool wait_for_second_change = true);

// Starts the program thread, then the event-timer thread.
void start_program_and_timer_threads();
void start_program_thread();
void start_event_timer_thread();
// A main-loop thread with no display side (tests: the shutdown path).
void start_headless_main_loop_thread();
// The main-loop thread with its frame builder (the display side's).
void start_main_loop_thread();

// The main-loop thread's check: when close_program is set (or the window
// is gone), stops the other threads and ends the process with exit code 0.
void check_for_shutdown(bool window_closed);
[[noreturn]] void shut_down_process();
// Ends the process with exit code 0 after flushing: every orderly end and
// every critical error comes here.
[[noreturn]] void end_process();

// How long the shutdown waits for the program and event-timer threads to
// acknowledge the stop. A running program thread reaches an event check
// (or the 100 ms poll of the closing prompt) far sooner; one that has not
// answered by then is blocked (a modal dialog) and counts as halted.
// Tests lengthen it to show that a running program does answer.
extern std::atomic<uint32_t> shutdown_ack_limit_ms;

// A main loop with no display side: sleeps 15 ms and 1 ms and checks for
// shutdown, for ever. Used by tests and the trace.
[[noreturn]] void run_headless_main_loop();
// The same cycle, building a frame on every second pass.
[[noreturn]] void run_main_loop();

// Full start-up with the window (entry.cpp); never returns.
[[noreturn]] int runtime_main(int argc, char** argv);

// The command line as the runtime keeps it (arguments joined by blanks).
extern std::string runtime_command_line;

// Written by the window thread (display.cpp), read here in the core, which
// runs with no window: once it has started (end_process), once its window
// has been closed or destroyed (the main loop).
extern std::atomic<bool> window_thread_started;
extern std::atomic<bool> window_closed;
// Whether images can be render targets (GL_EXT_framebuffer_object), as
// the window's start-up finds it. No operation here draws into an image yet,
// so nothing reads it; it is the answer such an operation would ask for.
extern std::atomic<bool> framebuffer_objects_supported;
