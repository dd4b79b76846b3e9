// One whole run of the benchmark routine, watched through the probe, with
// the logarithm stood in for. The figures are those the workloads must give
// with the generator's fixed start.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "keyboard.h"
#include "numbers.h"
#include "pages.h"
#include "platform/platform.h"
#include "routine_probe.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

struct Box {
    float x1, y1, x2, y2;
    uint32_t colour;
    bool operator==(const Box&) const = default;
};

struct Circle {
    double x, y, r;
    int32_t colour;
};

struct PatternIteration {
    std::array<int32_t, 7> codes{};
    float x = 0, y = 0;
    bool painted = false;
    std::array<uint8_t, 8> row{};
};

// What the run recorded, by workload.
struct Run {
    std::array<uint64_t, 5> steps_at_clear{};  // clears 1 to 4 and the one of line 89
    std::vector<Box> boxes;
    int boxes_with_x_640 = 0, boxes_with_y_480 = 0;
    std::vector<PatternIteration> patterns;
    std::vector<uint32_t> flood_colours;
    int floods_with_screen_not_in_colour = 0;
    std::vector<Circle> circles;
    std::vector<int32_t> result_stretch_checks;
    uint64_t polls_in_first_wait = 0, polls_in_final_wait = 0;
    uint64_t logarithms = 0, floods = 0;
    std::string result_text;
    std::vector<int32_t> pending_codes;
};

Run run;
std::atomic<bool> routine_ended{false};

uint8_t pixel(int x, int y) { return write_page->pixels[static_cast<size_t>(y) * write_page->width + x]; }

void watch() {
    std::vector<int32_t> codes;
    uint64_t hash_before = 0;
    bool every_check = false;
    bool result_wait_started = false;
    uint64_t polls_at_result = 0;

    probe::cheap_logarithm = true;
    probe::before_clear = [&] {
        uint64_t n = probe::counters.clears;
        if (n >= 1 && n <= 4) run.steps_at_clear[n - 1] = probe::counters.random_steps;
        if (n == 2) run.polls_in_first_wait = probe::counters.polls;
        if (n == 20005) {
            run.steps_at_clear[4] = probe::counters.random_steps;
            // From line 89 on every statement finds an event pending.
            every_check = true;
            event_pending = 1;
        }
    };
    probe::on_event_check = [&](int32_t line) {
        if (!every_check || line >= 157) return;
        run.result_stretch_checks.push_back(line);
        event_pending = 1;
    };
    probe::on_box = [&](float x1, float y1, float x2, float y2, uint32_t colour) {
        run.boxes.push_back({x1, y1, x2, y2, colour});
        if (x1 == 640 || x2 == 640) ++run.boxes_with_x_640;
        if (y1 == 480 || y2 == 480) ++run.boxes_with_y_480;
    };
    probe::on_character = [&](int32_t code) { codes.push_back(code); };
    probe::on_pattern_fill = [&](float x, float y, const TextString*, bool before) {
        if (before) {
            hash_before = probe::page_hash();
            return;
        }
        PatternIteration it;
        for (size_t i = 0; i < 7; ++i) it.codes[i] = codes[codes.size() - 7 + i];
        it.x = x;
        it.y = y;
        it.painted = probe::page_hash() != hash_before;
        for (int c = 0; c < 8; ++c) it.row[c] = pixel(c, 0);
        run.patterns.push_back(it);
    };
    probe::on_flood = [&](float x, float y, uint32_t colour, bool before) {
        if (before || probe::counters.circles != 0 || x != 100.0f || y != 100.0f) return;
        run.flood_colours.push_back(colour);
        if (pixel(0, 0) != colour || pixel(639, 479) != colour) ++run.floods_with_screen_not_in_colour;
    };
    probe::on_circle = [&](double x, double y, double r, int32_t colour) { run.circles.push_back({x, y, r, colour}); };
    probe::before_time_read = [&] {
        if (probe::counters.time_reads == 2) set_test_clock_now(123400);
    };
    probe::on_print = [&](TextString* text, int32_t) {
        if (probe::counters.time_reads == 2 && !result_wait_started)
            run.result_text.append(reinterpret_cast<const char*>(text->data), static_cast<size_t>(text->length));
    };
    probe::before_poll = [&] {
        if (probe::counters.time_reads == 2 && !result_wait_started) {
            result_wait_started = true;
            polls_at_result = probe::counters.polls;
        }
    };
    probe::on_end = [&] {
        run.polls_in_final_wait = probe::counters.polls - polls_at_result + 1;
        run.logarithms = probe::counters.logarithms;
        run.floods = probe::counters.floods;
        routine_ended = true;
        for (;;) platform::Sleep(1000);  // the test reads what the run left
    };
}

int count_reports(const char*, const char*, unsigned) { return platform::IDYES; }

class WholeRoutine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        runtime_init(false);
        set_test_clock(10LL * 3600 * 1000, 0);
        platform::set_message_box_hook(count_reports);
        watch();
        // Two keys before the start: the first ends the banner's wait, the
        // second stays queued through the timed run for the final wait.
        key_queue_push('a', 0x1E);
        key_queue_push('b', 0x30);
        start_program_thread();
        while (!routine_ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
};

