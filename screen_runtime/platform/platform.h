// Stand-in for the operating-system and C-runtime calls the screen runtime
// was written against. Another platform replaces this folder.
#pragma once

#include <cstdint>

namespace platform {

// Message boxes.
constexpr unsigned MB_OK = 0x0;
constexpr unsigned MB_YESNO = 0x4;
constexpr unsigned MB_SYSTEMMODAL = 0x1000;
constexpr int IDOK = 1;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

// Shows a modal dialog and returns the button chosen. A Yes/No box has no
// Cancel: Escape and its close button leave it up; an OK box closes with
// Enter, Escape or its close button. With no display it writes title and
// text to standard error and answers IDNO (IDOK for an OK-only box).
int MessageBoxA(unsigned long owner_window, const char* text, const char* title, unsigned flags);

// Tests answer dialogs here instead of on screen; null restores the real ones.
using MessageBoxHook = int (*)(const char* text, const char* title, unsigned flags);
void set_message_box_hook(MessageBoxHook hook);

// For the process's X error handler: an error on an open box's own display
// connection. One that names the box's window ends that box, answered as
// when its window is destroyed (as do any after it); any other is not the
// box's to answer.
enum class BoxXError { not_a_box, ends_the_box, other };
BoxXError message_box_x_error(const void* display, unsigned long resource);

// The X display that every connection of the runtime opens: the window
// library's once that is open, before then the one the command line names;
// null (the default) for the environment's.
void set_x_display_name(const char* name);
const char* x_display_name();

// The X window that owns the dialogs once it exists (0 before).
void set_dialog_owner(unsigned long x_window);
unsigned long dialog_owner();

// Sleep(0) gives up the rest of the time slice.
void Sleep(uint32_t milliseconds);

// Threads. The handle is opaque; priority 0 is normal.
using ThreadHandle = uintptr_t;
ThreadHandle _beginthread(void (*start)(void*), unsigned stack_size, void* argument);
bool SetThreadPriority(ThreadHandle thread, int priority);

// Real time since the process started, 1000 per second.
long clock();

// Floating-point control word of the calling thread (x87 precision bits
// under the mask 0x30000; 0 there means a 64-bit mantissa).
constexpr unsigned MCW_PC = 0x30000;
constexpr unsigned PC_64 = 0x0;
constexpr unsigned PC_53 = 0x10000;
constexpr unsigned PC_24 = 0x20000;
unsigned _controlfp(unsigned new_value, unsigned mask);

using SignalHandler = void (*)(int);
SignalHandler signal(int signal_number, SignalHandler handler);

// Full path of the running executable; returns its length, 0 on failure.
uint32_t GetModuleFileNameA(unsigned long module, char* buffer, uint32_t size);

}  // namespace platform
