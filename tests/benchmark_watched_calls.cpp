// The watch's wrappers of the calls it counts and lets observers see; each
// also goes to the call recorder.
#include <atomic>

#include "benchmark_call_recorder.h"
#include "pages.h"
#include "benchmark_watch.h"

namespace watch {

Counters counters;
bool keep_event_pending = false;
std::function<void()> before_clear;
std::function<void()> before_time_read;
std::function<void()> before_poll;
std::function<void(TextString*, int32_t)> on_print;
std::function<void(float, float, float, float, uint32_t)> on_box;
std::function<void(int32_t)> on_character;
std::function<void(float, float, const TextString*, bool)> on_pattern_fill;
std::function<void(float, float, uint32_t, bool)> on_flood;
std::function<void(double, double, double, int32_t)> on_circle;
std::function<void(int32_t)> on_event_check;
std::function<void()> on_end;

uint64_t page_hash() {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (uint8_t byte : write_page->pixels) {
        hash ^= byte;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace watch

using namespace watch;

extern "C" {

void __real_clear_screen(int32_t, uint32_t, int32_t);
float __real_next_random(float, int32_t);
double __real_seconds_since_midnight(double, int32_t);
TextString* __real_poll_key();
void __real_print_text(TextString*, int32_t);
[[noreturn]] void __real_end_program();
void __real_draw_line(float, float, float, float, uint32_t, int32_t, int32_t, int32_t);
void __real_pattern_fill(float, float, TextString*, uint32_t, TextString*, int32_t);
void __real_flood_fill(float, float, uint32_t, uint32_t, uint32_t, int32_t);
void __real_draw_circle(double, double, double, int32_t, double, double, double, int32_t);
TextString* __real_char_from_code(int32_t);
void __real_check_statement_events(int32_t, int32_t, const char*);

void __wrap_clear_screen(int32_t method, uint32_t colour, int32_t passed) {
    ++counters.clears;
    edge_before();
    if (recorded_here()) note("clear_screen", {integer(method), integer(colour), integer(passed)});
    if (watch::before_clear) watch::before_clear();
    {
        Inner inner;
        __real_clear_screen(method, colour, passed);
    }
    edge_after();
}

float __wrap_next_random(float argument, int32_t passed) {
    // The routine always draws with no argument: a step unless an error is pending.
    if (pending_error.load(std::memory_order_relaxed) == 0) ++counters.random_steps;
    if (recorded_here()) note("next_random", {number(argument), integer(passed)});
    Inner inner;
    return __real_next_random(argument, passed);
}

double __wrap_seconds_since_midnight(double accuracy, int32_t passed) {
    ++counters.time_reads;
    edge_before();
    if (recorded_here()) note("seconds_since_midnight", {number(accuracy), integer(passed)});
    if (watch::before_time_read) watch::before_time_read();
    double result;
    {
        Inner inner;
        result = __real_seconds_since_midnight(accuracy, passed);
    }
    edge_after();
    return result;
}

TextString* __wrap_poll_key() {
    ++counters.polls;
    edge_before();
    if (recorded_here()) note("poll_key", {});
    if (watch::before_poll) watch::before_poll();
    TextString* result;
    {
        Inner inner;
        result = __real_poll_key();
    }
    edge_after();
    return result;
}

void __wrap_print_text(TextString* t, int32_t newline) {
    if (recorded_here()) note("print_text", {text(t), integer(newline)});
    if (watch::on_print) watch::on_print(t, newline);
    Inner inner;
    __real_print_text(t, newline);
}

void __wrap_end_program() {
    if (recorded_here()) note("end_program", {});
    if (watch::on_end) watch::on_end();
    Inner inner;
    __real_end_program();
}

void __wrap_draw_line(float x1, float y1, float x2, float y2, uint32_t colour, int32_t style, int32_t pattern,
                      int32_t passed) {
    ++counters.boxes;
    edge_before();
    if (recorded_here())
        note("draw_line", {number(x1), number(y1), number(x2), number(y2), integer(colour), integer(style),
                           integer(pattern), integer(passed)});
    if (watch::on_box) watch::on_box(x1, y1, x2, y2, colour);
    {
        Inner inner;
        __real_draw_line(x1, y1, x2, y2, colour, style, pattern, passed);
    }
    edge_after();
}

void __wrap_pattern_fill(float x, float y, TextString* tile, uint32_t border, TextString* background,
                         int32_t passed) {
    ++counters.pattern_fills;
    edge_before();
    if (recorded_here())
        note("pattern_fill", {number(x), number(y), text(tile), integer(border), text(background), integer(passed)});
    if (watch::on_pattern_fill) watch::on_pattern_fill(x, y, tile, true);
    {
        Inner inner;
        __real_pattern_fill(x, y, tile, border, background, passed);
    }
    if (watch::on_pattern_fill) watch::on_pattern_fill(x, y, tile, false);
    edge_after();
}

void __wrap_flood_fill(float x, float y, uint32_t fill, uint32_t border, uint32_t background, int32_t passed) {
    ++counters.floods;
    edge_before();
    if (recorded_here())
        note("flood_fill", {number(x), number(y), integer(fill), integer(border), integer(background), integer(passed)});
    if (watch::on_flood) watch::on_flood(x, y, fill, true);
    {
        Inner inner;
        __real_flood_fill(x, y, fill, border, background, passed);
    }
    if (watch::on_flood) watch::on_flood(x, y, fill, false);
    edge_after();
}

void __wrap_draw_circle(double x, double y, double radius, int32_t colour, double start, double end, double aspect,
                        int32_t passed) {
    ++counters.circles;
    edge_before();
    if (recorded_here())
        note("draw_circle", {number(x), number(y), number(radius), integer(colour), number(start), number(end),
                             number(aspect), integer(passed)});
    if (watch::on_circle) watch::on_circle(x, y, radius, colour);
    {
        Inner inner;
        __real_draw_circle(x, y, radius, colour, start, end, aspect, passed);
    }
    edge_after();
}

TextString* __wrap_char_from_code(int32_t code) {
    if (recorded_here()) note("char_from_code", {integer(code)});
    if (watch::on_character) watch::on_character(code);
    Inner inner;
    return __real_char_from_code(code);
}

void __wrap_check_statement_events(int32_t line, int32_t include_line, const char* include_file) {
    ++counters.checks_at_line[line >= 1 && line <= 160 ? line : 0];
    if (recorded_here()) {
        watch::recorder.checks_in.back().push_back(line);
        note("check_statement_events",
             {integer(line), integer(include_line), include_file == nullptr ? "null" : include_file});
    }
    {
        Inner inner;
        __real_check_statement_events(line, include_line, include_file);
    }
    if (watch::keep_event_pending) event_pending.store(1, std::memory_order_release);
    if (watch::on_event_check) watch::on_event_check(line);
}

}  // extern "C"
