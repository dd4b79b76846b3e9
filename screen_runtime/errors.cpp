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

std::atomic<int32_t> event_pending{0};
std::atomic<int32_t> pending_error{0};

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

bool is_store_full(int32_t code) {
    return code >= error_code::first_store_full && code <= error_code::last_store_full;
}

bool is_critical(int32_t code) {
    using namespace error_code;
    return code == division_by_zero || code == out_of_stack_space || code == allocation_failed ||
           (code >= dynamic_library_not_loaded && code <= hosted_mode_start_failed) ||
           code == gl_subprogram_not_started || code == gl_subprogram_failed || is_store_full(code);
}
}  // namespace

void errors_init() {
    pending_error.store(0, relaxed);
    event_pending.store(0, relaxed);
    recorded_line = 0;
}

int32_t error_line() { return recorded_line; }

const char* error_text(int32_t code) {
    using namespace error_code;
    if (is_store_full(code)) return "Out of memory";
    switch (code) {
        case illegal_function_call: return "Illegal function call";
        case overflow: return "Overflow";
        case out_of_memory: return "Out of memory";
        case subscript_out_of_range: return "Subscript out of range";
        case division_by_zero: return "Division by zero";
        case type_mismatch: return "Type mismatch";
        case bad_file_name_or_number: return "Bad file name or number";
        case file_not_found: return "File not found";
        case device_io_error: return "Device I/O error";
        case input_past_end_of_file: return "Input past end of file";
        case path_not_found: return "Path not found";
        case out_of_stack_space: return "Out of stack space";
        case allocation_failed: return "Out of memory";
        case dynamic_library_not_loaded: return "Dynamic library could not be loaded";
        case dynamic_library_function_missing: return "Function not found in dynamic library";
        case dynamic_library_start_failed: return "Dynamic library failed to initialise";
        case hosted_mode_unavailable: return "Hosted mode is not available";
        case hosted_mode_start_failed: return "Hosted mode failed to start";
        case gl_subprogram_not_started: return "OpenGL sub-program could not be started";
        case gl_subprogram_failed: return "OpenGL sub-program failed";
        default: return "Unprintable error";
    }
}

void on_floating_point_signal(int) { raise_error(error_code::division_by_zero); }

namespace {
// Memory held back for the out-of-memory box: its display connection, font
// and texts need some when nothing else is left.
constexpr size_t box_reserve_size = 1048576;
std::atomic<void*> box_reserve{nullptr};

// The thread that shows the one critical box (0 while none does).
std::atomic<long> critical_thread{0};

[[noreturn]] void end_with_critical_box(int32_t code) {
    char title[32];
    if (is_store_full(code))
        std::snprintf(title, sizeof title, "Critical Error #%d", code - 500);
    else if (code == error_code::allocation_failed)
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
void on_allocation_failure() { end_with_critical_box(error_code::allocation_failed); }
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
    if (!error_pending()) {
        pending_error.store(code <= 0 ? error_code::illegal_function_call : code, relaxed);
        event_pending.exchange(1, std::memory_order_release);
    }
    return pending_error.load(relaxed);
}

void report_error() {
    const int32_t code = pending_error.load(relaxed);
    if (code == 0) return;
    const bool critical = code >= error_code::first_reported_critical && code <= error_code::last_reported_critical;
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
    if (error_pending()) {
        recorded_line = line;
        report_error();
    }
}