TEST_F(WholeRoutine, EachWorkloadTakesItsShareOfTheGenerator) {
    EXPECT_EQ(run.steps_at_clear[0], 0u);
    EXPECT_EQ(run.steps_at_clear[1] - run.steps_at_clear[0], 10'449'263u);
    EXPECT_EQ(run.steps_at_clear[2] - run.steps_at_clear[1], 9'003'738u);
    EXPECT_EQ(run.steps_at_clear[3] - run.steps_at_clear[2], 629'080u);
    EXPECT_EQ(run.steps_at_clear[4] - run.steps_at_clear[3], 1'435'354u);
}

TEST_F(WholeRoutine, FilledBoxes) {
    ASSERT_EQ(run.boxes.size(), 100'000u);
    EXPECT_EQ(run.boxes[0], (Box{401, 278, 160, 162, 14}));
    EXPECT_EQ(run.boxes[1], (Box{297, 235, 480, 254, 0}));
    EXPECT_EQ(run.boxes[2], (Box{259, 259, 178, 346, 15}));
    EXPECT_EQ(run.boxes.back(), (Box{282, 449, 450, 134, 8}));
    EXPECT_EQ(run.boxes_with_x_640, 301);
    EXPECT_EQ(run.boxes_with_y_480, 400);
}

TEST_F(WholeRoutine, TilePatternFills) {
    ASSERT_EQ(run.patterns.size(), 100u);
    const PatternIteration& first = run.patterns.front();
    EXPECT_EQ(first.codes, (std::array<int32_t, 7>{183, 153, 187, 186, 70, 209, 109}));
    EXPECT_EQ(first.x, 529);
    EXPECT_EQ(first.y, 447);
    EXPECT_EQ(first.row, (std::array<uint8_t, 8>{7, 0, 5, 7, 6, 1, 5, 7}));
    const PatternIteration& last = run.patterns.back();
    EXPECT_EQ(last.codes, (std::array<int32_t, 7>{209, 39, 1, 199, 45, 127, 210}));
    EXPECT_EQ(last.x, 409);
    EXPECT_EQ(last.y, 152);
    EXPECT_EQ(last.row, (std::array<uint8_t, 8>{1, 1, 2, 1, 0, 2, 2, 7}));

    std::vector<int> unpainted;
    for (size_t i = 0; i < run.patterns.size(); ++i) {
        if (!run.patterns[i].painted) unpainted.push_back(static_cast<int>(i) + 1);
        EXPECT_LT(run.patterns[i].x, 640);
        EXPECT_LT(run.patterns[i].y, 480);
    }
    EXPECT_EQ(unpainted, (std::vector<int>{29, 45, 76, 96, 97}));
}

TEST_F(WholeRoutine, ColourFloods) {
    ASSERT_EQ(run.flood_colours.size(), 10'000u);
    EXPECT_EQ(std::vector<uint32_t>(run.flood_colours.begin(), run.flood_colours.begin() + 10),
              (std::vector<uint32_t>{3, 10, 6, 14, 5, 12, 1, 13, 1, 15}));
    EXPECT_EQ(run.flood_colours.back(), 10u);
    int repaints = 0, zeros = 0;
    uint32_t screen = 0;
    std::set<uint32_t> colours;
    for (uint32_t c : run.flood_colours) {
        repaints += c != screen;
        zeros += c == 0;
        screen = c;
        colours.insert(c);
    }
    EXPECT_EQ(repaints, 9'332);
    EXPECT_EQ(zeros, 582);
    EXPECT_EQ(colours.size(), 16u);
    EXPECT_EQ(run.floods_with_screen_not_in_colour, 0) << "every flood leaves the whole screen in its colour";
}

TEST_F(WholeRoutine, CirclesAndDiscs) {
    ASSERT_EQ(run.circles.size(), 20'000u);
    auto same = [](const Circle& c, int colour, double x, double y, double r) {
        return c.colour == colour && c.x == x && c.y == y && c.r == r;
    };
    EXPECT_TRUE(same(run.circles[0], 13, 103, 321, 89));
    EXPECT_TRUE(same(run.circles[1], 2, 271, 315, 53));
    EXPECT_TRUE(same(run.circles.back(), 9, 490, 418, 70));
    int colour_0 = 0, radius_0 = 0, x_640 = 0, y_480 = 0;
    for (const Circle& c : run.circles) {
        colour_0 += c.colour == 0;
        radius_0 += c.r == 0;
        x_640 += c.x == 640;
        y_480 += c.y == 480;
    }
    EXPECT_EQ(colour_0, 1255);
    EXPECT_EQ(radius_0, 192);
    EXPECT_EQ(x_640, 34);
    EXPECT_EQ(y_480, 48);
    EXPECT_EQ(run.floods, 30'000u) << "every flood call is made, also those that paint nothing";
}

TEST_F(WholeRoutine, EveryDelayPassCallsTheLogarithm) { EXPECT_EQ(run.logarithms, 3'750'000'000u); }

TEST_F(WholeRoutine, ResultStretchChecksItsLinesInOrder) {
    EXPECT_EQ(run.result_stretch_checks, (std::vector<int32_t>{89, 124, 125, 154, 155, 156, 156}));
}

TEST_F(WholeRoutine, ResultLineUnderTheTestClock) { EXPECT_EQ(run.result_text, "Result:  123.40625 "); }

TEST_F(WholeRoutine, KeyWaitsTakeTheQueuedKeysAtTheirFirstPoll) {
    EXPECT_EQ(run.polls_in_first_wait, 1u);
    EXPECT_EQ(run.polls_in_final_wait, 1u);
}

}  // namespace
