// Running out of memory, on any thread and in any allocation, ends the
// process through the critical "Out of memory" box with exit code 0. Each
// case runs in a child process whose memory runs out.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <malloc.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "errors.h"
#include "failing_allocator.h"
#include "pages.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "x11_session.h"

// The program thread's routine: it must never get to run here.
extern "C" void benchmark_main(int32_t) { std::_Exit(4); }

namespace {
using namespace failing_allocator;

enum class Fault { memory, threads };

std::filesystem::path hand_over_directory;

void make_mode12_page() {
    runtime_init(false);
    set_screen_mode(12, 0, 0, 0, 0, 1);
}

TextString* tile = nullptr;

void run_main_loop_with_the_builder_held() {
    runtime_init(false);
    display_lock.request();  // no frame until the memory is gone
    start_main_loop_thread();
    while (display_lock.state() != DisplayLockState::granted) platform::Sleep(1);
}

void park() {
    for (;;) platform::Sleep(1000);
}

struct Case {
    const char* name;
    void (*prepare)();
    Fault fault;
    void (*act)();
    const char* title;
};

const Case cases[] = {
    {"a new mode-12 page on the program thread", [] { runtime_init(false); }, Fault::memory,
     [] { set_screen_mode(12, 0, 0, 0, 0, 1); }, "Critical Error #1"},
    {"the flood fill's buffers", make_mode12_page, Fault::memory, [] { flood_fill(100, 100, 4, 0, 0, 2); },
     "Critical Error #1"},
    {"the pattern fill's buffers",
     [] {
         make_mode12_page();
         tile = text_from_literal_len("\x12\x34\x56", 3);
     },
     Fault::memory, [] { pattern_fill(100, 100, tile, 0, nullptr, 2); }, "Critical Error #1"},
    {"the static-cell pool's next block", [] { runtime_init(false); }, Fault::memory,
     [] { alloc_static_cell(static_cast<int32_t>(2 * MiB)); }, "Critical Error #4"},
    {"the hand-over's file and lines",
     [] {
         runtime_init(false);
         std::filesystem::current_path(hand_over_directory);
         runtime_command_line = "(unique-tag:=/@*$+-)chain001.tmp";
     },
     Fault::memory, [] { receive_chain_data(); }, "Critical Error #1"},
    {"a frame slot on the main-loop thread", run_main_loop_with_the_builder_held, Fault::memory,
     [] {
         display_lock.release();
         park();
     },
     "Critical Error #1"},
    {"the program thread's start", [] { runtime_init(false); }, Fault::threads, [] { start_program_thread(); },
     "Critical Error #1"},
    {"the main-loop thread's start", [] { runtime_init(false); }, Fault::threads,
     [] { start_headless_main_loop_thread(); }, "Critical Error #1"},
    {"two threads at once",
     [] {
         run_main_loop_with_the_builder_held();
         // A box that stays up a while, as one on screen does: a second box
         // would show meanwhile. The memory the box was given is gone again.
         platform::set_message_box_hook([](const char* text, const char* title, unsigned) {
             for (const char* part : {title, "\n", text, "\n"})
                 if (write(STDERR_FILENO, part, std::strlen(part)) < 0) break;
             take_all_memory();
             platform::Sleep(300);
             return platform::IDOK;
         });
     },
     Fault::memory,
     [] {
         display_lock.release();
         set_screen_mode(12, 0, 0, 0, 0, 1);
         park();
     },
     "Critical Error #1"},
    {"memory again inside the box",
     [] {
         runtime_init(false);
         // A box that needs more memory than the box's own reserve.
         platform::set_message_box_hook([](const char*, const char*, unsigned) {
             std::vector<char> room(8 * MiB, 1);
             return static_cast<int>(room[MiB]);
         });
     },
     Fault::memory, [] { set_screen_mode(12, 0, 0, 0, 0, 1); }, "Critical Error #1"},
};

struct Outcome {
    int status = -1;
    std::string error_output;
};

struct Child {
    pid_t pid = -1;
    int error_output = -1;
};

// Runs body in a child process whose standard error the parent reads.
// Without a display the box writes its title and text there.
Child start_child(const std::function<void()>& body, bool with_display) {
    std::fflush(nullptr);
    int pipe_ends[2];
    if (pipe(pipe_ends) != 0) return {};
    const pid_t child = fork();
    if (child == 0) {
        close(pipe_ends[0]);
        dup2(pipe_ends[1], STDERR_FILENO);
        close(pipe_ends[1]);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        if (!with_display) unsetenv("DISPLAY");
        body();
        _exit(3);  // the failure went unnoticed
    }
    close(pipe_ends[1]);
    return {child, pipe_ends[0]};
}

Child start_child(const Case& c, bool with_display = false) {
    return start_child(
        [&c] {
#if !FAILING_ALLOCATOR
            mallopt(M_ARENA_MAX, 1);  // every thread allocates from the one heap that runs out
#endif
            c.prepare();
            if (!(c.fault == Fault::memory ? exhaust_memory() : refuse_threads())) _exit(5);
            c.act();
        },
        with_display);
}

Outcome finish_child(const Child& child) {
    Outcome outcome;
    char buffer[4096];
    for (ssize_t n; (n = read(child.error_output, buffer, sizeof buffer)) != 0;) {
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) break;
        outcome.error_output.append(buffer, static_cast<size_t>(n));
    }
    close(child.error_output);
    waitpid(child.pid, &outcome.status, 0);
    return outcome;
}

