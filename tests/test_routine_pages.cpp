// The pages the whole routine leaves, each against the page the oracle
// builds from the routine's own recorded draws: the end of workload 1, every
// striped page of workload 2, every page of workload 3 and a spread of
// workload 4's discs. The logarithm is stood in for, as in test_routine.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "keyboard.h"
#include "numbers.h"
#include "page_oracle.h"
#include "pages.h"
#include "platform/platform.h"
#include "routine_probe.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

struct Comparison {
    int pages = 0;
    int differing = 0;
    std::string first;  // the first differing page, where and how
};

struct Watch {
    Comparison boxes, patterns, floods, discs;
    oracle::Page model;  // the mode-12 page as the routine found it after line 13
    std::string tile;
    uint64_t flood_calls = 0;
    double circle_x = 0, circle_y = 0, circle_r = 0;
    bool disc_followed = false;
};

Watch watch;
std::atomic<bool> routine_ended{false};

void compare(Comparison& c, const std::string& label) {
    ++c.pages;
    const long long i = oracle::first_difference(write_page->pixels, watch.model.pixels);
    if (i < 0) return;
    if (c.differing++ == 0) {
        std::ostringstream out;
        out << label << ": first differing pixel (" << i % 640 << ", " << i / 640 << "): runtime "
            << int(write_page->pixels[static_cast<size_t>(i)]) << ", oracle "
            << int(watch.model.pixels[static_cast<size_t>(i)]);
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

void start_watch() {
    probe::cheap_logarithm = true;
    probe::before_clear = [] {
        const uint64_t n = probe::counters.clears;
        if (n == 1) return;  // the start-up text screen
        if (n == 2) compare(watch.boxes, "the page after workload 1");
        oracle::clear(watch.model);
    };
    probe::on_box = [](float x1, float y1, float x2, float y2, uint32_t colour) {
        oracle::fill_box(watch.model, x1, y1, x2, y2, colour);
    };
    probe::on_pattern_fill = [](float x, float y, const TextString* tile, bool before) {
        if (before) {
            watch.tile.assign(reinterpret_cast<const char*>(tile->data), static_cast<size_t>(tile->length));
            return;
        }
        // The routine gives the tile alone: border and background take their defaults.
        oracle::pattern(watch.model, x, y, watch.tile, 0, nullptr, 2);
        compare(watch.patterns, "pattern fill " + std::to_string(probe::counters.pattern_fills));
    };
    probe::on_circle = [](double x, double y, double r, int32_t colour) {
        watch.circle_x = x, watch.circle_y = y, watch.circle_r = r;
        watch.disc_followed = disc_sampled(probe::counters.circles, x, y, r);
        if (watch.disc_followed) oracle::circle(watch.model, x, y, r, colour);
    };
    probe::on_flood = [](float x, float y, uint32_t fill, bool before) {
        if (before) return;
        ++watch.flood_calls;
        if (probe::counters.circles == 0) {
            memo.flood(watch.model, x, y, fill);
            compare(watch.floods, "flood " + std::to_string(watch.flood_calls));
        } else if (watch.disc_followed) {
            oracle::flood(watch.model, x, y, fill, 0, 2);
            std::ostringstream label;
            label << "disc " << probe::counters.circles << " (centre " << watch.circle_x << ", " << watch.circle_y
                  << ", radius " << watch.circle_r << ", colour " << fill << ")";
            compare(watch.discs, label.str());
        }
    };
    probe::on_end = [] {
        routine_ended = true;
        for (;;) platform::Sleep(1000);  // the test reads what the run left
    };
}

int answer_yes(const char*, const char*, unsigned) { return platform::IDYES; }

class RoutinePages : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        runtime_init(false);
        set_test_clock(10LL * 3600 * 1000, 0);
        platform::set_message_box_hook(answer_yes);
        start_watch();
        key_queue_push('a', 0x1E);
        key_queue_push('b', 0x30);
        start_program_thread();
        while (!routine_ended) std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
};

TEST_F(RoutinePages, TheEndOfWorkloadOne) {
    EXPECT_EQ(watch.boxes.pages, 1);
    EXPECT_EQ(watch.boxes.differing, 0) << watch.boxes.first;
}

TEST_F(RoutinePages, EveryStripedPageOfWorkloadTwo) {
    EXPECT_EQ(watch.patterns.pages, 100);
    EXPECT_EQ(watch.patterns.differing, 0) << watch.patterns.first;
}

TEST_F(RoutinePages, EveryFloodedPageOfWorkloadThree) {
    EXPECT_EQ(watch.floods.pages, 10'000);
    EXPECT_EQ(watch.floods.differing, 0) << watch.floods.first;
}

TEST_F(RoutinePages, ASpreadOfWorkloadFoursDiscs) {
    EXPECT_GE(watch.discs.pages, 200);
    EXPECT_EQ(watch.discs.differing, 0) << watch.discs.first;
}

}  // namespace
