#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "platform/platform.h"
#include "xvfb.h"

// After every other header: Xlib's macros clash with the test library's names.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace {

using namespace std::chrono_literals;

// Keeps DISPLAY as it was around a test.
class DisplayVariable {
  public:
    DisplayVariable() {
        if (const char* d = std::getenv("DISPLAY")) saved_ = d, had_ = true;
    }
    ~DisplayVariable() {
        if (had_)
            setenv("DISPLAY", saved_.c_str(), 1);
        else
            unsetenv("DISPLAY");
    }

  private:
    std::string saved_;
    bool had_ = false;
};

TEST(Platform, WithoutADisplayTheBoxGoesToStandardError) {
    DisplayVariable keep;
    unsetenv("DISPLAY");
    platform::set_message_box_hook(nullptr);
    struct Case {
        unsigned flags;
        int answer;
    } cases[] = {{platform::MB_YESNO | platform::MB_SYSTEMMODAL, platform::IDNO},
                 {platform::MB_OK | platform::MB_SYSTEMMODAL, platform::IDOK},
                 {0, platform::IDOK}};
    for (const Case& c : cases) {
        testing::internal::CaptureStderr();
        EXPECT_EQ(platform::MessageBoxA(0, "Line: 1\nContinue?", "Unhandled Error #5", c.flags), c.answer);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unhandled Error #5\nLine: 1\nContinue?\n");
    }
}

// What the hook was given, and what it answers.
struct HookCall {
    std::string text, title;
    unsigned flags = 0;
    int calls = 0;
};
HookCall hook_call;
int hook_answer = 0;

int record_call(const char* text, const char* title, unsigned flags) {
    hook_call = {text, title, flags, hook_call.calls + 1};
    return hook_answer;
}

// With a hook in place the box is the hook's: it gets the texts and flags as
// given (no text reads as an empty one) and its answer is the box's; nothing
// reaches standard error. Without one the box is back.
TEST(Platform, HookAnswersInsteadOfTheBox) {
    DisplayVariable keep;
    unsetenv("DISPLAY");
    struct Case {
        const char *text, *title;
        unsigned flags;
        int answer;
        const char *seen_text, *seen_title;
    } cases[] = {{"Line: 3\nContinue?", "Unhandled Error #5", platform::MB_YESNO | platform::MB_SYSTEMMODAL,
                  platform::IDYES, "Line: 3\nContinue?", "Unhandled Error #5"},
                 {"Out of memory", "Critical Error #1", platform::MB_OK, 42, "Out of memory", "Critical Error #1"},
                 {nullptr, nullptr, platform::MB_YESNO, platform::IDNO, "", ""}};
    platform::set_message_box_hook(record_call);
    int calls = 0;
    for (const Case& c : cases) {
        hook_answer = c.answer;
        testing::internal::CaptureStderr();
        EXPECT_EQ(platform::MessageBoxA(0, c.text, c.title, c.flags), c.answer);
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
        EXPECT_EQ(hook_call.calls, ++calls);
        EXPECT_EQ(hook_call.text, c.seen_text);
        EXPECT_EQ(hook_call.title, c.seen_title);
        EXPECT_EQ(hook_call.flags, c.flags);
    }
    platform::set_message_box_hook(nullptr);
    hook_answer = platform::IDYES;
    testing::internal::CaptureStderr();
    EXPECT_EQ(platform::MessageBoxA(0, "Line: 1", "Unhandled Error #5", platform::MB_YESNO), platform::IDNO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unhandled Error #5\nLine: 1\n");
    EXPECT_EQ(hook_call.calls, calls);
}

TEST(Platform, ControlWordPrecisionRoundTrip) {
    const unsigned original = platform::_controlfp(0, 0);
    volatile long double one = 1.0L, tiny = 0x1p-60L;
    for (unsigned pc : {platform::PC_53, platform::PC_24, platform::PC_64}) {
        EXPECT_EQ(platform::_controlfp(pc, platform::MCW_PC), pc);
        EXPECT_EQ(platform::_controlfp(0, 0), pc);
        // 1 + 2^-60 survives only with a 64-bit mantissa.
        volatile long double sum = one + tiny;
        EXPECT_EQ(sum != one, pc == platform::PC_64) << pc;
    }
    platform::_controlfp(original, platform::MCW_PC);
}

TEST(Platform, SleepZeroYieldsAndClockCountsMilliseconds) {
    const long before = platform::clock();
    platform::Sleep(0);
    platform::Sleep(30);
    const long after = platform::clock();
    EXPECT_GE(after - before, 30);
    EXPECT_LT(after - before, 1000);
}

// The viewable top-level window with this name that has the keyboard focus.
Window find_focused_dialog(Display* d, const char* title) {
    Window focus;
    int revert;
    XGetInputFocus(d, &focus, &revert);
    if (focus == None || focus == PointerRoot) return 0;
    char* name = nullptr;
    Window found = 0;
    if (XFetchName(d, focus, &name) && name) {
        if (std::string(name) == title) found = focus;
        XFree(name);
    }
    return found;
}

// A private X server as the display, real boxes (no hook) and a client
// connection of the test's own to it.
class RealBoxes : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start()) << "no Xvfb session";
        setenv("DISPLAY", server.display.c_str(), 1);
        platform::set_message_box_hook(nullptr);
        d = XOpenDisplay(nullptr);
        ASSERT_NE(d, nullptr);
    }
    void TearDown() override {
        if (d) XCloseDisplay(d);
        server.stop();
    }

    DisplayVariable keep;
    Xvfb server;
    Display* d = nullptr;
};

