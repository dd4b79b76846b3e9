#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "errors.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

struct Shown {
    std::string text, title;
    unsigned flags = 0;
    int calls = 0;
};
Shown shown;
int answer = platform::IDYES;

int capture(const char* text, const char* title, unsigned flags) {
    shown.text = text;
    shown.title = title;
    shown.flags = flags;
    ++shown.calls;
    return answer;
}

// For child processes: the box goes to stderr, where EXPECT_EXIT reads it.
int print_box(const char* text, const char* title, unsigned flags) {
    std::fprintf(stderr, "[%s](%s){%u}\n", title, text, flags);
    return answer;
}

std::string quote(const std::string& s) {
    std::string r;
    for (char c : s) {
        if (std::strchr("\\^$.|?*+()[]{}", c)) r.push_back('\\');
        r.push_back(c);
    }
    return r;
}

std::string box_pattern(const std::string& title, const std::string& text, unsigned flags) {
    return quote("[" + title + "](" + text + "){" + std::to_string(flags) + "}");
}

class Errors : public ::testing::Test {
  protected:
    void SetUp() override {
        GTEST_FLAG_SET(death_test_style, "threadsafe");
        runtime_init(false);
        shown = Shown{};
        answer = platform::IDYES;
        platform::set_message_box_hook(capture);
    }
    void TearDown() override { platform::set_message_box_hook(nullptr); }
};

TEST_F(Errors, FirstCodeWinsAndNonPositiveBecomesFive) {
    struct Case {
        int32_t first, second, pending;
    } cases[] = {{7, 9, 7}, {0, 9, 5}, {-3, 9, 5}, {53, 0, 53}};
    for (const Case& c : cases) {
        errors_init();
        EXPECT_EQ(raise_error(c.first), c.pending);
        EXPECT_EQ(event_pending.load(), 1);
        event_pending = 0;
        EXPECT_EQ(raise_error(c.second), c.pending);
        EXPECT_EQ(pending_error.load(), c.pending) << c.first << " then " << c.second;
    }
    EXPECT_EQ(shown.calls, 0);
}

TEST_F(Errors, YesClearsTheErrorAndReturns) {
    raise_error(5);
    check_statement_events(12, 0, nullptr);
    EXPECT_EQ(shown.calls, 1);
    EXPECT_EQ(shown.text, "Line: 12 (in main module)\nIllegal function call\nContinue?");
    EXPECT_EQ(shown.title, "Unhandled Error #5");
    EXPECT_EQ(shown.flags, 0x1004u);
    EXPECT_EQ(pending_error.load(), 0);
    EXPECT_EQ(event_pending.load(), 0);
    EXPECT_EQ(close_program.load(), 0);
    EXPECT_EQ(error_line(), 12);

    // A code with no text of its own.
    raise_error(4242);
    check_statement_events(7, 0, nullptr);
    EXPECT_EQ(shown.text, "Line: 7 (in main module)\nUnprintable error\nContinue?");
    EXPECT_EQ(shown.title, "Unhandled Error #4242");
    EXPECT_EQ(pending_error.load(), 0);
}

TEST_F(Errors, NoEventNoDialog) {
    event_pending = 1;
    check_statement_events(3, 0, nullptr);
    EXPECT_EQ(event_pending.load(), 0);
    EXPECT_EQ(shown.calls, 0);
}

// Codes 300 to 313 are critical when reported (not when raised): an OK box,
// then the end of the process. Their neighbours ask Yes or No and go on. Each
// case runs in a child, so that one which ends the process shows.
TEST_F(Errors, ReportedCodesAtTheEdgesOfTheCriticalRange) {
    struct Case {
        int32_t code;
        bool critical;
    } cases[] = {{299, false}, {300, true}, {313, true}, {314, false}};
    platform::set_message_box_hook(print_box);
    for (const Case& c : cases) {
        const std::string code = std::to_string(c.code);
        const std::string box =
            c.critical ? box_pattern("Critical Error #" + code, "Line: 42 (in main module)\nUnprintable error", 0)
                       : box_pattern("Unhandled Error #" + code,
                                     "Line: 42 (in main module)\nUnprintable error\nContinue?", 0x1004) +
                             "\\s*" + quote("[went on, pending 0]");
        EXPECT_EXIT(
            {
                raise_error(c.code);
                check_statement_events(42, 0, nullptr);
                std::fprintf(stderr, "[went on, pending %d]\n", pending_error.load());
                std::_Exit(3);
            },
            ::testing::ExitedWithCode(c.critical ? 0 : 3), box)
            << code;
    }
}

