#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
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

TEST_F(Errors, ThreeHundredRangeIsCriticalWithAnOkBox) {
    platform::set_message_box_hook(print_box);
    raise_error(300);
    EXPECT_EQ(pending_error.load(), 300);  // not critical when raised, only when reported
    EXPECT_EXIT(
        {
            check_statement_events(42, 0, nullptr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0),
        box_pattern("Critical Error #300", "Line: 42 (in main module)\nUnprintable error", 0));
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

TEST_F(Errors, StopHaltsTheProgramThread) {
    EXPECT_EXIT(
        {
            stop_program = 1;
            close_program = 1;
            start_event_timer_thread();
            start_headless_main_loop_thread();
            raise_error(5);
            check_statement_events(1, 0, nullptr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
    // The halt acknowledges before it parks.
    EXPECT_EXIT(
        {
            std::thread([] {
                while (!(shutdown_ack.load() & 1)) std::this_thread::sleep_for(std::chrono::milliseconds(1));
                std::fflush(nullptr);
                std::_Exit(shown.calls == 0 ? 0 : 4);
            }).detach();
            stop_program = 1;
            raise_error(5);
            check_statement_events(1, 0, nullptr);
            std::_Exit(3);
        },
        ::testing::ExitedWithCode(0), "");
}

TEST_F(Errors, StaticCellsAreRoundedAndBlocksGrow) {
    constexpr size_t MiB = 1048576;
    char* a = static_cast<char*>(alloc_static_cell(4));
    char* b = static_cast<char*>(alloc_static_cell(1));
    char* c = static_cast<char*>(alloc_static_cell(8));
    char* d = static_cast<char*>(alloc_static_cell(0));
    char* e = static_cast<char*>(alloc_static_cell(9));
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 8, 0u);
    EXPECT_EQ(b, a + 8);
    EXPECT_EQ(c, b + 8);
    EXPECT_EQ(d, c + 8);
    EXPECT_EQ(e, d);
    // First block: 1 MiB, 40 bytes used. Fill it to 8 bytes before its end.
    char* f = static_cast<char*>(alloc_static_cell(static_cast<int32_t>(MiB - 40 - 8)));
    EXPECT_EQ(f, e + 16);
    // A top that reaches the end takes a new block of 8 + 2 MiB.
    char* g = static_cast<char*>(alloc_static_cell(8));
    EXPECT_FALSE(g >= a && g < a + MiB);
    // The next block is 2 MiB - 1 rounded + 2 * (2 MiB + 8) = 6 MiB + 16.
    char* h = static_cast<char*>(alloc_static_cell(static_cast<int32_t>(2 * MiB - 1)));
    EXPECT_NE(h, g + 8);
    char* i = static_cast<char*>(alloc_static_cell(static_cast<int32_t>(4 * MiB + 8)));
    EXPECT_EQ(i, h + 2 * MiB);
    char* j = static_cast<char*>(alloc_static_cell(8));
    EXPECT_NE(j, i + 4 * MiB + 8);
    // The old blocks stay usable.
    a[0] = 1;
    f[MiB - 49] = 2;
    i[4 * MiB + 7] = 3;
    // Cells come regardless of a pending error.
    raise_error(5);
    EXPECT_EQ(alloc_static_cell(4), j + 8);
    EXPECT_EQ(alloc_static_cell(-1), nullptr);
}

namespace fs = std::filesystem;

class ChainData : public Errors {
  protected:
    void SetUp() override {
        Errors::SetUp();
        home = fs::current_path();
        char pattern[] = "/tmp/chain_test_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        root = fs::canonical(pattern);
        fs::create_directory(root / "work");
        fs::current_path(root);
    }
    void TearDown() override {
        fs::current_path(home);
        fs::remove_all(root);
        runtime_command_line.clear();
        Errors::TearDown();
    }
    void write(const std::string& name, const std::string& contents) { std::ofstream(root / name) << contents; }
    fs::path home, root;
};

constexpr const char* tag = "(unique-tag:=/@*$+-)";

TEST_F(ChainData, HandOverRestoresDirectoryAndTrimsTheCommandLine) {
    struct Case {
        std::string before, after;
    } cases[] = {{std::string("prog arg ") + tag + "chain001.tmp", "prog arg"},
                 {std::string(tag) + "chainAbC.tmp", ""}};
    for (const Case& c : cases) {
        fs::current_path(root);
        const std::string name = c.before.substr(c.before.size() - 12);
        write(name, "directory=" + (root / "work").string() + "\r\nscreen_mode=0\n");
        runtime_command_line = c.before;
        receive_chain_data();
        EXPECT_EQ(pending_error.load(), 0);
        EXPECT_EQ(fs::current_path(), root / "work");
        EXPECT_FALSE(fs::exists(root / name));
        EXPECT_EQ(runtime_command_line, c.after);
    }
}

TEST_F(ChainData, OtherCommandLinesDoNothing) {
    const std::string names[] = {"chain001.tmq", "chbin001.tmp", "chain01.tmp", "xchain01.tmp"};
    for (const std::string& name : names) write(name, "directory=work\nscreen_mode=0\n");
    const std::string lines[] = {
        std::string("prog ") + tag + "chain001.tmq",
        std::string("prog ") + tag + "chbin001.tmp",
        std::string("prog ") + tag + "chain01.tmp",
        std::string("prog (unique-tag:=/@*$+=)chain001.tmp"),
        std::string("prog ") + tag + "chain001.tmp trailing",
        "chain001.tmp",
        "",
    };
    for (const std::string& line : lines) {
        runtime_command_line = line;
        receive_chain_data();
        EXPECT_EQ(runtime_command_line, line);
        EXPECT_EQ(fs::current_path(), root);
        EXPECT_EQ(pending_error.load(), 0);
    }
    for (const std::string& name : names) EXPECT_TRUE(fs::exists(root / name)) << name;
}

TEST_F(ChainData, BadHandOverFilesRaiseAnError) {
    struct Case {
        const char* contents;  // null: no file; "/": a directory in its place
        int32_t code;
    } cases[] = {
        {nullptr, 53},
        {"/", 57},
        {"directory=work\n", 62},
        {"", 62},
        {"directory=work\nscreen_mode=twelve\n", 5},
        {"directory=work\nscreen_mode=99999999999\n", 5},
        {"directory=work\nscreen_mode=0\nextra\n", 5},
        {"directory=no/such/place\nscreen_mode=0", 76},
    };
    for (const Case& c : cases) {
        errors_init();
        fs::current_path(root);
        if (c.contents && std::string(c.contents) == "/")
            fs::create_directory(root / "chain123.tmp");
        else if (c.contents)
            write("chain123.tmp", c.contents);
        runtime_command_line = std::string("prog ") + tag + "chain123.tmp";
        receive_chain_data();
        EXPECT_EQ(pending_error.load(), c.code) << (c.contents ? c.contents : "(no file)");
        EXPECT_EQ(fs::current_path(), root);
        EXPECT_EQ(runtime_command_line, "prog");
        fs::remove_all(root / "chain123.tmp");
    }
    EXPECT_EQ(std::string(error_text(53)), "File not found");
    EXPECT_EQ(std::string(error_text(57)), "Device I/O error");
    EXPECT_EQ(std::string(error_text(62)), "Input past end of file");
    EXPECT_EQ(std::string(error_text(76)), "Path not found");
}

}  // namespace
