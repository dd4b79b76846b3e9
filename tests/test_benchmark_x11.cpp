// The benchmark as a user runs it, in a window under a private Xvfb: the
// banner, a key, the workloads, the result, a key, the closing prompt, a key,
// exit code 0; and a close while it runs.
#include "glyph_cells.h"
#include "x11_session.h"

#include <map>
#include <set>

void benchmark_main(int32_t) {}  // the driver links the runtime only for its font and colours

namespace {
using namespace x11_session;

// The frame the window shows, read back from the screen through the stretch
// (nearest sampling: the centre of each frame pixel).
struct Frame {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

Frame read_frame(Window window, int fw, int fh) {
    Frame frame{fw, fh, {}};
    Geometry g = geometry(window);
    XImage* image = XGetImage(server.x, DefaultRootWindow(server.x), 0, 0, DisplayWidth(server.x, 0),
                              DisplayHeight(server.x, 0), AllPlanes, ZPixmap);
    if (!image || g.width <= 0) return frame;
    frame.pixels.resize(static_cast<size_t>(fw) * fh);
    for (int v = 0; v < fh; ++v)
        for (int u = 0; u < fw; ++u) {
            int x = g.x + static_cast<int>((u + 0.5) * g.width / fw);
            int y = g.y + static_cast<int>((v + 0.5) * g.height / fh);
            frame.pixels[static_cast<size_t>(v) * fw + u] = XGetPixel(image, x, y) & 0xFFFFFF;
        }
    XDestroyImage(image);
    return frame;
}

// The text of one row of cells (from 0), in the given colours.
std::string row_text(const Frame& frame, int row, uint32_t ink, uint32_t paper) {
    return glyphs::read_row([&](int x, int y) { return frame.at(x, y); }, frame.width / 8, row * 16, ink, paper);
}

bool rows_blank_except(const Frame& frame, std::set<int> rows) {
    for (int y = 0; y < frame.height; ++y) {
        if (rows.count(y / 16)) continue;
        for (int x = 0; x < frame.width; ++x)
            if (frame.at(x, y) != 0) return false;
    }
    return true;
}

constexpr uint32_t grey = 0xAAAAAA, white = 0xFFFFFF;

class Benchmark : public OnScreen {
protected:
    void start_benchmark(const char* path = BENCHMARK_PATH) {
        probe.start(path, {});
        ASSERT_TRUE(wait_until([&] { return (window = top_level_window()) != 0; }, 5000));
        ASSERT_TRUE(wait_until([&] { return window_name(window) == "Texture benchmark by Ormi-tulp"; }, 5000));
        focus();
    }
    bool banner_shown() {
        Frame f = read_frame(window, 640, 400);
        return !f.pixels.empty() && rows_blank_except(f, {9, 10, 11}) &&
               row_text(f, 9, grey, 0) == std::string(22, ' ') + "Texture benchmark by Ormi-tulp" &&
               row_text(f, 10, grey, 0) == std::string(22, ' ') + "Copyright (c) 2026 Ormi-tulp." &&
               row_text(f, 11, grey, 0) == std::string(32, ' ') + "[Windows]";
    }
    // The result line alone on the screen, unchanged for 200 ms so that no
    // frame of a print still under way is taken for it; `result` holds the
    // row as last read.
    bool result_shown(std::string& result) {
        Clock::time_point read_since{};
        return wait_until(
            [&] {
                Frame f = read_frame(window, 640, 480);
                if (f.pixels.empty() || !rows_blank_except(f, {9})) return false;
                std::string row = row_text(f, 9, white, 0);
                if (row != result) read_since = Clock::now();
                result = row;
                return result.rfind(std::string(29, ' ') + "Result: ", 0) == 0 && result.size() > 38 &&
                       Clock::now() - read_since >= std::chrono::milliseconds(200);
            },
            400000);
    }
    // The boxes of workload 1 bring colours a text screen in grey never shows.
    bool workloads_shown() {
        std::set<uint32_t> colours;
        return wait_until(
            [&] {
                Frame f = read_frame(window, 640, 480);
                colours.insert(f.pixels.begin(), f.pixels.end());
                return colours.size() >= 6;
            },
            10000);
    }
};

TEST_F(Benchmark, RunsFromBannerToExit) {
    start_benchmark();
    EXPECT_TRUE(wait_until([&] { return geometry(window).width == DisplayWidth(server.x, 0); }, 5000))
        << "the stretched full screen";
    ASSERT_TRUE(wait_until([&] { return banner_shown(); }, 5000)) << "the banner";

    press({XK_space});
    ASSERT_TRUE(workloads_shown()) << "the workloads";

    std::string result;
    ASSERT_TRUE(result_shown(result)) << "the result line, last read '" << result << "'";
    EXPECT_EQ(result[37], ' ') << "a positive number's blank";
    std::string number = result.substr(38);
    EXPECT_EQ(number.find_first_not_of("0123456789."), std::string::npos) << "'" << number << "'";

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(probe.running()) << "the result waits for a key";
    press({XK_space});
    ASSERT_TRUE(wait_until(
        [&] {
            Frame f = read_frame(window, 640, 480);
            return !f.pixels.empty() && rows_blank_except(f, {9, 29}) && row_text(f, 9, white, 0) == result &&
                   row_text(f, 29, white, 0) == "Press any key to continue";
        },
        5000))
        << "the closing prompt on the last row, the result still above it";

    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(probe.running()) << "the prompt waits for a key";
    press({XK_space});
    expect_ends_with_code_0(3000);
}

// The readings of a build whose test clock runs from 23:59:50.000 to
// 00:00:50.500: 86390 and 50.4945068359375 (919 ticks, as a single).
TEST_F(Benchmark, ShowsTheTrueLengthOfARunAcrossMidnight) {
    start_benchmark(ACROSS_MIDNIGHT_BENCHMARK_PATH);
    ASSERT_TRUE(wait_until([&] { return banner_shown(); }, 5000)) << "the banner";
    press({XK_space});
    std::string result;
    ASSERT_TRUE(result_shown(result)) << "the result line, last read '" << result << "'";
    EXPECT_EQ(result, std::string(29, ' ') + "Result:  60.4945068359375");
    press({XK_space});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    press({XK_space});
    expect_ends_with_code_0(3000);
}

// A close at the banner's key wait or during the timed run: the program
// thread acknowledges the stop and the process ends with exit code 0. The
// benchmark here waits for the acknowledgement without a time limit, so one
// that never comes shows as a process still running.
struct CloseCase {
    const char* name;
    bool timed_run;
    bool destroy;  // another program destroys the window (as xdotool windowclose does)
};

void PrintTo(const CloseCase& c, std::ostream* os) { *os << c.name; }

class BenchmarkClosed : public Benchmark, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(BenchmarkClosed, ProgramThreadAcknowledgesAndExitCodeIs0) {
    const CloseCase& c = GetParam();
    ASSERT_NO_FATAL_FAILURE(start_benchmark(AWAITING_BENCHMARK_PATH));
    ASSERT_TRUE(wait_until([&] { return banner_shown(); }, 5000)) << "the banner";
    if (c.timed_run) {
        press({XK_space});
        ASSERT_TRUE(workloads_shown()) << "the workloads";
    }
    if (c.destroy)
        destroy_window(window);
    else
        send_delete_window(window);
    expect_ends_with_code_0(10000);
}

INSTANTIATE_TEST_SUITE_P(Requests, BenchmarkClosed,
                         ::testing::Values(CloseCase{"AtItsBanner", false, false},
                                           CloseCase{"DestroyedAtItsBanner", false, true},
                                           CloseCase{"DuringItsTimedRun", true, false},
                                           CloseCase{"DestroyedDuringItsTimedRun", true, true}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
