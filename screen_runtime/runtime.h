// Start-up, the runtime's threads and the orderly end of the process.
#pragma once

#include <string>

// Prepares the runtime state: string store, text screen, palettes, key queue,
// clock base (waiting for the wall-clock second to change when asked) and
// the executable's directory as current directory.
void runtime_init(bool wait_for_second_change = true);

// Starts the program thread, then the event-timer thread.
void start_program_and_timer_threads();
void start_program_thread();
void start_event_timer_thread();
// A main-loop thread with no display side (tests: the shutdown path).
void start_headless_main_loop_thread();

// The main-loop thread's check: when close_program is set (or the window
// is gone), stops the other threads and ends the process with exit code 0.
void check_for_shutdown(bool window_closed);
[[noreturn]] void shut_down_process();

// A main loop with no display side: sleeps 15 ms and 1 ms and checks for
// shutdown, for ever. Used by tests and the trace.
[[noreturn]] void run_headless_main_loop();

// Full start-up with the window; never returns.
[[noreturn]] int runtime_main(int argc, char** argv);

// The command line as the runtime keeps it (arguments joined by blanks).
extern std::string runtime_command_line;
