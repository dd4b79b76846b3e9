// One whole run of the benchmark routine, watched through its calls, with
// the logarithm stood in for: the figures the workloads must give with the
// generator's fixed start, the calls of chosen stretches against tables
// taken from the statements, and the pages the run leaves, each against the
// page the oracle builds from the routine's own recorded draws (the end of
// workload 1, every striped page of workload 2, every page of workload 3
// and a spread of workload 4's discs).
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "benchmark_call_recorder.h"
#include "drawing.h"
#include "keyboard.h"
#include "numbers.h"
#include "page_oracle.h"
#include "pages.h"
#include "platform/platform.h"
#include "benchmark_draws.h"
#include "benchmark_watch.h"
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
};

// What the run recorded, by workload.
struct Run {
    std::array<uint64_t, 5> steps_at_clear{};  // clears 1 to 4 and the one of line 89
    std::vector<Box> boxes;
    int boxes_with_x_640 = 0, boxes_with_y_480 = 0;
    std::vector<PatternIteration> patterns;
    uint32_t largest_tile_generation = 0;
    std::vector<uint32_t> flood_colours;
    int floods_with_screen_not_in_colour = 0;
    std::vector<Circle> circles;
    std::vector<int32_t> result_stretch_checks;
    uint64_t polls_in_first_wait = 0, polls_in_final_wait = 0;
    uint64_t logarithms = 0, floods = 0;
    std::string result_text;
};

Run run;
std::atomic<bool> routine_ended{false};

uint8_t pixel(int x, int y) { return write_page->pixels[static_cast<size_t>(y) * write_page->width + x]; }

// The pages compared with the oracle's, by workload.
struct Comparison {
    int pages = 0;
    int differing = 0;
    std::string first;  // the first differing page, where and how
};

struct Pages {
    Comparison boxes, patterns, floods, discs;
    oracle::Page model;  // the mode-12 page as the oracle draws it
    std::string tile;
    uint64_t flood_calls = 0;
    double circle_x = 0, circle_y = 0, circle_r = 0;
    bool disc_followed = false;
};

Pages pages;

void compare(Comparison& c, const std::string& label) {
    ++c.pages;
    const long long i = oracle::first_difference(write_page->pixels, pages.model.pixels);
    if (i < 0) return;
    if (c.differing++ == 0) {
        std::ostringstream out;
        out << label << ": first differing pixel (" << i % 640 << ", " << i / 640 << "): runtime "
            << int(write_page->pixels[static_cast<size_t>(i)]) << ", oracle "
            << int(pages.model.pixels[static_cast<size_t>(i)]);
        c.first = out.str();
    }
}

// Workload 3 floods pages of one colour again and again: the oracle's page
// for a page and a call seen before is looked up rather than worked out anew.
class FloodMemo {
public:
    void flood(oracle::Page& page, float x, float y, uint32_t fill) {
        const size_t before = intern(page.pixels);
        for (const Entry& e : entries)
            if (e.before == before && e.x == x && e.y == y && e.fill == fill) {
                page.pixels = pages[e.after];
                page.cursor_x = x;
                page.cursor_y = y;
                return;
            }
        oracle::flood(page, x, y, fill, 0, 2);
        if (before != none) entries.push_back({before, x, y, fill, intern(page.pixels)});
    }

private:
    static constexpr size_t none = ~size_t{0};
    struct Entry {
        size_t before;
        float x, y;
        uint32_t fill;
        size_t after;
    };
    size_t intern(const std::vector<uint8_t>& pixels) {
        for (size_t i = 0; i < pages.size(); ++i)
            if (pages[i] == pixels) return i;
        if (pages.size() == 64) return none;
        pages.push_back(pixels);
        return pages.size() - 1;
    }
    std::vector<std::vector<uint8_t>> pages;
    std::vector<Entry> entries;
};
FloodMemo memo;

// The discs compared: a spread of iterations, and every one whose centre
// lies on the first row or column past the page or whose radius is 0.
bool disc_sampled(uint64_t iteration, double x, double y, double r) {
    return iteration % 100 == 0 || iteration < 20 || x == 640 || y == 480 || r == 0;
}

// The watch's own state: the observers run on the program thread long after
// watch_the_run() has returned.
std::vector<int32_t> codes;
uint64_t hash_before = 0;
bool every_check = false;
bool result_wait_started = false;
uint64_t polls_at_result = 0;