TEST_F(RealBoxes, XlibDialogAnswersKeysAndCloseButton) {
    int event_base, error_base, major, minor;
    ASSERT_TRUE(XTestQueryExtension(d, &event_base, &error_base, &major, &minor));
    // The owner the dialog is transient for.
    Window owner = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 100, 100, 0, 0, 0);
    XSync(d, False);

    // In place of a key: the close button, as the window manager sends it.
    constexpr KeySym close_button = NoSymbol;
    const Atom protocols = XInternAtom(d, "WM_PROTOCOLS", False);
    const Atom delete_window = XInternAtom(d, "WM_DELETE_WINDOW", False);
    constexpr unsigned yes_no = 0x1004, ok_only = 0;
    struct Case {
        std::vector<KeySym> steps;
        unsigned flags;
        int answer;
    } cases[] = {{{XK_n}, yes_no, platform::IDNO},
                 {{XK_y}, yes_no, platform::IDYES},
                 {{XK_Return}, yes_no, platform::IDYES},
                 // No Cancel on a Yes/No box: these leave it waiting for the answer.
                 {{XK_Escape, XK_y}, yes_no, platform::IDYES},
                 {{XK_Escape, XK_n}, yes_no, platform::IDNO},
                 {{close_button, XK_n}, yes_no, platform::IDNO},
                 {{close_button, XK_Escape, XK_Return}, yes_no, platform::IDYES},
                 {{XK_Return}, 0x1000, platform::IDOK},
                 {{XK_Return}, ok_only, platform::IDOK},
                 {{XK_Escape}, ok_only, platform::IDOK},
                 {{close_button}, ok_only, platform::IDOK}};
    int number = 0;
    for (const Case& c : cases) {
        const std::string title = "Unhandled Error #" + std::to_string(++number);
        std::atomic<int> result{0};
        std::thread dialog([&] {
            result = platform::MessageBoxA(owner, "Line: 3 (in main module)\nIllegal function call\nContinue?",
                                           title.c_str(), c.flags);
        });
        // A failed assertion leaves the dialog up; the server's end takes it down.
        struct Detach {
            std::thread& t;
            ~Detach() {
                if (t.joinable()) t.detach();
            }
        } detach{dialog};
        Window w = 0;
        for (auto until = std::chrono::steady_clock::now() + 10s; !w && std::chrono::steady_clock::now() < until;) {
            std::this_thread::sleep_for(5ms);
            w = find_focused_dialog(d, title.c_str());
        }
        ASSERT_NE(w, 0u) << "no dialog took the focus";
        Window transient_for = 0;
        EXPECT_TRUE(XGetTransientForHint(d, w, &transient_for));
        EXPECT_EQ(transient_for, owner);

        EXPECT_EQ(result.load(), 0);  // it waits for an answer
        // One connection sends all steps, so the dialog gets them in order.
        for (KeySym step : c.steps) {
            if (step == close_button) {
                XEvent event{};
                event.xclient.type = ClientMessage;
                event.xclient.window = w;
                event.xclient.message_type = protocols;
                event.xclient.format = 32;
                event.xclient.data.l[0] = static_cast<long>(delete_window);
                event.xclient.data.l[1] = CurrentTime;
                XSendEvent(d, w, False, NoEventMask, &event);
            } else {
                KeyCode code = XKeysymToKeycode(d, step);
                XTestFakeKeyEvent(d, code, True, CurrentTime);
                XTestFakeKeyEvent(d, code, False, CurrentTime);
            }
        }
        XFlush(d);
        for (auto until = std::chrono::steady_clock::now() + 10s;
             !result.load() && std::chrono::steady_clock::now() < until;)
            std::this_thread::sleep_for(5ms);
        ASSERT_EQ(result.load(), c.answer) << title;
        dialog.join();
    }
    XDestroyWindow(d, owner);
}

