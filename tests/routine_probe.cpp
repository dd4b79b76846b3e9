#include "routine_probe.h"

#include <charconv>
#include <cstdio>
#include <utility>

#include "pages.h"
#include "platform/platform.h"

namespace probe {

Counters counters;
bool cheap_logarithm = false;
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

Recorder recorder;
bool recording = false;
thread_local int call_depth = 0;

uint64_t page_hash() {
    uint64_t hash = 0xcbf29ce484222325ULL;
    for (uint8_t byte : write_page->pixels) {
        hash ^= byte;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

namespace {

bool armed = false;
bool window_open = false;
size_t window_index = 0;
size_t names_given = 0;
std::vector<std::pair<const TextString*, std::string>> text_names;

bool reached(const Edge& edge) { return edge.counter != nullptr && counters.*edge.counter == edge.value; }

void open_window() {
    window_open = true;
    recording = true;
    recorder.calls_in.emplace_back();
    recorder.checks_in.emplace_back();
}

void close_window() {
    window_open = false;
    recording = false;
    ++window_index;
}

// Around a call that may open or close a window: the opening call is
// recorded, the closing one after or before it as the window asks.
void edge_before() {
    if (!armed || window_index >= recorder.windows.size()) return;
    const Window& w = recorder.windows[window_index];
    if (window_open && w.close_before && reached(w.close)) close_window();
    if (!window_open && window_index < recorder.windows.size() && reached(recorder.windows[window_index].open))
        open_window();
}

void edge_after() {
    if (!armed || !window_open) return;
    const Window& w = recorder.windows[window_index];
    if (!w.close_before && reached(w.close)) close_window();
}

// Only the routine's own calls are recorded and named: those the runtime
// makes inside them are one level deeper.
struct Inner {
    Inner() { ++call_depth; }
    ~Inner() { --call_depth; }
    Inner(const Inner&) = delete;
    Inner& operator=(const Inner&) = delete;
};

bool recorded_here() { return recording && call_depth == 0; }

template <class T>
std::string shortest(T value) {
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string quoted(const uint8_t* bytes, int32_t length) {
    std::string text = "\"";
    for (int32_t i = 0; i < length; ++i) {
        uint8_t b = bytes[i];
        if (b >= 32 && b < 127 && b != '"' && b != '\\') {
            text += static_cast<char>(b);
        } else {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\x%02X", b);
            text += escape;
        }
    }
    return text + "\"";
}

std::string name_of(const TextString* text) {
    for (const auto& [pointer, name] : text_names)
        if (pointer == text) return name;
    return {};
}

// A string argument: the routine's variable by its name and bytes, the
// runtime's empty string by name, others by their bytes.
std::string text(const TextString* t) {
    if (t == nullptr) return "null";
    if (t == empty_text) return "empty_text";
    std::string name = name_of(t);
    if (name.empty() && t->temporary) name = "tmp";
    return name + quoted(t->data, t->length);
}

// An assignment's destination by name alone: its old bytes do not matter.
std::string destination(const TextString* t) {
    std::string name = name_of(t);
    return name.empty() ? text(t) : name;
}

std::string integer(int64_t value) { return std::to_string(value); }

std::string join(const char* name, std::initializer_list<std::string> args) {
    std::string s = name;
    s += '(';
    bool first = true;
    for (const std::string& a : args) {
        if (!first) s += ", ";
        s += a;
        first = false;
    }
    return s + ')';
}

void note(const char* name, std::initializer_list<std::string> args) { record(join(name, args)); }

void name_new_text(const TextString* t) {
    std::string name =
        names_given < recorder.text_names.size() ? recorder.text_names[names_given++] : recorder.other_text_name;
    text_names.emplace_back(t, std::move(name));
}

void forget_text(const TextString* t) {
    for (size_t i = 0; i < text_names.size(); ++i) {
        if (text_names[i].first == t) {
            text_names.erase(text_names.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
}

}  // namespace

std::string number(double value) { return shortest(value); }

void record(std::string call) {
    if (!recorder.calls) return;
    std::vector<Call>& calls = recorder.calls_in.back();
    if (!calls.empty() && calls.back().text == call) {
        ++calls.back().times;
        return;
    }
    calls.push_back({std::move(call), 1});
}

void arm_recorder() {
    armed = true;
    if (!recorder.windows.empty() && recorder.windows.front().open.counter == nullptr) open_window();
}

}  // namespace probe

using probe::counters;
using probe::Inner;
using probe::integer;
using probe::note;
using probe::number;
using probe::recorded_here;
using probe::text;

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
uint32_t __real_temp_string_count();
void* __real_alloc_static_cell(int32_t);
void __real_receive_chain_data();
int32_t __real_release_temp_strings(uint32_t, int32_t);
TextString* __real_new_text_string(uint32_t, bool);
TextString* __real_text_from_literal(const char*);
TextString* __real_text_from_literal_len(const char*, int32_t);
TextString* __real_assign_text(TextString*, TextString*);
TextString* __real_concat_text(TextString*, TextString*);
void __real_free_text_string(TextString*);
int32_t __real_text_equal(TextString*, TextString*);
TextString* __real_number_to_text_double(double);
float __real_floor_single(float);
int64_t __real_round_to_int64(long double);
int32_t __real_set_window_title(TextString*);
void __real_set_fullscreen_mode(int32_t, int32_t);
void __real_set_screen_mode(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);
void __real_locate_cursor(int32_t, int32_t, int32_t, int32_t, int32_t, int32_t);
void __real_ensure_text_fits(TextString*);
// platform::_controlfp and platform::signal, by their linker names.
unsigned __real__ZN8platform10_controlfpEjj(unsigned, unsigned);
platform::SignalHandler __real__ZN8platform6signalEiPFviE(int, platform::SignalHandler);

void __wrap_clear_screen(int32_t method, uint32_t colour, int32_t passed) {
    ++counters.clears;
    probe::edge_before();
    if (recorded_here()) note("clear_screen", {integer(method), integer(colour), integer(passed)});
    if (probe::before_clear) probe::before_clear();
    {
        Inner inner;
        __real_clear_screen(method, colour, passed);
    }
    probe::edge_after();
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
    probe::edge_before();
    if (recorded_here()) note("seconds_since_midnight", {number(accuracy), integer(passed)});
    if (probe::before_time_read) probe::before_time_read();
    double result;
    {
        Inner inner;
        result = __real_seconds_since_midnight(accuracy, passed);
    }
    probe::edge_after();
    return result;
}

TextString* __wrap_poll_key() {
    ++counters.polls;
    probe::edge_before();
    if (recorded_here()) note("poll_key", {});
    if (probe::before_poll) probe::before_poll();
    TextString* result;
    {
        Inner inner;
        result = __real_poll_key();
    }
    probe::edge_after();
    return result;
}

void __wrap_print_text(TextString* t, int32_t newline) {
    if (recorded_here()) note("print_text", {text(t), integer(newline)});
    if (probe::on_print) probe::on_print(t, newline);
    Inner inner;
    __real_print_text(t, newline);
}

void __wrap_end_program() {
    if (recorded_here()) note("end_program", {});
    if (probe::on_end) probe::on_end();
    Inner inner;
    __real_end_program();
}

void __wrap_draw_line(float x1, float y1, float x2, float y2, uint32_t colour, int32_t style, int32_t pattern,
                      int32_t passed) {
    ++counters.boxes;
    probe::edge_before();
    if (recorded_here())
        note("draw_line", {number(x1), number(y1), number(x2), number(y2), integer(colour), integer(style),
                           integer(pattern), integer(passed)});
    if (probe::on_box) probe::on_box(x1, y1, x2, y2, colour);
    {
        Inner inner;
        __real_draw_line(x1, y1, x2, y2, colour, style, pattern, passed);
    }
    probe::edge_after();
}

void __wrap_pattern_fill(float x, float y, TextString* tile, uint32_t border, TextString* background,
                         int32_t passed) {
    ++counters.pattern_fills;
    probe::edge_before();
    if (recorded_here())
        note("pattern_fill", {number(x), number(y), text(tile), integer(border), text(background), integer(passed)});
    if (probe::on_pattern_fill) probe::on_pattern_fill(x, y, tile, true);
    {
        Inner inner;
        __real_pattern_fill(x, y, tile, border, background, passed);
    }
    if (probe::on_pattern_fill) probe::on_pattern_fill(x, y, tile, false);
    probe::edge_after();
}

void __wrap_flood_fill(float x, float y, uint32_t fill, uint32_t border, uint32_t background, int32_t passed) {
    ++counters.floods;
    probe::edge_before();
    if (recorded_here())
        note("flood_fill", {number(x), number(y), integer(fill), integer(border), integer(background), integer(passed)});
    if (probe::on_flood) probe::on_flood(x, y, fill, true);
    {
        Inner inner;
        __real_flood_fill(x, y, fill, border, background, passed);
    }
    if (probe::on_flood) probe::on_flood(x, y, fill, false);
    probe::edge_after();
}

void __wrap_draw_circle(double x, double y, double radius, int32_t colour, double start, double end, double aspect,
                        int32_t passed) {
    ++counters.circles;
    probe::edge_before();
    if (recorded_here())
        note("draw_circle", {number(x), number(y), number(radius), integer(colour), number(start), number(end),
                             number(aspect), integer(passed)});
    if (probe::on_circle) probe::on_circle(x, y, radius, colour);
    {
        Inner inner;
        __real_draw_circle(x, y, radius, colour, start, end, aspect, passed);
    }
    probe::edge_after();
}

TextString* __wrap_char_from_code(int32_t code) {
    if (recorded_here()) note("char_from_code", {integer(code)});
    if (probe::on_character) probe::on_character(code);
    Inner inner;
    return __real_char_from_code(code);
}

void __wrap_check_statement_events(int32_t line, int32_t include_line, const char* include_file) {
    ++counters.checks_at_line[line >= 1 && line <= 160 ? line : 0];
    if (recorded_here()) {
        probe::recorder.checks_in.back().push_back(line);
        note("check_statement_events",
             {integer(line), integer(include_line), include_file == nullptr ? "null" : include_file});
    }
    {
        Inner inner;
        __real_check_statement_events(line, include_line, include_file);
    }
    if (probe::keep_event_pending) event_pending.store(1, std::memory_order_release);
    if (probe::on_event_check) probe::on_event_check(line);
}

uint32_t __wrap_temp_string_count() {
    if (recorded_here()) note("temp_string_count", {});
    Inner inner;
    return __real_temp_string_count();
}

void* __wrap_alloc_static_cell(int32_t size) {
    if (recorded_here()) note("alloc_static_cell", {integer(size)});
    Inner inner;
    return __real_alloc_static_cell(size);
}

void __wrap_receive_chain_data() {
    if (recorded_here()) note("receive_chain_data", {});
    Inner inner;
    __real_receive_chain_data();
}

int32_t __wrap_release_temp_strings(uint32_t mark, int32_t value) {
    if (recorded_here()) note("release_temp_strings", {integer(mark), integer(value)});
    Inner inner;
    return __real_release_temp_strings(mark, value);
}

TextString* __wrap_new_text_string(uint32_t length, bool temporary) {
    const bool routines_own = probe::call_depth == 0;
    if (recorded_here()) note("new_text_string", {integer(length), temporary ? "true" : "false"});
    TextString* result;
    {
        Inner inner;
        result = __real_new_text_string(length, temporary);
    }
    if (routines_own && !temporary) probe::name_new_text(result);
    return result;
}

TextString* __wrap_text_from_literal(const char* literal) {
    if (recorded_here())
        note("text_from_literal",
             {literal == nullptr ? "null"
                                 : probe::quoted(reinterpret_cast<const uint8_t*>(literal),
                                                 static_cast<int32_t>(std::char_traits<char>::length(literal)))});
    Inner inner;
    return __real_text_from_literal(literal);
}

TextString* __wrap_text_from_literal_len(const char* literal, int32_t length) {
    if (recorded_here())
        note("text_from_literal_len",
             {probe::quoted(reinterpret_cast<const uint8_t*>(literal), length), integer(length)});
    Inner inner;
    return __real_text_from_literal_len(literal, length);
}

TextString* __wrap_assign_text(TextString* destination, TextString* source) {
    if (recorded_here()) note("assign_text", {probe::destination(destination), text(source)});
    Inner inner;
    return __real_assign_text(destination, source);
}

TextString* __wrap_concat_text(TextString* a, TextString* b) {
    if (recorded_here()) note("concat_text", {text(a), text(b)});
    Inner inner;
    return __real_concat_text(a, b);
}

void __wrap_free_text_string(TextString* t) {
    if (recorded_here()) note("free_text_string", {text(t)});
    if (probe::call_depth == 0) probe::forget_text(t);
    Inner inner;
    __real_free_text_string(t);
}

int32_t __wrap_text_equal(TextString* a, TextString* b) {
    if (recorded_here()) note("text_equal", {text(a), text(b)});
    Inner inner;
    return __real_text_equal(a, b);
}

TextString* __wrap_number_to_text_double(double value) {
    if (recorded_here()) note("number_to_text_double", {number(value)});
    Inner inner;
    return __real_number_to_text_double(value);
}

float __wrap_floor_single(float x) {
    if (recorded_here()) note("floor_single", {number(x)});
    Inner inner;
    return __real_floor_single(x);
}

int64_t __wrap_round_to_int64(long double x) {
    if (recorded_here()) note("round_to_int64", {probe::shortest(x)});
    Inner inner;
    return __real_round_to_int64(x);
}

int32_t __wrap_set_window_title(TextString* title) {
    if (recorded_here()) note("set_window_title", {text(title)});
    Inner inner;
    return __real_set_window_title(title);
}

void __wrap_set_fullscreen_mode(int32_t option, int32_t passed) {
    if (recorded_here()) note("set_fullscreen_mode", {integer(option), integer(passed)});
    Inner inner;
    __real_set_fullscreen_mode(option, passed);
}

void __wrap_set_screen_mode(int32_t mode, int32_t colour_switch, int32_t active_page, int32_t visual_page,
                            int32_t refresh, int32_t passed) {
    if (recorded_here())
        note("set_screen_mode", {integer(mode), integer(colour_switch), integer(active_page), integer(visual_page),
                                 integer(refresh), integer(passed)});
    Inner inner;
    __real_set_screen_mode(mode, colour_switch, active_page, visual_page, refresh, passed);
}

void __wrap_locate_cursor(int32_t row, int32_t column, int32_t visibility, int32_t first_line, int32_t last_line,
                          int32_t passed) {
    if (recorded_here())
        note("locate_cursor", {integer(row), integer(column), integer(visibility), integer(first_line),
                               integer(last_line), integer(passed)});
    Inner inner;
    __real_locate_cursor(row, column, visibility, first_line, last_line, passed);
}

void __wrap_ensure_text_fits(TextString* t) {
    if (recorded_here()) note("ensure_text_fits", {text(t)});
    Inner inner;
    __real_ensure_text_fits(t);
}

unsigned __wrap__ZN8platform10_controlfpEjj(unsigned new_value, unsigned mask) {
    char args[32];
    std::snprintf(args, sizeof args, "%#x, %#x", new_value, mask);
    if (recorded_here()) probe::record(std::string("_controlfp(") + args + ")");
    Inner inner;
    return __real__ZN8platform10_controlfpEjj(new_value, mask);
}

platform::SignalHandler __wrap__ZN8platform6signalEiPFviE(int signal_number, platform::SignalHandler handler) {
    if (recorded_here())
        note("signal", {integer(signal_number), handler == on_floating_point_signal ? "on_floating_point_signal"
                                                                                    : "another handler"});
    Inner inner;
    return __real__ZN8platform6signalEiPFviE(signal_number, handler);
}

}  // extern "C"
