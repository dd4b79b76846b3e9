// The runtime's window under a private Xvfb: what it shows, its title, the
// keys it takes and the ways the process ends. Each test runs the display
// probe (or the benchmark) as a child process.
#include "display_test_pages.h"
#include "glyph_cells.h"
#include "x11_session.h"

void benchmark_main(int32_t) {}  // the driver links the runtime only for its font and colours

namespace {
using namespace x11_session;

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
    ASSERT_TRUE(wait_until([&] { return geometry(window).width > 0; }, 3000));
    focus();
    press({XK_a});
    ASSERT_TRUE(probe.line("late"));
    EXPECT_TRUE(wait_until([&] { return window_name(window) == "Late title"; }, 2000)) << window_name(window);
}

TEST_F(OnScreen, KeysReachPollKey) {
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
    start_probe({c.scenario});
    if (how == "delete") send_delete_window(window);
    if (how == "alt_f4") press({XK_Alt_L, XK_F4});
    if (how == "ctrl_break") press({XK_Control_L, XK_Pause});
    if (how == "ctrl_scroll") press({XK_Control_L, XK_Scroll_Lock});
    expect_ends_with_code_0(10000);
}

INSTANTIATE_TEST_SUITE_P(
    Requests, Close,
    ::testing::Values(CloseCase{"busy", "delete"}, CloseCase{"busy", "alt_f4"}, CloseCase{"busy", "ctrl_break"},
                      CloseCase{"busy", "ctrl_scroll"}, CloseCase{"keywait", "delete"},
                      CloseCase{"keywait", "alt_f4"}, CloseCase{"keywait", "ctrl_break"},
                      CloseCase{"keywait", "ctrl_scroll"}, CloseCase{"blocked", "delete"},
                      CloseCase{"dialog", "delete"}),
    [](const auto& info) { return std::string(info.param.scenario) + "_" + info.param.how; });

// Another program destroys the window: freeglut reports nothing, yet it is
// a close. In "titles" the window thread makes requests that name the window
// at every pass, so one may fail before the destruction is seen; which comes
// first varies, hence a few rounds.
class Destroyed : public OnScreen, public ::testing::WithParamInterface<const char*> {};

TEST_P(Destroyed, EndsWithExitCode0) {
    const std::string scenario = GetParam();
    for (int round = 0; round < (scenario == "titles" ? 5 : 1); ++round) {
        if (probe.out >= 0) close(probe.out);
        probe = Child{};
        start_probe({scenario});
        destroy_window(window);
        expect_ends_with_code_0();
    }
}

INSTANTIATE_TEST_SUITE_P(Window, Destroyed, ::testing::Values("busy", "keywait", "dialog", "titles"),
                         [](const auto& info) { return std::string(info.param); });

// The closing prompt: keys queued before it are thrown away, the next one ends it.
TEST_F(OnScreen, ClosingPromptTakesTheNextKey) {
    start_probe({"prompt"});
    press({XK_a});
    press({XK_b});
    ASSERT_TRUE(probe.line("queued"));
    const char* prompt = "Press any key to continue";
    auto expected = [&](int x, int y) { return glyphs::text_pixel<uint32_t>(prompt, 0, 464, x, y, 0xFFFFFF, 0, 0); };
    std::string fault;
    long faults = -1;
    wait_until([&] { return (faults = compare_screen(window, 640, 480, WINDOWED, expected, &fault)) == 0; }, 3000);
    EXPECT_EQ(faults, 0) << fault;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(probe.running()) << "the queued keys ended the prompt";
    press({XK_c});
    expect_ends_with_code_0(2000);
}

// A close while the closing prompt waits for its key: the prompt's wait
// acknowledges the stop (the probe waits for that without a time limit).
TEST_F(OnScreen, ClosingPromptEndsOnAClose) {
    start_probe({"prompt"});
    press({XK_a});
    press({XK_b});
    ASSERT_TRUE(probe.line("queued"));
    send_delete_window(window);
    expect_ends_with_code_0(10000);
}
// Started with "-display" naming the session's server while the environment
// names another server, or none: the runtime's own connections (the keys
// that freeglut does not deliver, the watch for the window's destruction,
// the boxes) go to the window's display all the same.
class DisplayFromTheCommandLine : public OnScreen, public ::testing::WithParamInterface<const char*> {
protected:
    static void TearDownTestSuite() {
        other.stop();
        OnScreen::TearDownTestSuite();
    }
    void SetUp() override {
        OnScreen::SetUp();
        if (std::string(GetParam()) == "other_server" && other.pid < 0) {
            ASSERT_TRUE(other.start()) << "no second Xvfb";
        }
    }
    // The probe with the session's display on its command line, after the scenario.
    void start_elsewhere(const std::string& scenario) {
        const std::string session = server.xvfb.display;
        if (std::string(GetParam()) == "other_server")
            setenv("DISPLAY", other.display.c_str(), 1);
        else
            unsetenv("DISPLAY");
        probe.start(PROBE_PATH, {scenario, "-display", session});
        setenv("DISPLAY", session.c_str(), 1);
    }
    // A key that freeglut delivers: the probe runs and reads the window.
    void expect_key_a() {
        press({XK_a});
        std::string l;
        ASSERT_TRUE(probe.line("key", &l, 2000) && l == "key 61") << "got '" << l << "'";
    }
    // The box takes the keyboard as it opens.
    void expect_the_box_answers(const char* title, KeySym key) {
        ASSERT_TRUE(wait_until([&] { return focused_window(title) != 0; }, 10000))
            << "no box with the focus on " << server.xvfb.display;
        press({key});
    }
    static inline Xvfb other;
};

