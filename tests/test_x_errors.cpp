// X errors and a lost display, under a private Xvfb. An error about the
// window, even while it is being created, is a close; one about a box's own
// window ends the box as its destruction does; any other error is one line
// on standard error and the program goes on. A lost display ends the process
// at once with exit code 1 and one line naming the display.
#include <fstream>
#include <iterator>
#include <set>

#include "x11_session.h"

void benchmark_main(int32_t) {}  // the driver links the runtime only for its font and colours

namespace {
using namespace x11_session;

std::vector<std::string> lines_of(const std::string& text) {
    std::vector<std::string> lines;
    for (size_t at = 0, end; (end = text.find('\n', at)) != std::string::npos; at = end + 1)
        lines.push_back(text.substr(at, end - at));
    return lines;
}

std::set<unsigned long> colours_on_screen() {
    std::set<unsigned long> colours;
    XImage* image = XGetImage(server.x, DefaultRootWindow(server.x), 0, 0, DisplayWidth(server.x, 0),
                              DisplayHeight(server.x, 0), AllPlanes, ZPixmap);
    if (!image) return colours;
    for (int y = 0; y < image->height; y += 2)
        for (int x = 0; x < image->width; x += 2) colours.insert(XGetPixel(image, x, y) & 0xFFFFFF);
    XDestroyImage(image);
    return colours;
}

class XErrors : public OnScreen {
protected:
    void SetUp() override {
        // A test before this one may have ended the server.
        if (!server.x) {
            server = Server{};
            ASSERT_TRUE(server.start()) << "no Xvfb";
        }
        OnScreen::SetUp();
        char path[] = "/tmp/x_errors_XXXXXX";
        const int file = mkstemp(path);
        ASSERT_GE(file, 0);
        close(file);
        error_path = path;
    }
    void TearDown() override {
        if (!error_path.empty()) unlink(error_path.c_str());
    }

    // The child's standard error goes to a file of its own.
    void start(const std::string& program, const std::vector<std::string>& arguments) {
        const int saved = dup(STDERR_FILENO), file = open(error_path.c_str(), O_WRONLY | O_TRUNC);
        dup2(file, STDERR_FILENO);
        probe.start(program, arguments);
        dup2(saved, STDERR_FILENO);
        close(file);
        close(saved);
    }
    // As start_probe does it.
    void start_probe(const std::string& program, const std::vector<std::string>& arguments) {
        start(program, arguments);
        await_probe_window();
    }
    std::string error_output() const {
        std::ifstream file(error_path);
        return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    }
    // As another program ends it; this process's own connection goes first.
    void end_the_server() {
        XCloseDisplay(server.x);
        server.x = nullptr;
        server.xvfb.stop();
    }

    std::string error_path;
};

// The window destroyed by another program while glutCreateWindow runs.
TEST_F(XErrors, WindowDestroyedWhileBeingCreatedEndsWithExitCode0) {
    start(BENCHMARK_DESTROYED_PATH, {});
    expect_ends_with_code_0();
    EXPECT_EQ(error_output(), "");
}

TEST_F(XErrors, AnyOtherErrorIsOneLineAndTheProgramGoesOn) {
    ASSERT_NO_FATAL_FAILURE(start_probe(PROBE_WITH_ERROR_PATH, {"keys"}));
    press({XK_a});
    std::string l;
    EXPECT_TRUE(probe.line("key", &l, 2000) && l == "key 61") << "got '" << l << "'";
    const std::vector<std::string> lines = lines_of(error_output());
    ASSERT_EQ(lines.size(), 1u) << error_output();
    EXPECT_NE(lines[0].find("BadPixmap"), std::string::npos) << lines[0];
    send_delete_window(window);
    expect_ends_with_code_0(10000);
}

struct BoxCase {
    const char* name;
    const char* program;
    const char* scenario;
    const char* title;  // null: the test build destroys the box before it watches for that
};

void PrintTo(const BoxCase& c, std::ostream* os) { *os << c.name; }

class BoxDestroyed : public XErrors, public ::testing::WithParamInterface<BoxCase> {};

// Another program destroys the box. With an Expose for it queued, the box
// then draws on a window that is gone; destroyed before it selects its
// events, no DestroyNotify ever comes, only errors. A Yes/No box answers No,
// which ends the program; an OK box's answer ends it anyway.
TEST_P(BoxDestroyed, EndsAsAnsweredWithExitCode0) {
    const BoxCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_probe(c.program, {c.scenario}));
    if (c.title) {
        Window box = 0;
        ASSERT_TRUE(wait_until([&] { return (box = top_level_window(c.title)) != 0; }, 10000));
        XClearArea(server.x, box, 0, 0, 0, 0, True);
        destroy_window(box);
    }
    expect_ends_with_code_0(20000);
    EXPECT_EQ(error_output(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Boxes, BoxDestroyed,
    ::testing::Values(BoxCase{"yes_no_with_expose_queued", PROBE_PATH, "dialog", "Unhandled Error #5"},
                      BoxCase{"ok_with_expose_queued", PROBE_PATH, "out_of_memory", "Critical Error #1"},
                      BoxCase{"yes_no_before_it_watches", PROBE_BOX_DESTROYED_PATH, "dialog", nullptr}),
    [](const auto& info) { return std::string(info.param.name); });

// The server ends while the benchmark runs its workloads, or while a box is
// up: every connection of the process is lost at once, whichever thread
// notices first.
class DisplayLost : public XErrors, public ::testing::WithParamInterface<const char*> {};

TEST_P(DisplayLost, EndsAtOnceWithExitCode1AndOneLine) {
    const std::string when = GetParam();
    if (when == "timed_run") {
        start(BENCHMARK_PATH, {});
        ASSERT_TRUE(wait_until([&] { return (window = top_level_window()) != 0; }, 5000));
        focus();
        // The banner is grey on black; a key ends it (one may come before its key wait).
        const std::set<unsigned long> banner{0x000000, 0xAAAAAA};
        ASSERT_TRUE(wait_until([&] { return colours_on_screen() == banner; }, 10000));
        ASSERT_TRUE(wait_until(
            [&] {
                press({XK_space});
                return colours_on_screen().count(0xAAAAAA) == 0;
            },
            10000));
    } else {
        ASSERT_NO_FATAL_FAILURE(start_probe(PROBE_PATH, {"dialog"}));
        ASSERT_TRUE(wait_until([&] { return top_level_window("Unhandled Error #5") != 0; }, 10000));
    }
    const std::string display = server.xvfb.display;
    end_the_server();
    const int status = probe.wait_exit(20000);
    ASSERT_NE(status, -1) << "still running";
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status << "\n" << error_output();
    EXPECT_EQ(WEXITSTATUS(status), 1);
    const std::vector<std::string> lines = lines_of(error_output());
    ASSERT_EQ(lines.size(), 1u) << error_output();
    EXPECT_TRUE(lines[0].size() > display.size() &&
                lines[0].compare(lines[0].size() - display.size(), display.size(), display) == 0)
        << lines[0] << "\nnot naming " << display;
}

INSTANTIATE_TEST_SUITE_P(Connections, DisplayLost, ::testing::Values("timed_run", "box"),
                         [](const auto& info) { return std::string(info.param); });
}  // namespace
