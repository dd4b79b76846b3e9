// One whole run of the benchmark routine with an event pending at every
// check, so that every event check it reaches is made: the lines it passes
// to check_statement_events, in stretches of the run and counted over all
// of it, against what the statement forms call for. Both key waits poll
// three times.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "benchmark_call_recorder.h"
#include "keyboard.h"
#include "numbers.h"
#include "platform/platform.h"
#include "benchmark_draws.h"
#include "benchmark_watch.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

using draws::Attempt;
using draws::Generator;
using watch::Counters;

std::atomic<bool> routine_ended{false};

// The stretches recorded, in the order of the run.
enum Stretch { banner_and_first_box, last_box_to_first_tile, last_tile_to_second_flood, last_flood_to_second_disc,
               result_and_end };

int answer_yes(const char*, const char*, unsigned) { return platform::IDYES; }

class EveryCheck : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        runtime_init(false);
        set_test_clock(10LL * 3600 * 1000, 0);
        platform::set_message_box_hook(answer_yes);
        watch::cheap_logarithm = true;
        watch::keep_event_pending = true;
        watch::recorder.calls = false;
        watch::recorder.windows = {
            {{}, {&Counters::boxes, 2}, true},
            {{&Counters::boxes, 100'000}, {&Counters::pattern_fills, 1}},
            {{&Counters::pattern_fills, 100}, {&Counters::floods, 2}},
            {{&Counters::floods, 10'000}, {&Counters::floods, 10'002}},
            {{&Counters::floods, 30'000}, {}},
        };
        // Each wait finds its key at its third poll.
        watch::before_poll = [] {
            if (watch::counters.polls == 3) key_queue_push('a', 0x1E);
            if (watch::counters.polls == 6) key_queue_push('b', 0x30);
        };
        watch::on_end = [] {
            routine_ended = true;
            for (;;) platform::Sleep(1000);  // the test reads what the run left
        };
        watch::arm_recorder();
        event_pending = 1;
        start_program_thread();
        while (!routine_ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
};

// The lines a stretch should check, built statement by statement.
struct Lines {
    std::vector<int32_t> lines;

    void add(std::initializer_list<int32_t> some) { lines.insert(lines.end(), some); }
    // A rejection loop: each pass checks its head and every draw, then only
    // the test that sends it back; the tests that pass check nothing.
    void rejection_loop(int32_t head, std::vector<int32_t> draw_lines, std::vector<int32_t> test_lines,
                        const std::vector<Attempt>& passes) {
        for (const Attempt& pass : passes) {
            lines.push_back(head);
            lines.insert(lines.end(), draw_lines.begin(), draw_lines.end());
            if (pass.rejected_by >= 0) lines.push_back(test_lines[static_cast<size_t>(pass.rejected_by)]);
        }
    }
    // The delay loop: head and body on every pass, nothing at its end.
    void delay(int32_t head) {
        for (int pass = 0; pass < 125'000; ++pass) add({head, head + 1});
    }
};

// Where two sequences of lines part, with the lines around it.
std::string first_difference(const std::vector<int32_t>& got, const std::vector<int32_t>& expected) {
    size_t i = 0;
    while (i < got.size() && i < expected.size() && got[i] == expected[i]) ++i;
    if (i == got.size() && i == expected.size()) return "";
    auto around = [i](const std::vector<int32_t>& v) {
        std::string s;
        for (size_t k = i >= 5 ? i - 5 : 0; k < v.size() && k < i + 6; ++k) {
            if (k == i) s += '[';
            s += std::to_string(v[k]);
            s += k == i ? "] " : " ";
        }
        return s;
    };
    return "checks " + std::to_string(got.size()) + ", expected " + std::to_string(expected.size()) +
           "; first difference at " + std::to_string(i) + ": got " + around(got) + " expected " + around(expected);
}

void expect_stretch(Stretch stretch, const Lines& expected) {
    ASSERT_GT(watch::recorder.checks_in.size(), static_cast<size_t>(stretch));
    EXPECT_EQ(first_difference(watch::recorder.checks_in[stretch], expected.lines), "");
}

TEST_F(EveryCheck, BannerFirstKeyWaitAndTheFirstBoxes) {
    Lines e;
    // Lines 4 and 5 only check; 6, 7 and 8 check after the cursor and after the print.
    e.add({1, 2, 3, 4, 5, 6, 6, 7, 7, 8, 8});
    // Two empty polls go back through 11; the third finds the key and leaves without a check.
    e.add({9, 10, 11, 9, 10, 11, 9, 10});
    e.add({12, 13});
    Generator g;
    for (int iteration = 1; iteration <= 2; ++iteration) {
        e.add({14});
        e.rejection_loop(15, {16}, {17}, draws::until_accepted(g, draws::colour_scales, draws::colour_bounds));
        e.rejection_loop(18, {19, 20, 21, 22}, {23, 24, 25, 26},
                         draws::until_accepted(g, draws::corner_scales, draws::corner_bounds));
        if (iteration == 1) e.add({27});  // the second box closes the stretch
    }
    expect_stretch(banner_and_first_box, e);
}

TEST_F(EveryCheck, LastBoxIntoTheFirstTileFill) {
    Lines e;
    e.add({27, 29, 30});  // no check at the loop end 28 nor at the head that ends the loop
    Generator g(draws::workload_2_start);
    e.rejection_loop(31, {32, 33, 34, 35, 36, 37, 38}, {39, 40, 41, 42, 43, 44, 45},
                     draws::until_accepted(g, draws::byte_scales, draws::byte_bounds));
    e.add({46, 47, 48, 49, 50, 51, 52, 53});
    e.rejection_loop(54, {55, 56}, {57, 58}, draws::until_accepted(g, draws::point_scales, draws::point_bounds));
    expect_stretch(last_box_to_first_tile, e);
}

TEST_F(EveryCheck, LastTileFillIntoTheSecondFlood) {
    Lines e;
    e.add({59, 61, 62});  // none at 60
    Generator g(draws::workload_3_start);
    e.rejection_loop(63, {64}, {65}, draws::until_accepted(g, draws::colour_scales, draws::colour_bounds));
    e.add({66});
    e.delay(67);
    e.add({62});  // none at 69 and 70
    e.rejection_loop(63, {64}, {65}, draws::until_accepted(g, draws::colour_scales, draws::colour_bounds));
    expect_stretch(last_tile_to_second_flood, e);
}

TEST_F(EveryCheck, LastFloodIntoTheSecondDisc) {
    Lines e;
    e.add({66});
    e.delay(67);
    e.add({71});
    Generator g(draws::workload_4_start);
    for (int iteration = 1; iteration <= 2; ++iteration) {
        e.add({72});
        e.delay(73);
        e.add({76});  // none at 75
        e.rejection_loop(77, {78}, {79}, draws::until_accepted(g, draws::colour_scales, draws::colour_bounds));
        e.rejection_loop(80, {81, 82, 83}, {84, 85},
                         draws::until_accepted(g, draws::centre_scales, draws::centre_bounds));
        e.add({86});
        if (iteration == 1) e.add({87});  // the second disc's flood closes the stretch
    }
    expect_stretch(last_flood_to_second_disc, e);
}

TEST_F(EveryCheck, ResultStretchAndTheFinalKeyWait) {
    Lines e;
    e.add({87, 89, 124, 125, 154, 155, 156, 156});  // none at 88, nor at the head that ends the loop
    e.add({157, 158, 159, 157, 158, 159, 157, 158});
    expect_stretch(result_and_end, e);
}

// Every line's count over the whole run, with the draws of each loop worked
// out from the generator.
TEST_F(EveryCheck, EveryLineIsCheckedAsOftenAsItRuns) {
    std::array<uint64_t, 161> expected{};
    for (int32_t line : {1, 2, 3, 4, 5, 12, 13, 29, 61, 71, 89, 124, 125, 154, 155}) expected[line] = 1;
    for (int32_t line : {6, 7, 8, 156}) expected[line] = 2;
    expected[9] = expected[10] = 3;
    expected[11] = 2;
    expected[157] = expected[158] = 3;
    expected[159] = 2;

    Generator g;
    auto loop = [&](int32_t head, std::vector<int32_t> draw_lines, std::vector<int32_t> test_lines,
                    const std::vector<float>& scales, const std::vector<float>& bounds) {
        uint64_t rejected = 0;
        for (const Attempt& pass : draws::until_accepted(g, scales, bounds)) {
            ++expected[head];
            for (int32_t line : draw_lines) ++expected[line];
            if (pass.rejected_by >= 0) {
                ++expected[test_lines[static_cast<size_t>(pass.rejected_by)]];
                ++rejected;
            }
        }
        return rejected;
    };
    uint64_t rejected_colours = 0, rejected_corners = 0;
    for (int i = 0; i < 100'000; ++i) {
        ++expected[14];
        rejected_colours += loop(15, {16}, {17}, draws::colour_scales, draws::colour_bounds);
        rejected_corners += loop(18, {19, 20, 21, 22}, {23, 24, 25, 26}, draws::corner_scales, draws::corner_bounds);
        ++expected[27];
    }
    EXPECT_EQ(g.steps(), draws::workload_2_start);
    EXPECT_EQ(rejected_colours, 6'141'855u);
    EXPECT_EQ(rejected_corners, 951'852u);
    for (int i = 0; i < 100; ++i) {
        ++expected[30];
        loop(31, {32, 33, 34, 35, 36, 37, 38}, {39, 40, 41, 42, 43, 44, 45}, draws::byte_scales, draws::byte_bounds);
        for (int32_t line = 46; line <= 53; ++line) ++expected[line];
        loop(54, {55, 56}, {57, 58}, draws::point_scales, draws::point_bounds);
        ++expected[59];
    }
    EXPECT_EQ(g.steps(), draws::workload_3_start);
    EXPECT_EQ(expected[31], 1'286'156u);
    EXPECT_EQ(expected[54], 323u);
    for (int i = 0; i < 10'000; ++i) {
        ++expected[62];
        loop(63, {64}, {65}, draws::colour_scales, draws::colour_bounds);
        ++expected[66];
        expected[67] += 125'000;
        expected[68] += 125'000;
    }
    EXPECT_EQ(g.steps(), draws::workload_4_start);
    for (int i = 0; i < 20'000; ++i) {
        ++expected[72];
        expected[73] += 125'000;
        expected[74] += 125'000;
        ++expected[76];
        loop(77, {78}, {79}, draws::colour_scales, draws::colour_bounds);
        loop(80, {81, 82, 83}, {84, 85}, draws::centre_scales, draws::centre_bounds);
        ++expected[86];
        ++expected[87];
    }
    EXPECT_EQ(g.steps(), draws::workload_4_start + 1'435'354u);

    // Slot 0 holds the checks with a line outside 1 to 160: none. The loop
    // ends 28, 60, 69, 70, 75 and 88, the empty lines and line 160 stay 0.
    for (size_t line = 0; line < expected.size(); ++line)
        EXPECT_EQ(watch::counters.checks_at_line[line], expected[line]) << "line " << line;
}

}  // namespace