TEST_P(DisplayFromTheCommandLine, PauseAndCtrlBreakAct) {
    start_elsewhere("keys");
    ASSERT_NO_FATAL_FAILURE(await_probe_window());
    ASSERT_NO_FATAL_FAILURE(expect_key_a());
    press({XK_Pause});
    press({XK_b});  // ends the pause, not queued
    std::string l;
    EXPECT_FALSE(probe.line("key", &l, 300)) << l;
    press({XK_c});
    EXPECT_TRUE(probe.line("key", &l, 2000) && l == "key 63") << "got '" << l << "'";
    press({XK_Control_L, XK_Pause});
    expect_ends_with_code_0(10000);
}

TEST_P(DisplayFromTheCommandLine, WindowDestroyedByAnotherClientEndsWithExitCode0) {
    start_elsewhere("keys");
    ASSERT_NO_FATAL_FAILURE(await_probe_window());
    ASSERT_NO_FATAL_FAILURE(expect_key_a());
    destroy_window(window);
    expect_ends_with_code_0(10000);
}

TEST_P(DisplayFromTheCommandLine, ErrorBoxOpensThereAndAnswersItsKeys) {
    start_elsewhere("dialog");
    ASSERT_NO_FATAL_FAILURE(await_probe_window());
    ASSERT_NO_FATAL_FAILURE(expect_the_box_answers("Unhandled Error #5", XK_n));  // No ends the program
    expect_ends_with_code_0(10000);
}

TEST_P(DisplayFromTheCommandLine, BoxBeforeTheWindowOpensThere) {
    start_elsewhere("early_dialog");
    ASSERT_NO_FATAL_FAILURE(expect_the_box_answers("Unhandled Error #5", XK_y));  // Yes goes on
    ASSERT_NO_FATAL_FAILURE(await_probe_window());
    press({XK_Control_L, XK_Pause});
    expect_ends_with_code_0(10000);
}

INSTANTIATE_TEST_SUITE_P(Environment, DisplayFromTheCommandLine, ::testing::Values("other_server", "none"),
                         [](const auto& info) { return std::string(info.param); });

// A box and the full-screen window, in either order, with or without a
// window manager: the box stands above the window and holds the keyboard
// while it is up, its text on screen.
struct BoxCase {
    const char* name;
    const char* scenario;
    const char* title;
    KeySym answer;  // one that ends the program
    bool window_manager;
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.name; }

// The window with the name (a viewable one unless said otherwise), a
// top-level one or one that a window manager's frame holds; 0 when none.
Window named_window(const std::string& name, bool viewable = true) {
    std::function<Window(Window, int)> search = [&](Window parent, int depth) -> Window {
        Window root, up, *children = nullptr, found = 0;
        unsigned count = 0;
        if (!XQueryTree(server.x, parent, &root, &up, &children, &count)) return 0;
        for (unsigned i = 0; i < count && !found; ++i) {
            XWindowAttributes a{};
            if (!XGetWindowAttributes(server.x, children[i], &a) || (viewable && a.map_state != IsViewable)) continue;
            if (window_name(children[i]) == name)
                found = children[i];
            else if (depth > 0)
                found = search(children[i], depth - 1);
        }
        if (children) XFree(children);
        return found;
    };
    return search(DefaultRootWindow(server.x), 2);
}

// The box as it draws itself: black text on white, nearly all of it white.
bool box_on_screen(Window box) {
    const Geometry g = geometry(box);
    if (g.width <= 0 || g.height <= 0 || g.x < 0 || g.y < 0) return false;
    XImage* image = XGetImage(server.x, DefaultRootWindow(server.x), g.x, g.y, static_cast<unsigned>(g.width),
                              static_cast<unsigned>(g.height), AllPlanes, ZPixmap);
    if (!image) return false;
    long white = 0, black = 0;
    for (int y = 0; y < g.height; ++y)
        for (int x = 0; x < g.width; ++x) {
            const unsigned long pixel = XGetPixel(image, x, y) & 0xFFFFFF;
            white += pixel == 0xFFFFFF;
            black += pixel == 0;
        }
    XDestroyImage(image);
    const long all = static_cast<long>(g.width) * g.height;
    return white * 10 >= all * 8 && black * 100 >= all;
}

