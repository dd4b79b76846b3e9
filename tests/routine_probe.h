// Interposes on the routine's calls into the runtime (linked with --wrap), so
// a test build can watch the real routine run: it counts the calls, lets
// observers look at the arguments and the page, records the calls in chosen
// stretches of the run, and can stand in for the logarithm to shorten
// development runs.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "screen_runtime.h"

namespace probe {

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
// (in programs linked with the logarithm's probe; counters.logarithms too).
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

// One call of the routine into the runtime as text, its name and every
// argument: "draw_line(401, 278, 160, 162, 14, 2, 0, 9)". Strings show as
// their bytes in quotes, after the variable's name for the routine's own
// strings, "tmp" for temporaries; a call made again at once is one entry.
struct Call {
    std::string text;
    uint64_t times = 1;
    bool operator==(const Call&) const = default;
};

// A stretch of the run that is recorded in full. It opens at the call that
// brings one of the counters above to `value` (with no counter: when the
// recorder is armed) and closes after the call that brings its closing
// counter to its value, or before it when close_before is set (with no
// counter: never). Only the calls of clear_screen, draw_line, pattern_fill,
// flood_fill, draw_circle, poll_key and seconds_since_midnight open or close.
struct Edge {
    uint64_t Counters::*counter = nullptr;
    uint64_t value = 0;
};
struct Window {
    Edge open;
    Edge close;
    bool close_before = false;
};

struct Recorder {
    std::vector<Window> windows;          // in the order the run reaches them
    std::vector<std::string> text_names;  // the routine's permanent strings, in the order it makes them
    std::string other_text_name = "working";
    bool calls = true;                    // false: the event-check lines alone
    // What each window held; filled as the run goes.
    std::vector<std::vector<Call>> calls_in;
    std::vector<std::vector<int32_t>> checks_in;
};
extern Recorder recorder;

// Starts watching for the windows; before the routine starts, after the
// runtime's own start-up.
void arm_recorder();

// The recorder's switch, read by every wrapper.
extern bool recording;
// Nesting of the wrapped calls on this thread: calls the runtime makes
// inside the routine's calls are not the routine's.
extern thread_local int call_depth;
void record(std::string text);
std::string number(double value);

}  // namespace probe
