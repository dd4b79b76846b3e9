// Records the routine's calls into the runtime in chosen stretches of a
// run, as the watch's wrappers pass them on.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "benchmark_watch.h"
#include "screen_runtime.h"

namespace watch {

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

// For the wrappers. Around a call that may open or close a window: the
// opening call is recorded, the closing one after or before it as the window
// asks.
void edge_before();
void edge_after();

// Only the routine's own calls are recorded and named: those the runtime
// makes inside them are one level deeper.
struct Inner {
    Inner() { ++call_depth; }
    ~Inner() { --call_depth; }
    Inner(const Inner&) = delete;
    Inner& operator=(const Inner&) = delete;
};

inline bool recorded_here() { return recording && call_depth == 0; }

// A call by its name and its arguments as text.
void note(const char* name, std::initializer_list<std::string> args);
std::string integer(int64_t value);
std::string extended(long double value);
std::string quoted(const uint8_t* bytes, int32_t length);
// A string argument: the routine's variable by its name and bytes, the
// runtime's empty string by name, others by their bytes.
std::string text(const TextString* t);
// An assignment's destination by name alone: its old bytes do not matter.
std::string destination(const TextString* t);
// The routine's permanent strings are named as it makes them, and forgotten
// when it frees them.
void name_new_text(const TextString* t);
void forget_text(const TextString* t);

}  // namespace watch
