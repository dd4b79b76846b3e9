// A program for the runtime's window, run under Xvfb by test_display_x11:
// the first word of its command line picks what it does; it reports on
// standard output, one line per event.
#include <cctype>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "display.h"
#include "display_test_pages.h"
#include "keyboard.h"
#include "pages.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "window_requests.h"

namespace {
void say(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
    std::putchar('\n');
    std::fflush(stdout);
}

void event_check(int line) {
    if (event_pending.load(std::memory_order_relaxed)) check_statement_events(line, 0, nullptr);
}

void wait_for_window() {
    while (!window_exists.load()) platform::Sleep(5);
    say("window %lu", platform::dialog_owner());
}

[[noreturn]] void idle() {
    for (;;) {
        platform::Sleep(5);
        event_check(1);
    }
}

// The hand-over a screen-mode change makes with the frame builder.
void show_page(ScreenImage* page) {
    while (!display_started.load()) platform::Sleep(1);
    display_lock.request_and_wait();
    full_frame_requested.store(true);
    write_page = read_page = page;
    display_page.store(page);
    display_lock.release();
}

int queued_keys() { return static_cast<int>((key_queue.tail.load() - key_queue.head.load()) & 15); }

void report_fullscreen_changes(FullscreenMode& reported) {
    FullscreenMode now = fullscreen_mode_in_force();
    if (now == reported) return;
    reported = now;
    say("fullscreen %d %d", now.mode, now.smooth ? 1 : 0);
}

// Polls keys in the form of the benchmark's own key wait.
[[noreturn]] void key_loop(bool report) {
    FullscreenMode reported;
    for (int line = 10;; line = 10) {
        uint32_t mark = temp_string_count();
        TextString* key = poll_key();
        if (report && key->length > 0) {
            std::string text = "key";
            char hex[4];
            for (int i = 0; i < key->length; ++i) {
                std::snprintf(hex, sizeof hex, " %02x", key->data[i]);
                text += hex;
            }
            say("%s", text.c_str());
        }
        release_temp_strings(mark, 0);
        if (report) report_fullscreen_changes(reported);
        event_check(line);
    }
}
}  // namespace

void benchmark_main(int32_t) {
    std::istringstream words(runtime_command_line);
    std::string scenario, option;
    words >> scenario;
    // A number after the scenario is a full-screen mode to ask for.
    if ((words >> option) && std::isdigit(static_cast<unsigned char>(option[0])))
        set_fullscreen_mode(std::atoi(option.c_str()), 0);

    if (scenario == "text") {
        fill_probe_text_page(*write_page);
        wait_for_window();
        say("ready");
        idle();
    }
    if (scenario == "mode12") {
        ScreenImage* page = new_screen_page(12, 16);
        fill_probe_mode12_page(*page);
        show_page(page);
        wait_for_window();
        say("ready");
        idle();
    }
    if (scenario == "title") {
        set_window_title(text_from_literal("Early title"));
        say("early %d", window_exists.load() ? 0 : 1);
        wait_for_window();
        // The test's key says it has read the early title.
        while (queued_keys() < 1) platform::Sleep(5);
        set_window_title(text_from_literal("Late title"));
        say("late");
        idle();
    }
    // A running program acknowledges a stop at its next event check: no
    // fallback for it here, so a missing acknowledgement shows as a hang.
    if (scenario == "keywait" || scenario == "busy" || scenario == "titles" || scenario == "prompt")
        shutdown_ack_limit_ms = 3'600'000;
    if (scenario == "keys" || scenario == "keywait") {
        wait_for_window();
        say("ready");
        key_loop(scenario == "keys");
    }
    if (scenario == "busy") {
        wait_for_window();
        say("ready");
        for (uint32_t n = 0;; ++n) {
            locate_cursor(1 + n % 24, 1 + n / 24 % 80, 0, 0, 0, 3);
            print_text(char_from_code(static_cast<int32_t>(33 + n % 90)), 0);
            release_temp_strings(0, 0);
            event_check(20);
        }
    }
    if (scenario == "blocked") {
        // As if inside a modal dialog: no event check ever again.
        wait_for_window();
        say("ready");
        for (;;) platform::Sleep(1000);
    }
    if (scenario == "dialog") {
        wait_for_window();
        say("ready");
        raise_error(5);
        event_check(30);
        idle();
    }
    if (scenario == "early_dialog") {
        // Before the window exists, as a hand-over's error is.
        raise_error(5);
        event_check(31);
        wait_for_window();
        say("ready");
        idle();
    }
    if (scenario == "out_of_memory") {
        wait_for_window();
        say("ready");
        raise_error(257);
    }
    if (scenario == "titles") {
        // The window thread makes an X request on the window at every pass.
        wait_for_window();
        say("ready");
        for (uint32_t n = 0;; ++n) {
            set_window_title(text_from_literal(n % 2 ? "Title" : "Other title"));
            platform::Sleep(1);
            event_check(40);
        }
    }
    if (scenario == "prompt") {
        ScreenImage* page = new_screen_page(12, 16);
        show_page(page);
        wait_for_window();
        say("ready");
        while (queued_keys() < 2) platform::Sleep(5);
        say("queued");
        end_program();
    }
    say("unknown scenario '%s'", scenario.c_str());
    std::exit(2);
}
