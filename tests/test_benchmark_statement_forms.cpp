#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "errors.h"
#include "glyph_cells.h"
#include "keyboard.h"
#include "numbers.h"
#include "pages.h"
#include "string_store.h"
#include "platform/platform.h"
#include "benchmark_draws.h"
#include "runtime.h"
#include "screen_runtime.h"
#include "statement_forms.h"

namespace {

std::vector<int32_t> reported_lines;

int answer_yes(const char*, const char*, unsigned) {
    reported_lines.push_back(error_line());
    return platform::IDYES;
}

class StatementForms : public ::testing::Test {
protected:
    void SetUp() override {
        runtime_init(false);
        reported_lines.clear();
        platform::set_message_box_hook(answer_yes);
    }
    void TearDown() override { platform::set_message_box_hook(nullptr); }
};

TEST_F(StatementForms, DrawsOverTheWholeGeneratorPeriod) {
    // The generator visits every 24-bit state once per period, so one period
    // of draws covers every value r can take.
    struct Scale {
        float scale;
        int rounded_up;
        float largest;
    };
    for (Scale expected : {Scale{1000.0f, 337, 999.0f}, Scale{100.0f, 37, 99.0f}}) {
        random_init();
        draws::Generator model;
        int rounded_up = 0;
        float largest = 0.0f;
        for (uint32_t n = 0; n < (1u << 24); ++n) {
            const float drawn = forms::random_draw(expected.scale);
            ASSERT_EQ(drawn, draws::draw(model, expected.scale).value) << "state " << model.state();
            // The model's product rounded to single precision, against the exact floor.
            long double exact = std::floor(static_cast<long double>(model.state()) / 16777216.0L * expected.scale);
            if (drawn != static_cast<float>(exact)) {
                ASSERT_EQ(drawn, static_cast<float>(exact + 1)) << "state " << model.state();
                ++rounded_up;
            }
            largest = std::max(largest, drawn);
        }
        EXPECT_EQ(rounded_up, expected.rounded_up) << "scale " << expected.scale;
        EXPECT_EQ(largest, expected.largest);
        EXPECT_EQ(random_state(), draws::Generator::seed) << "a whole period returns to the seed";
    }
}

TEST_F(StatementForms, FirstDrawsOfTheFixedSequence) {
    for (float expected : {705.0f, 533.0f, 579.0f, 289.0f, 301.0f}) EXPECT_EQ(forms::random_draw(1000.0f), expected);
}

TEST_F(StatementForms, DrawRoundsToSingleBeforeTheFloor) {
    struct Case {
        uint32_t state_before;  // steps to the state whose draw is checked
        float draw;
    } cases[] = {
        {12011155, 640},  // 639.99998569... rounds to 640.0
        {5312775, 255},   // 254.99999523...
        {12895468, 999},  // the largest state: 999.99994...
        {13497921, 0},    // state 0
    };
    for (const Case& c : cases) {
        set_random_state(c.state_before);
        EXPECT_EQ(forms::random_draw(1000.0f), c.draw) << c.state_before;
    }
}

TEST_F(StatementForms, DrawOfZeroIsZero) {
    // The state that steps to 0 is the one whose successor is 0.
    uint32_t before_zero = 0;
    for (uint32_t s = 0; s < (1u << 24); ++s)
        if (draws::successor(s) == 0) before_zero = s;
    set_random_state(before_zero);
    EXPECT_EQ(forms::random_draw(1000.0f), 0.0f);
}

TEST_F(StatementForms, CountedLoopRunsToItsFinalValueAndLeavesOneMore) {
    float counter = 0.0f;
    std::vector<float> seen;
    for (forms::CountedLoop loop(counter, 100.0); loop.head(30); loop.next()) seen.push_back(counter);
    ASSERT_EQ(seen.size(), 100u);
    EXPECT_EQ(seen.front(), 1.0f);
    EXPECT_EQ(seen.back(), 100.0f);
    EXPECT_EQ(counter, 101.0f);
}

TEST_F(StatementForms, CountedLoopEnteredWithAnErrorPendingRunsItsBodyOnceUnassigned) {
    struct Case {
        float counter_before;
        int body_runs;
        float counter_after;
    };
    // From 500 the increment already passes the bound; from 0 it starts the loop over at 1.
    for (Case c : {Case{500.0f, 1, 501.0f}, Case{0.0f, 101, 101.0f}}) {
        float counter = c.counter_before;
        raise_error(5);
        int runs = 0;
        float first_seen = -1.0f;
        for (forms::CountedLoop loop(counter, 100.0); loop.head(14); loop.next()) {
            if (runs++ == 0) first_seen = counter;
        }
        EXPECT_EQ(first_seen, c.counter_before) << "the counter is not assigned on the first pass";
        EXPECT_EQ(runs, c.body_runs);
        EXPECT_EQ(counter, c.counter_after);
        EXPECT_EQ(pending_error.load(), 0) << "the head's event check reported the error";
    }
}

TEST_F(StatementForms, RejectionTestPassesAtItsBoundAndRejectsAbove) {
    struct Case {
        float value, bound;
        bool rejected;
    };
    for (Case c : {Case{15, 15, false}, Case{16, 15, true}, Case{640, 640, false}, Case{641, 640, true},
                   Case{480, 480, false}, Case{481, 480, true}, Case{255, 255, false}, Case{256, 255, true}})
        EXPECT_EQ(forms::rejected(c.value, c.bound, 17), c.rejected) << c.value << " against " << c.bound;
}

TEST_F(StatementForms, RejectionTestHoldsWhileAnErrorIsPendingAndReportsIt) {
    raise_error(5);
    EXPECT_TRUE(forms::rejected(0.0f, 15.0f, 17));
    EXPECT_EQ(pending_error.load(), 0);
    EXPECT_EQ(reported_lines, std::vector<int32_t>{17});
    EXPECT_FALSE(forms::rejected(0.0f, 15.0f, 17));
}

TEST_F(StatementForms, ColoursPassAsTheNearestInteger) {
    EXPECT_EQ(forms::code_of(15.0f), 15u);
    EXPECT_EQ(forms::code_of(0.0f), 0u);
    EXPECT_EQ(forms::code_of(2.5f), 2u);
    EXPECT_EQ(forms::code_of(3.5f), 4u);
}

// A text row of the graphics page read back, glyphs in colour 15 on 0.
std::string row_text(int row) {
    auto at = [](int x, int y) { return write_page->pixels[static_cast<size_t>(y) * 640 + x]; };
    return glyphs::read_row(at, 80, 16 * (row - 1), uint8_t{15}, uint8_t{0});
}

class ResultLine : public StatementForms {
protected:
    void SetUp() override {
        StatementForms::SetUp();
        set_screen_mode(12, 0, 0, 0, 0, 1);
    }
    void print_result(double elapsed) {
        locate_cursor(10, 30, 0, 0, 0, 3);
        forms::print(forms::Temporaries{temp_string_count()}, 156,
                     {forms::PrintItem::text("Result: ", 8), forms::PrintItem::value(elapsed)});
    }
};

TEST_F(ResultLine, WorkedExamplesAsRowTen) {
    struct Case {
        double elapsed;
        const char* row;
    };
    const std::string lead(29, ' ');
    for (Case c : {Case{37.5, "Result:  37.5"}, Case{123.4375, "Result:  123.4375"},
                   Case{123.40625, "Result:  123.40625"},
                   Case{123.4065951667726039886474609375, "Result:  123.4065951667726"},
                   Case{3600, "Result:  3600"}, Case{0.0546875, "Result:  .0546875"},
                   Case{0.0549450553953647613525390625, "Result:  5.494505539536476D-02"},
                   Case{-86339.5054931640625, "Result: -86339.50549316406"}, Case{0, "Result:  0"},
                   Case{60.4945068359375, "Result:  60.4945068359375"}}) {
        clear_screen(0, 0, 0);
        print_result(c.elapsed);
        EXPECT_EQ(row_text(10), lead + c.row) << c.elapsed;
        EXPECT_EQ(write_page->cursor_row, 11);
        EXPECT_EQ(write_page->cursor_column, 1);
        EXPECT_EQ(temp_string_count(), 0u);
    }
}

// Line 154's difference. Readings are times of day, 0 to 86400 inclusive:
// 86400 in the last 27 ms of the day, 0 in its first 28 ms and at midnight.
TEST_F(ResultLine, ElapsedTimeAcrossMidnight) {
    constexpr double one_tick = 0.0549450553953647613525390625;  // 00:00:00.055
    constexpr double later = 123.46154022216796875;              // 00:02:03.455
    struct Case {
        double t0, reading, elapsed;
    };
    for (Case c : {Case{86390, 50.4945068359375, 60.4945068359375},  // 23:59:50.000 to 00:00:50.500
                   Case{86400, one_tick, one_tick}, Case{86400, later, later},
                   Case{0, one_tick, one_tick}, Case{0, later, later},
                   Case{36000, 86400, 50400}, Case{43200.0546875, 86400, 43199.9453125},
                   Case{36123.40625, 0, 50276.59375}, Case{86400, 0, 0},
                   Case{36000, 36000, 0}, Case{0, 0, 0}, Case{86400, 86400, 0}}) {
        EXPECT_EQ(forms::elapsed_since(c.t0, c.reading), c.elapsed) << c.t0 << " to " << c.reading;
    }
}

TEST_F(ResultLine, AnErrorPendingAfterAnItemStopsThePrintButFreesTheWorkingString) {
    uint32_t descriptors = string_descriptors_in_use();
    // Near the row's end "Result: " would not fit: a print that went on
    // would start a new row before the item.
    locate_cursor(10, 75, 0, 0, 0, 3);
    // The hook answers Yes at the statement's event check, after the print.
    raise_error(5);
    forms::print(forms::Temporaries{temp_string_count()}, 156,
                 {forms::PrintItem::text("Result: ", 8), forms::PrintItem::value(123.40625)});
    EXPECT_EQ(row_text(10), "");
    EXPECT_EQ(row_text(11), "");
    EXPECT_EQ(write_page->cursor_row, 10);
    EXPECT_EQ(write_page->cursor_column, 75);
    EXPECT_EQ(reported_lines, std::vector<int32_t>{156});
    EXPECT_EQ(string_descriptors_in_use(), descriptors);
    EXPECT_EQ(temp_string_count(), 0u);
}

}  // namespace
