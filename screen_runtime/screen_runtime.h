// The screen runtime as the benchmark program sees it: the operations it
// calls, the counted string type and the flags its statement forms test.
#pragma once

#include <atomic>
#include <cstdint>

// Counted byte string. Always handled through a pointer to its descriptor;
// the bytes may move when the string store grows or compacts, so nobody
// holds `data` across calls.
struct TextString {
    uint8_t* data = nullptr;  // no terminating NUL
    int32_t length = 0;
    int32_t temp_index = -1;  // entry in the list of temporaries, -1 when permanent
    int32_t store_index = -1; // entry in the list of store strings, -1 when not in the store
    uint32_t capacity = 0;    // bytes reserved in the store (length + gap)
    bool temporary = false;
    bool read_only = false;   // a view over a literal: never written, owned or moved
    bool fixed_length = false;
};

// The operations have C linkage: a plain, stable symbol per operation, which
// also lets a test build interpose on the routine's calls at link time.
extern "C" {

// Shared flags. Written by one thread, read by another: relaxed atomics,
// which compile to plain loads and stores. event_pending announces the
// others: it is set with release after them, and check_statement_events
// takes it with acquire before it reads them. Every update of it after
// start-up is a read-modify-write, so a check that sees the newest value
// sees what every setter before it wrote, not only the last one.
extern std::atomic<int32_t> event_pending;
extern std::atomic<int32_t> pending_error;
extern std::atomic<uint8_t> suspend_program;
extern std::atomic<uint8_t> stop_program;
extern std::atomic<uint8_t> close_program;

// The runtime's permanent empty string.
extern TextString* empty_text;

// Program thread, statement events and errors.
void program_thread_entry();
void on_floating_point_signal(int signal_number);
void receive_chain_data();
void* alloc_static_cell(int32_t size);
void check_statement_events(int32_t line, int32_t include_line, const char* include_file);
uint32_t temp_string_count();  // entries in the list of temporaries: the routine's mark
int32_t release_temp_strings(uint32_t mark, int32_t value);
int32_t raise_error(int32_t code);
void report_error();
[[noreturn]] void halt_program_thread();

// Text strings.
TextString* new_text_string(uint32_t length, bool temporary);
TextString* text_from_literal(const char* literal);
TextString* text_from_literal_len(const char* literal, int32_t length);
TextString* assign_text(TextString* destination, TextString* source);
TextString* concat_text(TextString* a, TextString* b);
void free_text_string(TextString* text);
int32_t text_equal(TextString* a, TextString* b);
TextString* char_from_code(int32_t code);
TextString* number_to_text_double(double value);

// Numbers, time and random values.
double seconds_since_midnight(double accuracy, int32_t passed);
int64_t milliseconds_since_start();
float next_random(float argument, int32_t passed);
float floor_single(float x);
int64_t round_to_int64(long double x);
double natural_log(double x);

// Window, screen and text output.
int32_t set_window_title(TextString* title);
void set_fullscreen_mode(int32_t option, int32_t passed);
void set_screen_mode(int32_t mode, int32_t colour_switch, int32_t active_page, int32_t visual_page,
                     int32_t refresh, int32_t passed);
void clear_screen(int32_t method, uint32_t colour, int32_t passed);
void locate_cursor(int32_t row, int32_t column, int32_t visibility, int32_t first_line,
                   int32_t last_line, int32_t passed);
void set_text_viewport(int32_t top, int32_t bottom, int32_t passed);
void ensure_text_fits(TextString* text);
void print_text(TextString* text, int32_t newline);
void print_newline();

// Drawing.
void draw_line(float x1, float y1, float x2, float y2, uint32_t colour, int32_t style,
               int32_t pattern, int32_t passed);
void fill_box(float x1, float y1, float x2, float y2, uint32_t colour);
void plot_point(int32_t x, int32_t y, uint32_t colour);
void flood_fill(float x, float y, uint32_t fill, uint32_t border, uint32_t background,
                int32_t passed);
void pattern_fill(float x, float y, TextString* tile, uint32_t border, TextString* background,
                  int32_t passed);
void draw_circle(double x, double y, double radius, int32_t colour, double start, double end,
                 double aspect, int32_t passed);

// Keyboard and end.
TextString* poll_key();
[[noreturn]] void end_program();

// The program the runtime runs on its program thread.
void benchmark_main(int32_t unused);

}  // extern "C"

// An error waits for its report: the operations that say so do nothing meanwhile.
inline bool error_pending() { return pending_error.load(std::memory_order_relaxed) != 0; }