class BoxAboveTheWindow : public OnScreen, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(BoxAboveTheWindow, HoldsTheKeyboardWithItsTextOnScreen) {
    const BoxCase& c = GetParam();
    WindowManager manager;
    if (c.window_manager) {
        ASSERT_TRUE(manager.start()) << "no window manager";
    }
    probe.start(PROBE_PATH, {c.scenario, "0"});  // stretched full screen
    Window main = 0, box = 0;
    ASSERT_TRUE(wait_until([&] { return (main = named_window("Untitled")) != 0 && geometry(main).width == 1024; },
                           10000))
        << "no full-screen window";
    // A click on the window, as a user trying to get past a frozen screen does.
    if (std::string(c.scenario) != "early_dialog") {
        window = main;
        focus();
    }
    ASSERT_TRUE(wait_until([&] { return (box = named_window(c.title)) != 0; }, 10000)) << "no box";
    const auto on_top_with_the_keyboard = [&] { return focused_window(c.title) == box && box_on_screen(box); };
    EXPECT_TRUE(wait_until(on_top_with_the_keyboard, 2000)) << "hidden or without the keyboard";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(on_top_with_the_keyboard()) << "covered or the keyboard taken again";
    press({c.answer});
    expect_ends_with_code_0(10000);
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, BoxAboveTheWindow,
    ::testing::Values(BoxCase{"before_the_window", "early_dialog", "Unhandled Error #5", XK_n, false},
                      BoxCase{"before_the_window_managed", "early_dialog", "Unhandled Error #5", XK_n, true},
                      BoxCase{"after_the_window", "dialog", "Unhandled Error #5", XK_n, false},
                      BoxCase{"after_the_window_managed", "dialog", "Unhandled Error #5", XK_n, true},
                      BoxCase{"critical", "out_of_memory", "Critical Error #1", XK_Return, false},
                      BoxCase{"critical_managed", "out_of_memory", "Critical Error #1", XK_Return, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Started iconic under a window manager (freeglut's -iconic), then restored,
// iconified and restored again: each time it is shown, the window shows the
// page, which has not changed since it was first drawn.
TEST_F(OnScreen, WindowStartedIconicShowsThePageWhenRestored) {
    WindowManager manager;
    ASSERT_TRUE(manager.start()) << "no window manager";
    probe.start(PROBE_PATH, {"text", "0", "-iconic"});  // stretched full screen
    Window iconic = 0;
    ASSERT_TRUE(wait_until([&] { return (iconic = named_window("Untitled", false)) != 0; }, 10000)) << "no window";
    for (int round = 0; round < 3; ++round) {
        // Mapping an iconic window asks the window manager to restore it.
        XMapWindow(server.x, iconic);
        XSync(server.x, False);
        if (round == 0) {
            ASSERT_NO_FATAL_FAILURE(await_probe_window());
        }
        ASSERT_TRUE(wait_until([&] { return geometry(window).width == 1024 && named_window("Untitled") == window; },
                               5000))
            << "round " << round << ": not restored to full screen";
        std::string fault;
        long faults = -1;
        wait_until(
            [&] { return (faults = compare_screen(window, 640, 400, STRETCHED, expected_text_pixel, &fault)) == 0; },
            3000);
        EXPECT_EQ(faults, 0) << "round " << round << ": " << fault;
        XIconifyWindow(server.x, window, DefaultScreen(server.x));
        XSync(server.x, False);
        ASSERT_TRUE(wait_until([&] { return named_window("Untitled") == 0; }, 5000))
            << "round " << round << ": not iconified";
        // Whatever the screen kept of the window goes: only a new draw shows the page.
        XSetWindowAttributes white{};
        white.override_redirect = True;
        white.background_pixel = WhitePixel(server.x, DefaultScreen(server.x));
        const Window cover = XCreateWindow(server.x, DefaultRootWindow(server.x), 0, 0, 1024, 768, 0, CopyFromParent,
                                           InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &white);
        XMapWindow(server.x, cover);
        XSync(server.x, False);
        const auto white_pixel = [](int, int) { return 0xFFFFFFu; };
        ASSERT_TRUE(wait_until([&] { return compare_screen(cover, 1, 1, WINDOWED, white_pixel, nullptr) == 0; }, 2000));
        XDestroyWindow(server.x, cover);
        XSync(server.x, False);
    }
    send_delete_window(window);
    expect_ends_with_code_0(10000);
}
}  // namespace
