// A private Xvfb for the window tests, with the means to drive it: child
// processes read line by line, screenshots compared with a frame, raw keys
// through XTEST and the window manager's close message.
#pragma once

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

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "keyboard.h"
#include "pages.h"
#include "screen_runtime.h"
#include "xvfb.h"

namespace x11_session {
using Clock = std::chrono::steady_clock;

// Every wait for a child stretches under ThreadSanitizer, which slows the
// child several times over, more so on a loaded machine.
#if defined(__SANITIZE_THREAD__)
inline constexpr int wait_scale = 5;
#else
inline constexpr int wait_scale = 1;
#endif
inline std::chrono::milliseconds scaled(int timeout_ms) { return std::chrono::milliseconds(timeout_ms * wait_scale); }

// The session's server, with the test's own connection to it.
struct Server {
    Xvfb xvfb;
    Display* x = nullptr;

    bool start() {
        if (!xvfb.start()) return false;
        setenv("DISPLAY", xvfb.display.c_str(), 1);
        x = XOpenDisplay(xvfb.display.c_str());
        return x != nullptr;
    }
    void stop() {
        if (x) XCloseDisplay(x);
        xvfb.stop();
    }
};
inline Server server;

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
        auto end = Clock::now() + scaled(timeout_ms);
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
        auto end = Clock::now() + scaled(ms);
        while (Clock::now() < end) {
            int left = static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count());
            if (line("", &l, std::max(left / wait_scale, 1))) result.push_back(l);
        }
        return result;
    }
    // Exit status (waitpid form), or -1 when still running after timeout_ms.
    int wait_exit(int timeout_ms) {
        auto end = Clock::now() + scaled(timeout_ms);
        while (Clock::now() < end) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return status;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        return -1;
    }
    // Exit status (waitpid form), waiting as long as it takes.
    int wait_exit() {
        while (waitpid(pid, &status, 0) != pid)
            if (errno != EINTR) return -1;
        pid = -1;
        return status;
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

inline bool wait_until(const std::function<bool()>& condition, int timeout_ms) {
    auto end = Clock::now() + scaled(timeout_ms);
    do {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (Clock::now() < end);
    return condition();
}

struct Geometry {
    int x = 0, y = 0, width = 0, height = 0;
};
inline Geometry geometry(Window window) {
    XWindowAttributes a{};
    Geometry g;
    if (!XGetWindowAttributes(server.x, window, &a)) return g;
    Window child;
    XTranslateCoordinates(server.x, window, DefaultRootWindow(server.x), 0, 0, &g.x, &g.y, &child);
    g.width = a.width;
    g.height = a.height;
    return g;
}

inline std::string window_name(Window window) {
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
inline long compare_screen(Window window, int fw, int fh, Presentation how, const std::function<uint32_t(int, int)>& expected,
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

inline KeyCode code(KeySym keysym) { return XKeysymToKeycode(server.x, keysym); }

// Raw key codes through XTEST: modifiers held, then the key, released in turn.
inline void press(std::initializer_list<KeySym> keys) {
    for (KeySym k : keys) XTestFakeKeyEvent(server.x, code(k), True, CurrentTime);
    for (auto it = std::rbegin(keys); it != std::rend(keys); ++it) XTestFakeKeyEvent(server.x, code(*it), False, CurrentTime);
    XSync(server.x, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(40));
}

// As another program does it (xdotool windowclose): no message, the window is gone.
inline void destroy_window(Window window) {
    XDestroyWindow(server.x, window);
    XSync(server.x, False);
}

inline void send_delete_window(Window window) {
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

// The topmost viewable top-level window, of those with the name when one is given.
inline Window top_level_window(const std::string& name = {}) {
    Window root = DefaultRootWindow(server.x), parent, *children = nullptr;
    unsigned count = 0;
    Window found = 0;
    if (XQueryTree(server.x, root, &root, &parent, &children, &count)) {
        for (unsigned i = 0; i < count; ++i) {
            XWindowAttributes a{};
            if (XGetWindowAttributes(server.x, children[i], &a) && a.map_state == IsViewable &&
                (name.empty() || window_name(children[i]) == name))
                found = children[i];
        }
    }
    if (children) XFree(children);
    return found;
}

// The viewable window with the name that has the keyboard focus, 0 when none.
inline Window focused_window(const std::string& name) {
    Window focus = 0;
    int revert = 0;
    XGetInputFocus(server.x, &focus, &revert);
    if (focus == None || focus == PointerRoot) return 0;
    XWindowAttributes a{};
    if (!XGetWindowAttributes(server.x, focus, &a) || a.map_state != IsViewable) return 0;
    return window_name(focus) == name ? focus : 0;
}

// A window manager (openbox) on the session's server while it lives.
struct WindowManager {
    pid_t pid = -1;

    bool start() {
        pid = fork();
        if (pid == 0) {
            int devnull = open("/dev/null", O_RDWR);
            dup2(devnull, 1);
            dup2(devnull, 2);
            execlp("openbox", "openbox", "--sm-disable", static_cast<char*>(nullptr));
            _exit(127);
        }
        if (pid < 0) return false;
        // Up once it has said so on the root window.
        const Atom check = XInternAtom(server.x, "_NET_SUPPORTING_WM_CHECK", False);
        return wait_until(
            [&] {
                Atom type = 0;
                int format = 0;
                unsigned long count = 0, after = 0;
                unsigned char* data = nullptr;
                XGetWindowProperty(server.x, DefaultRootWindow(server.x), check, 0, 1, False, AnyPropertyType, &type,
                                   &format, &count, &after, &data);
                if (data) XFree(data);
                return count > 0;
            },
            10000);
    }
    ~WindowManager() {
        if (pid <= 0) return;
        kill(pid, SIGTERM);
        waitpid(pid, nullptr, 0);
        // What it said stays behind: the next window must not believe it.
        for (const char* property : {"_NET_SUPPORTING_WM_CHECK", "_NET_SUPPORTED"})
            XDeleteProperty(server.x, DefaultRootWindow(server.x), XInternAtom(server.x, property, False));
        XSync(server.x, False);
    }
};

class OnScreen : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!server.x) server.start();
    }
    static void TearDownTestSuite() {
        server.stop();
        server = Server{};
    }
    // The test command installs Xvfb: a server that does not start is a failure.
    void SetUp() override { ASSERT_NE(server.x, nullptr) << "no Xvfb session"; }

    // Starts the probe and waits for its window; focus and pointer go there.
    void start_probe(const std::vector<std::string>& arguments) {
        probe.start(PROBE_PATH, arguments);
        await_probe_window();
    }
    // The probe says its window and when it is ready.
    void await_probe_window() {
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
    // A process that never ends shows as the test's timeout.
    void expect_ends_with_code_0() {
        int status = probe.wait_exit();
        ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }

    Child probe;
    Window window = 0;
};

}  // namespace x11_session
