// Running out of memory, on any thread and in any allocation, ends the
// process through the critical "Out of memory" box with exit code 0. Each
// case runs in a child process whose memory runs out.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <malloc.h>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>
#include <vector>

#include "errors.h"
#include "pages.h"
#include "platform/platform.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "x11_session.h"

// A sanitizer's allocator keeps its memory in space it reserved at start,
// out of reach of an address-space limit, and its operator new never calls
// the new handler. Under one this program brings its own operator new,
// which fails the way the standard one fails (new handler first), and
// malloc, free and pthread_create are wrapped at link time (in every build):
// once memory has run out, only what has been freed since can be had again.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define FAILING_ALLOCATOR 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define FAILING_ALLOCATOR 1
#endif
#endif
#ifndef FAILING_ALLOCATOR
#define FAILING_ALLOCATOR 0
#endif

namespace {
std::atomic<bool> memory_refused{false};
std::atomic<size_t> room_given_back{0};  // bytes freed since memory ran out
std::atomic<bool> threads_refused{false};

bool memory_for(size_t size) {
    if (!memory_refused.load()) return true;
    size_t room = room_given_back.load();
    do {
        if (room < size) return false;
    } while (!room_given_back.compare_exchange_weak(room, room - size));
    return true;
}
}  // namespace

#if FAILING_ALLOCATOR
// These are the replacements: their free() matches their malloc().
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"

void* operator new(std::size_t size) {
    for (;;) {
        if (void* p = std::malloc(size ? size : 1)) return p;
        std::new_handler handler = std::get_new_handler();
        if (!handler) throw std::bad_alloc();
        handler();
    }
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (...) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept { return operator new(size, tag); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { std::free(p); }
#endif

extern "C" {
void* __real_malloc(size_t size);
void* __real_calloc(size_t count, size_t size);
void* __real_realloc(void* p, size_t size);
void __real_free(void* p);
int __real_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* argument);

void* __wrap_malloc(size_t size) { return memory_for(size) ? __real_malloc(size) : nullptr; }
void* __wrap_calloc(size_t count, size_t size) { return memory_for(count * size) ? __real_calloc(count, size) : nullptr; }
void* __wrap_realloc(void* p, size_t size) { return memory_for(size) ? __real_realloc(p, size) : nullptr; }
void __wrap_free(void* p) {
    if (p && memory_refused.load()) room_given_back += malloc_usable_size(p);
    __real_free(p);
}
int __wrap_pthread_create(pthread_t* thread, const pthread_attr_t* attr, void* (*start)(void*), void* argument) {
    return threads_refused.load() ? EAGAIN : __real_pthread_create(thread, attr, start, argument);
}
}

// The program thread's routine: it must never get to run here.
extern "C" void benchmark_main(int32_t) { std::_Exit(4); }

namespace {

constexpr size_t MiB = 1048576;

#if !FAILING_ALLOCATOR
// Address space of the process now, read without allocating.
size_t address_space_in_use() {
    char text[64] = {};
    const int fd = open("/proc/self/statm", O_RDONLY);
    if (fd < 0) return 0;
    const ssize_t n = read(fd, text, sizeof text - 1);
    close(fd);
    return n > 0 ? std::strtoul(text, nullptr, 10) * static_cast<size_t>(sysconf(_SC_PAGESIZE)) : 0;
}

// Little more address space than the process holds now: small blocks still
// come from the heap's spare room, a thread's stack does not.
void limit_address_space() {
    const size_t in_use = address_space_in_use();
    ASSERT_GT(in_use, 0u);
    const rlimit limit{in_use + MiB, in_use + MiB};
    ASSERT_EQ(setrlimit(RLIMIT_AS, &limit), 0);
}
#endif

// Kept, so that the compiler cannot drop the allocations as unused.
void* volatile last_block = nullptr;

// Takes every block the heap still has (again). Small blocks step through
// every size class, so that none keeps a spare block.
void take_all_memory() {
    for (size_t size = MiB; size >= 8; size = size > 1024 ? size / 2 : size - 8)
        for (void* block; (block = std::malloc(size)) != nullptr;) last_block = block;
}

// From here on an allocation succeeds only from memory freed since.
void exhaust_memory() {
#if FAILING_ALLOCATOR
    room_given_back = 0;
    memory_refused = true;
#else
    limit_address_space();
    take_all_memory();
#endif
}

// From here on no thread can be started.
void refuse_threads() {
#if FAILING_ALLOCATOR
    threads_refused = true;
#else
    limit_address_space();
#endif
}

enum class Fault { memory, threads };

std::filesystem::path hand_over_directory;

void make_mode12_page() {
    runtime_init(false);
    set_screen_mode(12, 0, 0, 0, 0, 1);
}

TextString* tile = nullptr;

void run_main_loop_with_the_builder_held() {
    runtime_init(false);
    display_lock = 1;  // no frame until the memory is gone
    start_main_loop_thread();
    while (display_lock.load() != 2) platform::Sleep(1);
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
         display_lock = 0;
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
         display_lock = 0;
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

// Without a display the box writes its title and text to standard error.
Child start_child(const Case& c, bool with_display = false) {
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
#if !FAILING_ALLOCATOR
        mallopt(M_ARENA_MAX, 1);  // every thread allocates from the one heap that runs out
#endif
        c.prepare();
        if (c.fault == Fault::memory)
            exhaust_memory();
        else
            refuse_threads();
        c.act();
        _exit(3);  // the failure went unnoticed
    }
    close(pipe_ends[1]);
    return {child, pipe_ends[0]};
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

// A viewable top-level window with this title that has the keyboard focus.
bool focused_box(const char* title) {
    using namespace x11_session;
    Window focus;
    int revert;
    XGetInputFocus(server.x, &focus, &revert);
    if (focus == None || focus == PointerRoot) return false;
    XWindowAttributes a{};
    return window_name(focus) == title && XGetWindowAttributes(server.x, focus, &a) && a.map_state == IsViewable;
}

// On screen the box needs memory of its own (a display connection, a font)
// when none is left; OK then ends the process.
TEST(OutOfMemoryOnScreen, TheBoxShowsWithNoMemoryLeftAndOkEndsWithExitCode0) {
    using namespace x11_session;
    ASSERT_TRUE(server.start()) << "no Xvfb session";
    const Child child = start_child(cases[0], true);
    const bool shown = wait_until([] { return focused_box("Critical Error #1"); }, 20000);
    if (shown) press({XK_Return});
    const Outcome outcome = finish_child(child);
    server.stop();
    server = Server{};
    EXPECT_TRUE(shown) << outcome.error_output;
    EXPECT_TRUE(WIFEXITED(outcome.status) && WEXITSTATUS(outcome.status) == 0) << outcome.error_output;
    EXPECT_EQ(outcome.error_output.find("Out of memory"), std::string::npos) << outcome.error_output;
}

}  // namespace
