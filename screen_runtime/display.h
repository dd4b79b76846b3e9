// The window thread, as the process start-up and the programs that wait for
// the window see it.
#pragma once

#include <atomic>

// Before any thread opens an X connection: Xlib made safe for threads, the
// process's X error handlers, and the display every connection goes to
// until the window is open (the one the command line's -display names).
void prepare_x_connections(int argc, char** argv);

// The window thread's body: the window, then the GLUT event loop.
[[noreturn]] void run_window_thread(int argc, char** argv);

// Set by the window thread while its window stands. The runtime itself does
// not read it: it is for programs that wait for the window (probes, benches).
extern std::atomic<bool> window_exists;
