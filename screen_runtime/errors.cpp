#include "errors.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "static_cells.h"

std::atomic<int32_t> event_pending{0};
std::atomic<int32_t> pending_error{0};
std::atomic<uint8_t> suspend_program{0};
std::atomic<uint8_t> stop_program{0};
std::atomic<uint8_t> close_program{0};
std::atomic<uint32_t> shutdown_ack{0};

namespace {
constexpr auto relaxed = std::memory_order_relaxed;

int32_t recorded_line = 0;

// A formatted text in memory of its own; null when there is none to be had.
template <typename... Args>
char* format_owned(const char* format, Args... args) {
    const int length = std::snprintf(nullptr, 0, format, args...);
    if (length < 0) return nullptr;
    char* text = static_cast<char*>(std::malloc(static_cast<size_t>(length) + 1));
    if (text) std::snprintf(text, static_cast<size_t>(length) + 1, format, args...);
    return text;
}

bool is_critical(int32_t code) {
    return code == 11 || code == 256 || code == 257 || (code >= 259 && code <= 263) || code == 270 ||
           code == 271 || (code >= 502 && code <= 518);
}
}  // namespace

void errors_init() {
    pending_error.store(0, relaxed);
    event_pending.store(0, relaxed);
    suspend_program.store(0, relaxed);
    stop_program.store(0, relaxed);
    close_program.store(0, relaxed);
    shutdown_ack.store(0, relaxed);
    recorded_line = 0;
    static_cells_init();
}

int32_t error_line() { return recorded_line; }

const char* error_text(int32_t code) {
    if (code >= 502 && code <= 518) return "Out of memory";
    switch (code) {
        case 5: return "Illegal function call";
        case 6: return "Overflow";
        case 7: return "Out of memory";
        case 9: return "Subscript out of range";
        case 11: return "Division by zero";
        case 13: return "Type mismatch";
        case 52: return "Bad file name or number";
        case 53: return "File not found";
        case 57: return "Device I/O error";
        case 62: return "Input past end of file";
        case 76: return "Path not found";
        case 256: return "Out of stack space";
        case 257: return "Out of memory";
        case 259: return "Dynamic library could not be loaded";
        case 260: return "Function not found in dynamic library";
        case 261: return "Dynamic library failed to initialise";
        case 262: return "Hosted mode is not available";
        case 263: return "Hosted mode failed to start";
        case 270: return "OpenGL sub-program could not be started";
        case 271: return "OpenGL sub-program failed";
        default: return "Unprintable error";
    }
}

void on_floating_point_signal(int) { raise_error(11); }

namespace {
// Memory held back for the out-of-memory box: its display connection, font
// and texts need some when nothing else is left.
constexpr size_t box_reserve_size = 1048576;
std::atomic<void*> box_reserve{nullptr};

// The thread that shows the one critical box (0 while none does).
std::atomic<long> critical_thread{0};

[[noreturn]] void end_with_critical_box(int32_t code) {
    char title[32];
    if (code >= 502 && code <= 518)
        std::snprintf(title, sizeof title, "Critical Error #%d", code - 500);
    else if (code == 257)
        std::snprintf(title, sizeof title, "Critical Error #1");
    else
        std::snprintf(title, sizeof title, "Critical Error");
    const long self = syscall(SYS_gettid);
    long showing = 0;
    if (!critical_thread.compare_exchange_strong(showing, self)) {
        if (showing != self) {
            // Another thread's box ends the process; a second box would only race it.
            for (;;) platform::Sleep(1000);
        }
        // The box itself failed (out of memory again): no box, the same end.
        write_stderr(title);
        write_stderr("\n");
        write_stderr(error_text(code));
        write_stderr("\n");
        _exit(0);
    }
    std::free(box_reserve.exchange(nullptr));
    std::fflush(nullptr);
    platform::MessageBoxA(platform::dialog_owner(), error_text(code), title,
                          platform::MB_OK | platform::MB_SYSTEMMODAL);
    end_process();
}

// Memory for an allocation could not be had, on whichever thread.
void on_allocation_failure() { end_with_critical_box(257); }
}  // namespace

void write_stderr(const char* text) {
    for (size_t left = std::strlen(text); left > 0;) {
        const ssize_t n = write(STDERR_FILENO, text, left);
        if (n <= 0) return;
        text += n;
        left -= static_cast<size_t>(n);
    }
}

void install_out_of_memory_handler() {
    if (!box_reserve.load()) box_reserve.store(std::malloc(box_reserve_size));
    std::set_new_handler(on_allocation_failure);
}

int32_t raise_error(int32_t code) {
    if (is_critical(code)) end_with_critical_box(code);
    if (pending_error.load(relaxed) == 0) {
        pending_error.store(code <= 0 ? 5 : code, relaxed);
        event_pending.exchange(1, std::memory_order_release);
    }
    return pending_error.load(relaxed);
}

void report_error() {
    const int32_t code = pending_error.load(relaxed);
    if (code == 0) return;
    const bool critical = code >= 300 && code <= 313;
    const char* description = error_text(code);
    const unsigned line = static_cast<unsigned>(recorded_line);
    const char* tail = critical ? "" : "\nContinue?";
    const char* head = critical ? "Critical Error #" : "Unhandled Error #";

    char* text = format_owned("Line: %u (in %s)\n%s%s", line, "main module", description, tail);
    char* title = format_owned("%s%u", head, static_cast<unsigned>(code));
    if (!text || !title) end_process();

    if (critical) {
        platform::MessageBoxA(platform::dialog_owner(), text, title, 0);
        end_process();
    }
    int answer = platform::MessageBoxA(platform::dialog_owner(), text, title,
                                       platform::MB_YESNO | platform::MB_SYSTEMMODAL);
    std::free(text);
    std::free(title);
    if (answer == platform::IDNO) {
        close_program.store(1, relaxed);
        halt_program_thread();
    }
    pending_error.store(0, relaxed);
}

void check_statement_events(int32_t line, int32_t, const char*) {
    // Acquire: the flags set before event_pending are seen below.
    event_pending.exchange(0, std::memory_order_acquire);
    while (suspend_program.load(relaxed) || stop_program.load(relaxed)) {
        if (stop_program.load(relaxed)) halt_program_thread();
        platform::Sleep(10);
    }
    if (pending_error.load(relaxed) != 0) {
        recorded_line = line;
        report_error();
    }
}