void watch_the_run() {
    watch::cheap_logarithm = true;
    watch::before_clear = [] {
        uint64_t n = watch::counters.clears;
        if (n >= 1 && n <= 4) run.steps_at_clear[n - 1] = watch::counters.random_steps;
        if (n == 2) run.polls_in_first_wait = watch::counters.polls;
        if (n == 20005) {
            run.steps_at_clear[4] = watch::counters.random_steps;
            // From line 89 on every statement finds an event pending.
            every_check = true;
            event_pending = 1;
        }
        if (n == 1) return;  // the start-up text screen
        if (n == 2) compare(pages.boxes, "the page after workload 1");
        oracle::clear(pages.model);
    };
    watch::on_event_check = [](int32_t line) {
        if (!every_check || line >= 157) return;
        run.result_stretch_checks.push_back(line);
        event_pending = 1;
    };
    watch::on_box = [](float x1, float y1, float x2, float y2, uint32_t colour) {
        run.boxes.push_back({x1, y1, x2, y2, colour});
        if (x1 == 640 || x2 == 640) ++run.boxes_with_x_640;
        if (y1 == 480 || y2 == 480) ++run.boxes_with_y_480;
        oracle::fill_box(pages.model, x1, y1, x2, y2, colour);
    };
    watch::on_character = [](int32_t code) { codes.push_back(code); };
    watch::on_pattern_fill = [](float x, float y, const TextString* tile, bool before) {
        if (before) {
            hash_before = watch::page_hash();
            pages.tile.assign(reinterpret_cast<const char*>(tile->data), static_cast<size_t>(tile->length));
            return;
        }
        PatternIteration it;
        for (size_t i = 0; i < 7; ++i) it.codes[i] = codes[codes.size() - 7 + i];
        it.x = x;
        it.y = y;
        it.painted = watch::page_hash() != hash_before;
        run.patterns.push_back(it);
        run.largest_tile_generation = std::max(run.largest_tile_generation, last_fill_stats().largest_generation);
        // The routine gives the tile alone: border and background take their defaults.
        oracle::pattern(pages.model, x, y, pages.tile, 0, nullptr, 2);
        compare(pages.patterns, "pattern fill " + std::to_string(watch::counters.pattern_fills));
    };
    watch::on_flood = [](float x, float y, uint32_t colour, bool before) {
        if (before) return;
        if (watch::counters.circles == 0 && x == 100.0f && y == 100.0f) {
            run.flood_colours.push_back(colour);
            if (pixel(0, 0) != colour || pixel(639, 479) != colour) ++run.floods_with_screen_not_in_colour;
        }
        ++pages.flood_calls;
        if (watch::counters.circles == 0) {
            memo.flood(pages.model, x, y, colour);
            compare(pages.floods, "flood " + std::to_string(pages.flood_calls));
        } else if (pages.disc_followed) {
            oracle::flood(pages.model, x, y, colour, 0, 2);
            std::ostringstream label;
            label << "disc " << watch::counters.circles << " (centre " << pages.circle_x << ", " << pages.circle_y
                  << ", radius " << pages.circle_r << ", colour " << colour << ")";
            compare(pages.discs, label.str());
        }
    };
    watch::on_circle = [](double x, double y, double r, int32_t colour) {
        run.circles.push_back({x, y, r, colour});
        pages.circle_x = x, pages.circle_y = y, pages.circle_r = r;
        pages.disc_followed = disc_sampled(watch::counters.circles, x, y, r);
        if (pages.disc_followed) oracle::circle(pages.model, x, y, r, colour);
    };
    // A run across midnight: T0 at 23:59:50.000, the second reading at 00:00:50.500.
    watch::before_time_read = [] {
        if (watch::counters.time_reads == 2) set_test_clock_now(60'500);
    };
    watch::on_print = [](TextString* text, int32_t) {
        if (watch::counters.time_reads == 2 && !result_wait_started)
            run.result_text.append(reinterpret_cast<const char*>(text->data), static_cast<size_t>(text->length));
    };
    watch::before_poll = [] {
        if (watch::counters.time_reads == 2 && !result_wait_started) {
            result_wait_started = true;
            polls_at_result = watch::counters.polls;
        }
    };
    watch::on_end = [] {
        run.polls_in_final_wait = watch::counters.polls - polls_at_result + 1;
        run.logarithms = watch::counters.logarithms;
        run.floods = watch::counters.floods;
        routine_ended = true;
        for (;;) platform::Sleep(1000);  // the test reads what the run left
    };
}

// The stretches whose calls are recorded in full, in the order of the run.
enum Stretch { banner_and_first_box, last_box_to_first_tile, last_tile_to_second_flood, last_flood_to_second_disc,
               result_and_end };

void record_calls() {
    using watch::Counters;
    watch::recorder.text_names = {"K$", "S2$", "S3$", "S4$", "S5$", "S6$", "S7$", "TXT$"};
    watch::recorder.windows = {
        {{}, {&Counters::boxes, 1}},
        {{&Counters::boxes, 100'000}, {&Counters::pattern_fills, 1}},
        {{&Counters::pattern_fills, 100}, {&Counters::floods, 2}},
        {{&Counters::floods, 10'000}, {&Counters::floods, 10'002}},
        {{&Counters::floods, 30'000}, {}},
    };
    watch::arm_recorder();
}

int count_reports(const char*, const char*, unsigned) { return platform::IDYES; }

// Every test of this program reads the one run.
void run_the_routine_once() {
    static bool started = false;
    if (started) return;
    started = true;
    runtime_init(false);
    set_test_clock(86'390'000, 0);
    platform::set_message_box_hook(count_reports);
    watch_the_run();
    record_calls();
    // Two keys before the start: the first ends the banner's wait, the
    // second stays queued through the timed run for the final wait.
    key_queue_push('a', 0x1E);
    key_queue_push('b', 0x30);
    start_program_thread();
    while (!routine_ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

class WholeRoutine : public ::testing::Test {
protected:
    static void SetUpTestSuite() { run_the_routine_once(); }
};

class RoutinePages : public ::testing::Test {
protected:
    static void SetUpTestSuite() { run_the_routine_once(); }
};

TEST_F(RoutinePages, TheEndOfWorkloadOne) {
    EXPECT_EQ(pages.boxes.pages, 1);
    EXPECT_EQ(pages.boxes.differing, 0) << pages.boxes.first;
}

TEST_F(RoutinePages, EveryStripedPageOfWorkloadTwo) {
    EXPECT_EQ(pages.patterns.pages, 100);
    EXPECT_EQ(pages.patterns.differing, 0) << pages.patterns.first;
}

TEST_F(RoutinePages, EveryFloodedPageOfWorkloadThree) {
    EXPECT_EQ(pages.floods.pages, 10'000);
    EXPECT_EQ(pages.floods.differing, 0) << pages.floods.first;
}

TEST_F(RoutinePages, ASpreadOfWorkloadFoursDiscs) {
    EXPECT_GE(pages.discs.pages, 200);
    EXPECT_EQ(pages.discs.differing, 0) << pages.discs.first;
}

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
    const PatternIteration& last = run.patterns.back();
    EXPECT_EQ(last.codes, (std::array<int32_t, 7>{209, 39, 1, 199, 45, 127, 210}));
    EXPECT_EQ(last.x, 409);
    EXPECT_EQ(last.y, 152);
    // The page of each fill is compared with the oracle's in RoutinePages.

    std::vector<int> unpainted;
    for (size_t i = 0; i < run.patterns.size(); ++i) {
        if (!run.patterns[i].painted) unpainted.push_back(static_cast<int>(i) + 1);
        EXPECT_LT(run.patterns[i].x, 640);
        EXPECT_LT(run.patterns[i].y, 480);
    }
    EXPECT_EQ(unpainted, (std::vector<int>{29, 45, 76, 96, 97}));
    EXPECT_LE(run.largest_tile_generation, 960u);
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

// The readings 86390 and 50.4945068359375 (919 ticks, as a single): the
// difference gets back the day that midnight took from the second reading.
TEST_F(WholeRoutine, ResultLineOfARunAcrossMidnight) {
    EXPECT_EQ(run.result_text, "Result:  60.4945068359375 ");
}

TEST_F(WholeRoutine, KeyWaitsTakeTheQueuedKeysAtTheirFirstPoll) {
    EXPECT_EQ(run.polls_in_first_wait, 1u);
    EXPECT_EQ(run.polls_in_final_wait, 1u);
}

// The calls of the recorded stretches against tables taken from the
// statements: each entry a call with every argument it passes. The random
// draws come from the generator's rule; the values they give are the ones
// the workloads must draw.
struct Calls {
    std::vector<watch::Call> calls;

    void add(std::string text, uint64_t times = 1) {
        if (!calls.empty() && calls.back().text == text) {
            calls.back().times += times;
            return;
        }
        calls.push_back({std::move(text), times});
    }
    // Every pass of a rejection loop draws all its values: a step with no
    // argument, then the product rounded to single precision, floored.
    void draws(const std::vector<draws::Attempt>& passes) {
        for (const draws::Attempt& pass : passes) {
            for (const draws::Draw& d : pass.values) {
                add("next_random(0, 0)");
                add("floor_single(" + watch::number(d.product) + ")");
            }
        }
    }
    // The print form with one literal item.
    void print_line(const std::string& literal) {
        const std::string quoted = "\"" + literal + "\"";
        add("new_text_string(0, false)");
        add("text_from_literal_len(" + quoted + ", " + std::to_string(literal.size()) + ")");
        add("assign_text(working, tmp" + quoted + ")");
        add("ensure_text_fits(working" + quoted + ")");
        add("print_text(working" + quoted + ", 0)");
        add("print_text(empty_text, 1)");
        add("free_text_string(working" + quoted + ")");
        add("release_temp_strings(0, 0)");
    }
    // A key wait whose queued key ends it at its first poll.
    void key_wait(const std::string& key) {
        add("poll_key()");
        add("assign_text(K$, tmp\"" + key + "\")");
        add("release_temp_strings(0, 0)");
        add(R"(text_from_literal_len("", 0))");
        add("text_equal(K$\"" + key + "\", tmp\"\")");
        add("release_temp_strings(0, 0)");
    }
};

std::vector<float> accepted(const std::vector<draws::Attempt>& passes) {
    std::vector<float> values;
    for (const draws::Draw& d : passes.back().values) values.push_back(d.value);
    return values;
}

std::string shown(const std::vector<watch::Call>& calls, size_t at) {
    std::string s;
    for (size_t k = at >= 3 ? at - 3 : 0; k < calls.size() && k < at + 4; ++k) {
        s += k == at ? "\n  > " : "\n    ";
        s += calls[k].text;
        if (calls[k].times != 1) s += " x" + std::to_string(calls[k].times);
    }
    return s;
}

// Where the recorded calls part from the table, with the calls around it.
std::string first_difference(Stretch stretch, const Calls& expected) {
    if (watch::recorder.calls_in.size() <= static_cast<size_t>(stretch)) return "stretch not recorded";
    const std::vector<watch::Call>& got = watch::recorder.calls_in[stretch];
    const std::vector<watch::Call>& want = expected.calls;
    size_t i = 0;
    while (i < got.size() && i < want.size() && got[i] == want[i]) ++i;
    if (i == got.size() && i == want.size()) return "";
    return "entries " + std::to_string(got.size()) + ", expected " + std::to_string(want.size()) +
           "; first difference at " + std::to_string(i) + "\nrecorded:" + shown(got, i) + "\nexpected:" +
           shown(want, i);
}

const std::string logarithm = "natural_log(5.3589793170057245e-08)";

TEST_F(WholeRoutine, CallsOfTheBannerTheTimedStartAndTheFirstBox) {
    Calls e;
    // Prologue: 64-bit mantissa, the signal handler, the mark, the 27
    // variables in their order, the hand-over.
    e.add("_controlfp(0, 0x30000)");
    e.add("signal(8, on_floating_point_signal)");
    e.add("temp_string_count()");
    e.add("alloc_static_cell(8)", 2);       // T0, ELAPSED
    e.add("new_text_string(0, false)");     // K$
    e.add("alloc_static_cell(4)", 12);      // I, COL, X1, Y1, X2, Y2, B1, B2, B4 to B7
    e.add("new_text_string(0, false)", 7);  // S2$ to S7$, TXT$
    e.add("alloc_static_cell(4)", 5);       // X, Y, J, L, R
    e.add("receive_chain_data()");
    // 1 to 3
    e.add(R"(text_from_literal_len("Texture benchmark by Ormi-tulp", 30))");
    e.add(R"(set_window_title(tmp"Texture benchmark by Ormi-tulp"))");
    e.add("release_temp_strings(0, 0)");
    e.add("set_fullscreen_mode(0, 0)");
    e.add("clear_screen(0, 0, 0)");
    // 6 to 8: the cursor, then the print
    e.add("locate_cursor(10, 23, 0, 0, 0, 3)");
    e.print_line("Texture benchmark by Ormi-tulp");
    e.add("locate_cursor(11, 23, 0, 0, 0, 3)");
    e.print_line("Copyright (c) 2026 Ormi-tulp.");
    e.add("locate_cursor(12, 23, 0, 0, 0, 3)");
    e.print_line("          [Windows]");
    // 9 to 11: the queued key ends the wait at its first poll
    e.key_wait("a");
    // 12, 13
    e.add("seconds_since_midnight(0, 0)");
    e.add("set_screen_mode(12, 0, 0, 0, 0, 1)");
    // 14 to 27: six colours rejected, then twelve corner sets
    draws::Generator g;
    auto colours = draws::until_accepted(g, draws::colour_scales, draws::colour_bounds);
    ASSERT_EQ(colours.size(), 7u);
    e.draws(colours);
    auto corners = draws::until_accepted(g, draws::corner_scales, draws::corner_bounds);
    ASSERT_EQ(corners.size(), 13u);
    ASSERT_EQ(accepted(corners), (std::vector<float>{401, 278, 160, 162}));
    e.draws(corners);
    e.add("round_to_int64(14)");
    e.add("draw_line(401, 278, 160, 162, 14, 2, 0, 9)");
    EXPECT_EQ(first_difference(banner_and_first_box, e), "");
}

TEST_F(WholeRoutine, CallsOfTheLastBoxAndTheFirstTileFill) {
    Calls e;
    e.add("draw_line(282, 449, 450, 134, 8, 2, 0, 9)");
    e.add("clear_screen(0, 0, 0)");
    draws::Generator g(draws::workload_2_start);
    auto bytes = draws::until_accepted(g, draws::byte_scales, draws::byte_bounds);
    ASSERT_GT(bytes.size(), 1u);
    ASSERT_EQ(accepted(bytes), (std::vector<float>{183, 153, 187, 186, 70, 209, 109}));
    e.draws(bytes);
    // 46 to 52: each code through round_to_int64 into a one-byte string
    const char* strings[7][2] = {{"K$", "\\xB7"}, {"S2$", "\\x99"}, {"S3$", "\\xBB"}, {"S4$", "\\xBA"},
                                 {"S5$", "F"},      {"S6$", "\\xD1"}, {"S7$", "m"}};
    const int codes[7] = {183, 153, 187, 186, 70, 209, 109};
    for (int i = 0; i < 7; ++i) {
        e.add("round_to_int64(" + std::to_string(codes[i]) + ")");
        e.add("char_from_code(" + std::to_string(codes[i]) + ")");
        e.add(std::string("assign_text(") + strings[i][0] + ", tmp\"" + strings[i][1] + "\")");
        e.add("release_temp_strings(0, 0)");
    }
    // 53: the tile from K$, S2$ and S3$
    e.add(R"(concat_text(K$"\xB7", S2$"\x99"))");
    e.add(R"(concat_text(tmp"\xB7\x99", S3$"\xBB"))");
    e.add(R"(assign_text(TXT$, tmp"\xB7\x99\xBB"))");
    e.add("release_temp_strings(0, 0)");
    auto points = draws::until_accepted(g, draws::point_scales, draws::point_bounds);
    ASSERT_EQ(accepted(points), (std::vector<float>{529, 447}));
    e.draws(points);
    e.add(R"(pattern_fill(529, 447, TXT$"\xB7\x99\xBB", 0, null, 2))");
    EXPECT_EQ(first_difference(last_box_to_first_tile, e), "");
}

TEST_F(WholeRoutine, CallsOfTheLastTileFillAndTheFirstFloods) {
    Calls e;
    e.add(R"(pattern_fill(409, 152, TXT$"\xD1'\x01", 0, null, 2))");
    e.add("release_temp_strings(0, 0)");
    e.add("clear_screen(0, 0, 0)");
    draws::Generator g(draws::workload_3_start);
    for (int colour : {3, 10}) {
        auto colours = draws::until_accepted(g, draws::colour_scales, draws::colour_bounds);
        ASSERT_EQ(accepted(colours), (std::vector<float>{static_cast<float>(colour)}));
        e.draws(colours);
        e.add("round_to_int64(" + std::to_string(colour) + ")");
        e.add("flood_fill(100, 100, " + std::to_string(colour) + ", 0, 0, 2)");
        if (colour == 3) e.add(logarithm, 125'000);
    }
    EXPECT_EQ(first_difference(last_tile_to_second_flood, e), "");
}

TEST_F(WholeRoutine, CallsOfTheLastFloodAndTheFirstDiscs) {
    Calls e;
    e.add("flood_fill(100, 100, 10, 0, 0, 2)");
    e.add(logarithm, 125'000);
    e.add("clear_screen(0, 0, 0)");
    draws::Generator g(draws::workload_4_start);
    struct Disc {
        int colour;
        std::vector<float> centre_and_radius;
        size_t tries;
        std::string circle, flood;
    };
    const Disc discs[2] = {
        {13, {103, 321, 89}, 1, "draw_circle(103, 321, 89, 13, 0, 0, 0, 2)", "flood_fill(103, 321, 13, 0, 0, 2)"},
        {2, {271, 315, 53}, 4, "draw_circle(271, 315, 53, 2, 0, 0, 0, 2)", "flood_fill(271, 315, 2, 0, 0, 2)"},
    };
    for (const Disc& disc : discs) {
        e.add(logarithm, 125'000);
        e.add("clear_screen(0, 0, 0)");
        auto colours = draws::until_accepted(g, draws::colour_scales, draws::colour_bounds);
        ASSERT_EQ(accepted(colours), (std::vector<float>{static_cast<float>(disc.colour)}));
        e.draws(colours);
        auto centres = draws::until_accepted(g, draws::centre_scales, draws::centre_bounds);
        ASSERT_EQ(centres.size(), disc.tries);
        ASSERT_EQ(accepted(centres), disc.centre_and_radius);
        e.draws(centres);
        e.add("round_to_int64(" + std::to_string(disc.colour) + ")");
        e.add(disc.circle);
        e.add("round_to_int64(" + std::to_string(disc.colour) + ")");
        e.add(disc.flood);
    }
    EXPECT_EQ(first_difference(last_flood_to_second_disc, e), "");
}

TEST_F(WholeRoutine, CallsOfTheResultStretchAndTheEnd) {
    Calls e;
    auto check = [&](int line) { e.add("check_statement_events(" + std::to_string(line) + ", 0, null)"); };
    e.add("flood_fill(490, 418, 9, 0, 0, 2)");
    // From line 89 on an event is pending at every check.
    e.add("clear_screen(0, 0, 0)");
    check(89);
    check(124);
    e.add("clear_screen(0, 0, 0)");
    check(125);
    e.add("seconds_since_midnight(0, 0)");
    check(154);
    e.add("clear_screen(0, 0, 0)");
    check(155);
    e.add("locate_cursor(10, 30, 0, 0, 0, 3)");
    check(156);
    e.add("new_text_string(0, false)");
    e.add(R"(text_from_literal_len("Result: ", 8))");
    e.add(R"(assign_text(working, tmp"Result: "))");
    e.add(R"(ensure_text_fits(working"Result: "))");
    e.add(R"(print_text(working"Result: ", 0))");
    e.add(R"(text_from_literal(" "))");
    e.add("number_to_text_double(60.4945068359375)");
    e.add(R"(concat_text(tmp" 60.4945068359375", tmp" "))");
    e.add(R"(assign_text(working, tmp" 60.4945068359375 "))");
    e.add(R"(ensure_text_fits(working" 60.4945068359375 "))");
    e.add(R"(print_text(working" 60.4945068359375 ", 0))");
    e.add("print_text(empty_text, 1)");
    e.add(R"(free_text_string(working" 60.4945068359375 "))");
    e.add("release_temp_strings(0, 0)");
    check(156);
    // 157 to 160: the key queued since the start ends the wait at its first poll.
    check(157);
    e.key_wait("b");
    e.add("end_program()");
    EXPECT_EQ(first_difference(result_and_end, e), "");
}

}  // namespace
