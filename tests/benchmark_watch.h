// Interposes on the routine's calls into the runtime (linked with --wrap), so
// a test build can watch the real routine run: it counts the calls and lets
// observers look at the arguments and the page. The call recorder
// (benchmark_call_recorder.h) writes down chosen stretches of the run in full; the
// stand-in logarithm (benchmark_stand_in_log.cpp, linked where wanted) shortens
// development runs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>

#include "screen_runtime.h"

namespace watch {

struct Counters {
    uint64_t random_steps = 0;
    uint64_t logarithms = 0;
    uint64_t clears = 0;
    uint64_t boxes = 0;
    uint64_t pattern_fills = 0;
    uint64_t floods = 0;
    uint64_t circles = 0;
    uint64_t time_reads = 0;
    uint64_t polls = 0;
    // Event checks by the line passed; lines outside 1 to 160 count in slot 0.
    std::array<uint64_t, 161> checks_at_line{};
};
extern Counters counters;

// Replaces natural_log by the value it returns for the routine's constant
// (in programs linked with the stand-in logarithm; counters.logarithms too).
extern bool cheap_logarithm;

// Sets event_pending again after every event check, so that every check the
// routine reaches is made.
extern bool keep_event_pending;

// Observers, called on the program thread; each may be empty.
extern std::function<void()> before_clear;        // counters.clears already counts this clear
extern std::function<void()> before_time_read;    // counters.time_reads already counts this one
extern std::function<void()> before_poll;         // the routine's own polls only
extern std::function<void(TextString*, int32_t)> on_print;
extern std::function<void(float, float, float, float, uint32_t)> on_box;
extern std::function<void(int32_t)> on_character;
extern std::function<void(float, float, const TextString*, bool before)> on_pattern_fill;
extern std::function<void(float, float, uint32_t, bool before)> on_flood;
extern std::function<void(double, double, double, int32_t)> on_circle;
extern std::function<void(int32_t)> on_event_check;  // after the check has returned
// Called when the routine reaches its end; when it returns, the real end follows.
extern std::function<void()> on_end;

// 64-bit FNV-1a of the write page's bytes.
uint64_t page_hash();

}  // namespace watch
