#include "routine_probe.h"

#include "pages.h"

namespace probe {

Counters counters;
bool cheap_logarithm = false;
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

}  // namespace probe

using probe::counters;

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
    if (probe::before_clear) probe::before_clear();
    __real_clear_screen(method, colour, passed);
}

float __wrap_next_random(float argument, int32_t passed) {
    // The routine always draws with no argument: a step unless an error is pending.
    if (pending_error.load(std::memory_order_relaxed) == 0) ++counters.random_steps;
    return __real_next_random(argument, passed);
}

double __wrap_seconds_since_midnight(double accuracy, int32_t passed) {
    ++counters.time_reads;
    if (probe::before_time_read) probe::before_time_read();
    return __real_seconds_since_midnight(accuracy, passed);
}

TextString* __wrap_poll_key() {
    ++counters.polls;
    if (probe::before_poll) probe::before_poll();
    return __real_poll_key();
}

void __wrap_print_text(TextString* text, int32_t newline) {
    if (probe::on_print) probe::on_print(text, newline);
    __real_print_text(text, newline);
}

void __wrap_end_program() {
    if (probe::on_end) probe::on_end();
    __real_end_program();
}

void __wrap_draw_line(float x1, float y1, float x2, float y2, uint32_t colour, int32_t style, int32_t pattern,
                      int32_t passed) {
    ++counters.boxes;
    if (probe::on_box) probe::on_box(x1, y1, x2, y2, colour);
    __real_draw_line(x1, y1, x2, y2, colour, style, pattern, passed);
}

void __wrap_pattern_fill(float x, float y, TextString* tile, uint32_t border, TextString* background,
                         int32_t passed) {
    ++counters.pattern_fills;
    if (probe::on_pattern_fill) probe::on_pattern_fill(x, y, tile, true);
    __real_pattern_fill(x, y, tile, border, background, passed);
    if (probe::on_pattern_fill) probe::on_pattern_fill(x, y, tile, false);
}

void __wrap_flood_fill(float x, float y, uint32_t fill, uint32_t border, uint32_t background, int32_t passed) {
    ++counters.floods;
    if (probe::on_flood) probe::on_flood(x, y, fill, true);
    __real_flood_fill(x, y, fill, border, background, passed);
    if (probe::on_flood) probe::on_flood(x, y, fill, false);
}

void __wrap_draw_circle(double x, double y, double radius, int32_t colour, double start, double end, double aspect,
                        int32_t passed) {
    ++counters.circles;
    if (probe::on_circle) probe::on_circle(x, y, radius, colour);
    __real_draw_circle(x, y, radius, colour, start, end, aspect, passed);
}

TextString* __wrap_char_from_code(int32_t code) {
    if (probe::on_character) probe::on_character(code);
    return __real_char_from_code(code);
}

void __wrap_check_statement_events(int32_t line, int32_t include_line, const char* include_file) {
    __real_check_statement_events(line, include_line, include_file);
    if (probe::on_event_check) probe::on_event_check(line);
}

}  // extern "C"