// Whether the window is above the other one among the root's children.
bool stacked_above(Display* d, Window upper, Window lower) {
    Window root, parent, *children = nullptr;
    unsigned count = 0;
    int upper_at = -1, lower_at = -1;
    if (XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count))
        for (unsigned i = 0; i < count; ++i) {
            if (children[i] == upper) upper_at = static_cast<int>(i);
            if (children[i] == lower) lower_at = static_cast<int>(i);
        }
    if (children) XFree(children);
    return upper_at >= 0 && lower_at >= 0 && upper_at > lower_at;
}

// The owner raised over its box, as a window made full screen may be, and
// given the focus: the box comes back on top and takes the keyboard back.
// The box is answered No.
void expect_box_comes_back_above(Display* d, Window owner, const std::string& title) {
    std::atomic<int> result{0};
    std::thread dialog([&] { result = platform::MessageBoxA(owner, "Line: 3\nContinue?", title.c_str(), 0x1004); });
    Window box = 0;
    for (auto until = std::chrono::steady_clock::now() + 10s; !box && std::chrono::steady_clock::now() < until;) {
        std::this_thread::sleep_for(5ms);
        box = find_focused_dialog(d, title.c_str());
    }
    EXPECT_NE(box, 0u) << title << ": no box took the focus";
    XRaiseWindow(d, owner);
    XSetInputFocus(d, owner, RevertToParent, CurrentTime);
    XSync(d, False);
    bool back = false;
    for (auto until = std::chrono::steady_clock::now() + 5s; box && !back && std::chrono::steady_clock::now() < until;) {
        std::this_thread::sleep_for(5ms);
        back = stacked_above(d, box, owner) && find_focused_dialog(d, title.c_str()) == box;
    }
    EXPECT_TRUE(back) << title << ": left under its owner or without the keyboard";
    // Answered in any case, so that the thread ends.
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_n), True, CurrentTime);
    XTestFakeKeyEvent(d, XKeysymToKeycode(d, XK_n), False, CurrentTime);
    XFlush(d);
    dialog.join();
    EXPECT_EQ(result.load(), platform::IDNO) << title;
}

// Two boxes up at once (a critical box over a Yes/No box): the newer one
// keeps the keyboard, the older one does not take it back meanwhile; once
// the newer one is answered, the older one has it again.
TEST_F(RealBoxes, TwoBoxesAtOnceDoNotPassTheFocusToAndFro) {
    std::atomic<int> older{0}, newer{0};
    std::thread first([&] { older = platform::MessageBoxA(0, "Line: 3\nContinue?", "Unhandled Error #5", 0x1004); });
    std::thread second;
    struct Detach {
        std::thread &a, &b;
        ~Detach() {
            if (a.joinable()) a.detach();
            if (b.joinable()) b.detach();
        }
    } detach{first, second};
    const auto focused_within = [&](const char* title) {
        for (auto until = std::chrono::steady_clock::now() + 10s; std::chrono::steady_clock::now() < until;) {
            if (find_focused_dialog(d, title)) return true;
            std::this_thread::sleep_for(5ms);
        }
        return false;
    };
    ASSERT_TRUE(focused_within("Unhandled Error #5"));
    second = std::thread([&] { newer = platform::MessageBoxA(0, "Out of memory", "Critical Error #1", 0x1000); });
    ASSERT_TRUE(focused_within("Critical Error #1"));
    int elsewhere = 0;
    for (int sample = 0; sample < 50; ++sample) {
        std::this_thread::sleep_for(10ms);
        elsewhere += find_focused_dialog(d, "Critical Error #1") == 0;
    }
    EXPECT_EQ(elsewhere, 0) << "of 50 samples, the focus was not on the newer box";

    const auto answer = [&](KeySym key) {
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, key), True, CurrentTime);
        XTestFakeKeyEvent(d, XKeysymToKeycode(d, key), False, CurrentTime);
        XFlush(d);
    };
    answer(XK_Return);
    second.join();
    EXPECT_EQ(newer.load(), platform::IDOK);
    ASSERT_TRUE(focused_within("Unhandled Error #5"));
    answer(XK_n);
    first.join();
    EXPECT_EQ(older.load(), platform::IDNO);

    // Neither defers to the other once both are gone.
    Window owner = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1024, 768, 0, 0, 0);
    XMapWindow(d, owner);
    XSync(d, False);
    expect_box_comes_back_above(d, owner, "Unhandled Error #6");
}

TEST_F(RealBoxes, BoxComesBackAboveItsOwnerWithTheKeyboard) {
    Window owner = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1024, 768, 0, 0, 0);
    XMapWindow(d, owner);
    XSync(d, False);
    for (const char* title : {"Unhandled Error #1", "Unhandled Error #2"}) expect_box_comes_back_above(d, owner, title);
}
}  // namespace
