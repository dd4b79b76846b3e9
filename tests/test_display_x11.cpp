// The runtime's window under a private Xvfb: what it shows, its title, the
// keys it takes and the ways the process ends. Each test runs the display
// probe (or the benchmark) as a child process.
#include <gtest/gtest.h>
// After gtest: the X headers define None, Bool and Status as macros.
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "display_test_pages.h"
#include "keyboard.h"
#include "screen_runtime.h"

void benchmark_main(int32_t) {}  // the driver links the runtime only for its font and colours

namespace {
using Clock = std::chrono::steady_clock;

std::string find_xvfb() {
    for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
        std::string path = std::string(dir) + "/Xvfb";
        if (access(path.c_str(), X_OK) == 0) return path;
    }
    return {};
}

// One Xvfb per test process, chosen by the server itself (-displayfd).
struct Server {
    pid_t pid = -1;
    std::string display;
    Display* x = nullptr;

    bool start() {
        std::string xvfb = find_xvfb();
        if (xvfb.empty()) return false;
        int fds[2];
        if (pipe(fds) != 0) return false;
        pid = fork();
        if (pid == 0) {
            close(fds[0]);
            int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 1);
            dup2(devnull, 2);
            std::string fd = std::to_string(fds[1]);
            execl(xvfb.c_str(), "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        char c;
        pollfd p{fds[0], POLLIN, 0};
        while (poll(&p, 1, 10000) > 0 && read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        close(fds[0]);
        if (number.empty()) return false;
        display = ":" + number;
        setenv("DISPLAY", display.c_str(), 1);
        x = XOpenDisplay(display.c_str());
        return x != nullptr;
    }
    void stop() {
        if (x) XCloseDisplay(x);
        if (pid > 0) {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
    }
};
Server server;

// A child process with its standard output read line by line.
struct Child {
    pid_t pid = -1;
    int out = -1;
    std::string buffer;
    int status = -1;

    void start(const std::string& program, const std::vector<std::string>& arguments) {
        int fds[2];
        ASSERT_EQ(pipe(fds), 0);
        pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            std::vector<char*> argv{const_cast<char*>(program.c_str())};
            for (auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        close(fds[1]);
        out = fds[0];
    }
    // The next line that starts with prefix (others are skipped when skip).
    bool line(const std::string& prefix, std::string* got = nullptr, int timeout_ms = 5000, bool skip = true) {
        auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        for (;;) {
            size_t newline;
            while ((newline = buffer.find('\n')) != std::string::npos) {
                std::string l = buffer.substr(0, newline);
                buffer.erase(0, newline + 1);
                if (l.rfind(prefix, 0) == 0) {
                    if (got) *got = l;
                    return true;
                }
                if (!skip) {
                    if (got) *got = l;
                    return false;
                }
            }
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (left <= 0) return false;
            pollfd p{out, POLLIN, 0};
            if (poll(&p, 1, left) <= 0) return false;
            char chunk[256];
            ssize_t n = read(out, chunk, sizeof chunk);
            if (n <= 0) return false;
            buffer.append(chunk, static_cast<size_t>(n));
        }
    }
    // Lines that arrive within ms.
    std::vector<std::string> lines_within(int ms) {
        std::vector<std::string> result;
        std::string l;
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (line("", &l, left > 0 ? left : 1)) result.push_back(l);
        }
        return result;
    }
    // Exit status (waitpid form), or -1 when still running after timeout_ms.
    int wait_exit(int timeout_ms) {
        auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
        while (Clock::now() < end) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }
    bool running() { return pid > 0 && waitpid(pid, &status, WNOHANG) == 0; }
    ~Child() {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        if (out >= 0) close(out);
    }
};

bool wait_until(const std::function<bool()>& condition, int timeout_ms) {
    auto end = Clock::now() + std::chrono::milliseconds(timeout_ms);
    do {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < end);
    return condition();
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};
Geometry geometry(Window window) {
    XWindowAttributes a{};
    Geometry g;
    if (!XGetWindowAttributes(server.x, window, &a)) return g;
    Window child;
    XTranslateCoordinates(server.x, window, DefaultRootWindow(server.x), 0, 0, &g.x, &g.y, &child);
    g.width = a.width;
    g.height = a.height;
    return g;
}

std::string window_name(Window window) {
    char* name = nullptr;
    std::string result;
    if (XFetchName(server.x, window, &name) && name) result = name;
    if (name) XFree(name);
    return result;
}

// Full-screen modes as the probe's option gives them.
enum Presentation { WINDOWED, STRETCHED, SQUARE };

// Compares the screen with a frame of fw x fh pixels shown in the window as
// the presentation draws it; returns the number of wrong pixels.
long compare_screen(Window window, int fw, int fh, Presentation how, const std::function<uint32_t(int, int)>& expected,
                    std::string* first_fault) {
    Geometry g = geometry(window);
    int sw = DisplayWidth(server.x, 0), sh = DisplayHeight(server.x, 0);
    XImage* image = XGetImage(server.x, DefaultRootWindow(server.x), 0, 0, sw, sh, AllPlanes, ZPixmap);
    if (!image) return -1;
    double x0 = g.x, y0 = g.y, w = g.width, h = g.height;
    if (how == SQUARE) {
        double scale = std::min(w / fw, h / fh);
        x0 += (w - fw * scale) / 2;
        y0 += (h - fh * scale) / 2;
        w = fw * scale;
        h = fh * scale;
    }
    long faults = 0;
    for (int y = std::max(g.y, 0); y < std::min(g.y + g.height, sh); ++y)
        for (int x = std::max(g.x, 0); x < std::min(g.x + g.width, sw); ++x) {
            double u = (x + 0.5 - x0) * fw / w, v = (y + 0.5 - y0) * fh / h;
            uint32_t want = (u < 0 || v < 0 || u >= fw || v >= fh) ? 0 : expected(int(u), int(v));
            uint32_t got = XGetPixel(image, x, y) & 0xFFFFFF;
            if (got != want && faults++ == 0 && first_fault) {
                char text[128];
                std::snprintf(text, sizeof text, "screen (%d, %d) frame (%d, %d): %06x, want %06x", x, y, int(u),
                              int(v), got, want);
                *first_fault = text;
            }
        }
    XDestroyImage(image);
    return faults;
}

KeyCode code(KeySym keysym) { return XKeysymToKeycode(server.x, keysym); }

// Raw key codes through XTEST: modifiers held, then the key, released in turn.
void press(std::initializer_list<KeySym> keys) {
    for (KeySym k : keys) XTestFakeKeyEvent(server.x, code(k), True, CurrentTime);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) XTestFakeKeyEvent(server.x, code(*it), False, CurrentTime);
    XSync(server.x, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
}

void send_delete_window(Window window) {
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(server.x, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(server.x, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(server.x, window, False, NoEventMask, &event);
    XSync(server.x, False);
}

// The key tests need the keyboard area's handling (and the prompt, the
// pages area's text output); without them they have nothing to test.
bool keyboard_in_place() {
    keyboard_init();
    handle_character_key('a', 0);
    bool queued = key_queue.head.load() != key_queue.tail.load();
    keyboard_init();
    return queued;
}
bool font_in_place() { return builtin_font['A'][8] != 0; }
#define NEEDS_KEYBOARD() \
    if (!keyboard_in_place()) GTEST_SKIP() << "keyboard handling not in place"
#define NEEDS_TEXT_OUTPUT() \
    if (!font_in_place()) GTEST_SKIP() << "text output not in place"

Window top_level_window() {
    Window root = DefaultRootWindow(server.x), parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(server.x, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(server.x, children[i], &a) && a.map_state == IsViewable) found = children[i];
        }
    }
    if (children) XFree(children);
    return found;
}

class OnScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!server.x && !server.start()) server.display.clear();
    }
    static void TearDownTestSuite() {
        server.stop();
        server = Server{};
    }
    void SetUp() override {
        if (!server.x) GTEST_SKIP() << "Xvfb not available";
    }

