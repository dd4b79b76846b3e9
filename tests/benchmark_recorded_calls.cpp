// The watch's wrappers of the calls it only passes to the call recorder.
#include "benchmark_call_recorder.h"
#include "platform/platform.h"

using namespace watch;

extern "C" {

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
    const bool routines_own = watch::call_depth == 0;
    if (recorded_here()) note("new_text_string", {integer(length), temporary ? "true" : "false"});
    TextString* result;
    {
        Inner inner;
        result = __real_new_text_string(length, temporary);
    }
    if (routines_own && !temporary) name_new_text(result);
    return result;
}

TextString* __wrap_text_from_literal(const char* literal) {
    if (recorded_here())
        note("text_from_literal",
             {literal == nullptr ? "null"
                                 : quoted(reinterpret_cast<const uint8_t*>(literal),
                                                 static_cast<int32_t>(std::char_traits<char>::length(literal)))});
    Inner inner;
    return __real_text_from_literal(literal);
}

TextString* __wrap_text_from_literal_len(const char* literal, int32_t length) {
    if (recorded_here())
        note("text_from_literal_len",
             {quoted(reinterpret_cast<const uint8_t*>(literal), length), integer(length)});
    Inner inner;
    return __real_text_from_literal_len(literal, length);
}

TextString* __wrap_assign_text(TextString* destination, TextString* source) {
    if (recorded_here()) note("assign_text", {watch::destination(destination), text(source)});
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
    if (watch::call_depth == 0) forget_text(t);
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
    if (recorded_here()) note("round_to_int64", {extended(x)});
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
    if (recorded_here()) record(std::string("_controlfp(") + args + ")");
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