TEST_F(Errors, NoEndsTheProcessThroughTheShutdownPath) {
    platform::set_message_box_hook(print_box);
    answer = platform::IDNO;
    EXPECT_EXIT(
        {
            start_event_timer_thread();
            start_headless_main_loop_thread();
            raise_error(5);
            check_statement_events(9, 0, nullptr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), quote("[Unhandled Error #5]"));
}

TEST_F(Errors, CriticalCodesEndTheProcessAfterTheirBox) {
    platform::set_message_box_hook(print_box);
    answer = platform::IDOK;
    struct Case {
        int32_t code;
        const char *title, *text;
    } cases[] = {
        {11, "Critical Error", "Division by zero"},
        {256, "Critical Error", "Out of stack space"},
        {257, "Critical Error #1", "Out of memory"},
        {502, "Critical Error #2", "Out of memory"},
        {504, "Critical Error #4", "Out of memory"},
        {512, "Critical Error #12", "Out of memory"},
        {518, "Critical Error #18", "Out of memory"},
    };
    for (const Case& c : cases)
        EXPECT_EXIT(
            {
                raise_error(c.code);
                std::_Exit(3);
            },
            ::testing::ExitedWithCode(0), box_pattern(c.title, c.text, platform::MB_SYSTEMMODAL))
            << c.code;
    for (int32_t code : {259, 260, 261, 262, 263, 270, 271})
        EXPECT_EXIT(
            {
                raise_error(code);
                std::_Exit(3);
            },
            ::testing::ExitedWithCode(0), quote("[Critical Error](") + "[^)]+" + quote("){4096}"))
            << code;
    // Critical even with an error pending.
    raise_error(5);
    EXPECT_EXIT(
        {
            raise_error(512);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), quote("[Critical Error #12]"));
}

TEST_F(Errors, FloatingPointSignalIsDivisionByZero) {
    platform::set_message_box_hook(print_box);
    answer = platform::IDOK;
    EXPECT_EXIT(
        {
            platform::signal(SIGFPE, on_floating_point_signal);
            std::raise(SIGFPE);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), box_pattern("Critical Error", "Division by zero", platform::MB_SYSTEMMODAL));
}

std::atomic<bool> pause_released{false};
std::atomic<int> boxes_in_the_pause{0};

TEST_F(Errors, SuspendHoldsTheThreadUntilReleased) {
    pause_released = false;
    boxes_in_the_pause = 0;
    platform::set_message_box_hook([](const char* text, const char* title, unsigned flags) {
        if (!pause_released) ++boxes_in_the_pause;
        return capture(text, title, flags);
    });
    suspend_program = 1;
    event_pending = 1;
    raise_error(5);
    std::atomic<bool> returned{false}, returned_after_release{false};
    std::thread program([&] {
        check_statement_events(20, 0, nullptr);
        returned_after_release = pause_released.load();
        returned = true;
    });
    // Held for as long as the pause lasts; this is only a sample of it.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_FALSE(returned.load()) << "the check returned during the pause";
    pause_released = true;
    suspend_program = 0;
    program.join();
    EXPECT_TRUE(returned_after_release.load());
    EXPECT_EQ(boxes_in_the_pause.load(), 0) << "the error is reported after the pause";
    EXPECT_EQ(shown.calls, 1);
    EXPECT_EQ(pending_error.load(), 0);
}

}  // namespace