Outcome run_in_child(const Case& c) { return finish_child(start_child(c)); }

size_t count_of(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

class OutOfMemory : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/out_of_memory_XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        hand_over_directory = pattern;
        // The directory line is longer than any string kept without memory of its own.
        std::ofstream(hand_over_directory / "chain001.tmp")
            << "directory=" << hand_over_directory.string() << "/../" << hand_over_directory.filename().string()
            << "\nscreen_mode=0\n";
    }
    void TearDown() override { std::filesystem::remove_all(hand_over_directory); }
};

TEST_F(OutOfMemory, EveryAllocationFailureEndsThroughTheCriticalBoxWithExitCode0) {
    for (const Case& c : cases) {
        const Outcome outcome = run_in_child(c);
        EXPECT_TRUE(WIFEXITED(outcome.status)) << c.name << ": ended by signal "
                                               << (WIFSIGNALED(outcome.status) ? WTERMSIG(outcome.status) : 0)
                                               << "\n" << outcome.error_output;
        if (WIFEXITED(outcome.status)) {
            EXPECT_EQ(WEXITSTATUS(outcome.status), 0) << c.name << "\n" << outcome.error_output;
        }
        EXPECT_EQ(count_of(outcome.error_output, std::string(c.title) + "\nOut of memory\n"), 1u)
            << c.name << "\n" << outcome.error_output;
    }
}

// Memory gone before the first global constructor of the program runs: the
// runtime's globals need none, so the program reaches runtime_init, whose
// first allocation ends through the critical box.
TEST(OutOfMemoryBeforeMain, TheRuntimeStartsAndEndsThroughTheCriticalBox) {
    const Outcome outcome = finish_child(start_child([] { execl(BEFORE_MAIN_PATH, BEFORE_MAIN_PATH, nullptr); }, false));
    ASSERT_TRUE(WIFEXITED(outcome.status)) << "ended by signal "
                                           << (WIFSIGNALED(outcome.status) ? WTERMSIG(outcome.status) : 0) << "\n"
                                           << outcome.error_output;
    EXPECT_EQ(WEXITSTATUS(outcome.status), 0) << outcome.error_output;
    EXPECT_EQ(outcome.error_output.rfind("Critical Error #", 0), 0u) << outcome.error_output;
    EXPECT_EQ(count_of(outcome.error_output, "\nOut of memory\n"), 1u) << outcome.error_output;
}

// On screen the box needs memory of its own (a display connection, a font)
// when none is left; OK then ends the process.
TEST(OutOfMemoryOnScreen, TheBoxShowsWithNoMemoryLeftAndOkEndsWithExitCode0) {
    using namespace x11_session;
    ASSERT_TRUE(server.start()) << "no Xvfb session";
    const Child child = start_child(cases[0], true);
    const bool shown = wait_until([] { return focused_window("Critical Error #1") != 0; }, 20000);
    if (shown) press({XK_Return});
    const Outcome outcome = finish_child(child);
    server.stop();
    server = Server{};
    EXPECT_TRUE(shown) << outcome.error_output;
    EXPECT_TRUE(WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 0) << outcome.error_output;
    EXPECT_EQ(outcome.error_output.find("Out of memory"), std::string::npos) << outcome.error_output;
}

}  // namespace