    // Starts the probe and waits for its window; focus and pointer go there.
    void start_probe(const std::vector<std::string>& arguments) {
        probe.start(PROBE_PATH, arguments);
        std::string l;
        ASSERT_TRUE(probe.line("window ", &l)) << "no window";
        window = std::strtoul(l.c_str() + 7, nullptr, 10);
        ASSERT_TRUE(probe.line("ready"));
        ASSERT_TRUE(wait_until([&] { return geometry(window).width > 0; }, 3000));
        focus();
    }
    void focus() {
        XTestFakeMotionEvent(server.x, 0, 20, 20, CurrentTime);
        XSetInputFocus(server.x, window, RevertToPointerRoot, CurrentTime);
        XSync(server.x, False);
    }
    void expect_ends_with_code_0(int timeout_ms) {
        int status = probe.wait_exit(timeout_ms);
        ASSERT_NE(status, -1) << "still running";
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    Child probe;
    Window window = 0;
};

struct PageCase {
    const char* name;
    std::vector<std::string> arguments;
    bool text;
    Presentation how;
    int window_width, window_height;
};

void PrintTo(const PageCase& c, std::ostream* os) { *os << c.name; }

class ShownPage : public OnScreen, public ::testing::WithParamInterface<PageCase> {};

TEST_P(ShownPage, ScreenIsThePageThroughItsPalette) {
    const PageCase& c = GetParam();
    start_probe(c.arguments);
    int fw = 640, fh = c.text ? 400 : 480;
    auto expected = c.text ? expected_text_pixel : expected_mode12_pixel;
    ASSERT_TRUE(wait_until(
        [&] {
            Geometry g = geometry(window);
            return g.x == 0 && g.y == 0 && g.width == c.window_width && g.height == c.window_height;
        },
        3000))
        << geometry(window).width << " x " << geometry(window).height;
    std::string fault;
    long faults = -1;
    wait_until([&] { return (faults = compare_screen(window, fw, fh, c.how, expected, &fault)) == 0; }, 3000);
    EXPECT_EQ(faults, 0) << fault;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ShownPage,
    ::testing::Values(PageCase{"TextWindowed", {"text"}, true, WINDOWED, 640, 400},
                      PageCase{"TextStretched", {"text", "0"}, true, STRETCHED, 1024, 768},
                      PageCase{"TextSquare", {"text", "3"}, true, SQUARE, 1024, 768},
                      PageCase{"Mode12Windowed", {"mode12"}, false, WINDOWED, 640, 480},
                      PageCase{"Mode12Stretched", {"mode12", "2"}, false, STRETCHED, 1024, 768}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(OnScreen, TitleSetBeforeAndAfterTheWindowExists) {
    probe.start(PROBE_PATH, {"title"});
    std::string l;
    ASSERT_TRUE(probe.line("early ", &l));
    ASSERT_TRUE(probe.line("window ", &l));
    window = std::strtoul(l.c_str() + 7, nullptr, 10);
    EXPECT_EQ(window_name(window), "Early title");
    ASSERT_TRUE(probe.line("late"));
    EXPECT_TRUE(wait_until([&] { return window_name(window) == "Late title"; }, 2000)) << window_name(window);
}

TEST_F(OnScreen, KeysReachPollKey) {
    NEEDS_KEYBOARD();
    start_probe({"keys"});
    struct KeyCase {
        std::vector<KeySym> keys;
        const char* text;
    };
    const KeyCase cases[] = {{{XK_a}, "key 61"},          {{XK_Return}, "key 0d"},
                             {{XK_Escape}, "key 1b"},     {{XK_F1}, "key 00 3b"},
                             {{XK_Up}, "key 00 48"},      {{XK_Shift_L, XK_a}, "key 41"}};
    for (const auto& c : cases) {
        for (KeySym k : c.keys) XTestFakeKeyEvent(server.x, code(k), True, CurrentTime);
        for (auto it = c.keys.rbegin(); it != c.keys.rend(); ++it) XTestFakeKeyEvent(server.x, code(*it), False, CurrentTime);
        XSync(server.x, False);
        std::string l;
        EXPECT_TRUE(probe.line("key", &l, 2000) && l == c.text) << c.text << " got '" << l << "'";
    }
}

TEST_F(OnScreen, ModifiersAloneAndPauseQueueNothing) {
    NEEDS_KEYBOARD();
    start_probe({"keys"});
    press({XK_Shift_L});
    press({XK_Control_L});
    press({XK_Alt_L});
    press({XK_Caps_Lock});
    press({XK_Caps_Lock});
    press({XK_Pause});
    press({XK_b});  // ends the pause, not queued
    std::string l;
    EXPECT_FALSE(probe.line("key", &l, 300)) << l;
    press({XK_c});
    EXPECT_TRUE(probe.line("key", &l, 2000) && l == "key 63") << "got '" << l << "'";
}

TEST_F(OnScreen, AltEnterStepsTheFullScreenMode) {
    NEEDS_KEYBOARD();
    start_probe({"keys"});
    const char* steps[] = {"fullscreen 1 0", "fullscreen 1 1", "fullscreen 2 0", "fullscreen 2 1", "fullscreen 0 0"};
    for (const char* step : steps) {
        press({XK_Alt_L, XK_Return});
        std::string l;
        ASSERT_TRUE(probe.line("", &l, 2000)) << step;
        EXPECT_EQ(l, step);
        int width = std::string(step) == "fullscreen 0 0" ? 640 : 1024;
        EXPECT_TRUE(wait_until([&] { return geometry(window).width == width; }, 2000))
            << step << ": width " << geometry(window).width;
        focus();
    }
    EXPECT_TRUE(wait_until([&] { return geometry(window).height == 400; }, 2000));
}

struct CloseCase {
    const char* scenario;
    const char* how;
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.scenario << " " << c.how; }

class Close : public OnScreen, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(Close, EndsWithExitCode0) {
    const CloseCase& c = GetParam();
    std::string how = c.how;
    if (how != "delete") NEEDS_KEYBOARD();
    start_probe({c.scenario});
    auto start = Clock::now();
    if (how == "delete") send_delete_window(window);
    if (how == "alt_f4") press({XK_Alt_L, XK_F4});
    if (how == "ctrl_break") press({XK_Control_L, XK_Pause});
    if (how == "ctrl_scroll") press({XK_Control_L, XK_Scroll_Lock});
    expect_ends_with_code_0(3000);
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
    bool blocked = std::string(c.scenario) == "blocked" || std::string(c.scenario) == "dialog";
    if (!blocked) {
        EXPECT_LT(ms, 800);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, Close,
    ::testing::Values(CloseCase{"busy", "delete"}, CloseCase{"busy", "alt_f4"}, CloseCase{"busy", "ctrl_break"},
                      CloseCase{"busy", "ctrl_scroll"}, CloseCase{"keywait", "delete"},
                      CloseCase{"keywait", "alt_f4"}, CloseCase{"keywait", "ctrl_break"},
                      CloseCase{"keywait", "ctrl_scroll"}, CloseCase{"blocked", "delete"},
                      CloseCase{"dialog", "delete"}),
    [](const auto& info) { return std::string(info.param.scenario) + "_" + info.param.how; });

TEST_F(OnScreen, BenchmarkClosedAtItsBannerEndsWithExitCode0) {
    probe.start(BENCHMARK_PATH, {});
    ASSERT_TRUE(wait_until([&] { return (window = top_level_window()) != 0; }, 3000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    send_delete_window(window);
    expect_ends_with_code_0(3000);
}

// The closing prompt: keys queued before it are thrown away, the next one ends it.
TEST_F(OnScreen, ClosingPromptTakesTheNextKey) {
    NEEDS_KEYBOARD();
    NEEDS_TEXT_OUTPUT();
    start_probe({"prompt"});
    press({XK_a});
    press({XK_b});
    ASSERT_TRUE(probe.line("queued"));
    const char* prompt = "Press any key to continue";
    auto expected = [&](int x, int y) -> uint32_t {
        if (y < 464 || x >= 200) return 0;
        uint8_t character = static_cast<uint8_t>(prompt[x / 8]);
        return (builtin_font[character][y - 464] & (0x80 >> (x % 8))) ? 0xFFFFFF : 0;
    };
    std::string fault;
    long faults = -1;
    wait_until([&] { return (faults = compare_screen(window, 640, 480, WINDOWED, expected, &fault)) == 0; }, 3000);
    EXPECT_EQ(faults, 0) << fault;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(probe.running()) << "the queued keys ended the prompt";
    press({XK_c});
    expect_ends_with_code_0(2000);
}
}  // namespace
