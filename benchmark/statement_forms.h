// The forms the benchmark's numbered statements are written in. Each keeps
// the routine's arithmetic in extended precision and rounds only where a
// value is stored or passed.
#pragma once

#include <cstdint>
#include <initializer_list>

#include "screen_runtime.h"

namespace forms {

// The event check after a statement: one load and a branch while nothing is
// pending, so the hot loops pay almost nothing for it.
inline void check(int32_t line) {
    if (event_pending.load(std::memory_order_relaxed) != 0) [[unlikely]]
        check_statement_events(line, 0, nullptr);
}

// A loop head only makes the event check.
inline void loop_head(int32_t line) { check(line); }

// Statements that made temporaries release them down to the routine's mark.
struct Temporaries {
    uint32_t mark;
    void release_and_check(int32_t line) const {
        release_temp_strings(mark, 0);
        check(line);
    }
};

// A random whole number from 0 to scale - 1. The product is rounded to single
// precision before the floor, which is what lets 639.999985... draw 640.
inline float random_draw(float scale) {
    float r = next_random(0.0f, 0);
    long double product = static_cast<long double>(r) * static_cast<long double>(scale);
    return floor_single(static_cast<float>(product));
}

// A rejection test: true sends the loop back to its head. A pending error
// counts as holding, so the loop goes round until it is reported and cleared.
inline bool rejected(float value, float bound, int32_t line) {
    if (static_cast<long double>(value) > static_cast<long double>(bound) || error_pending()) {
        check(line);
        return true;
    }
    return false;
}

// The seconds from one time of day to a later one. The time of day falls
// back to 0 at midnight, so a negative difference is a run across it and
// one day short; both readings are multiples of 2^-28 below 2^17, so the
// sum stays exact.
inline double elapsed_since(double start, double reading) {
    long double difference = static_cast<long double>(reading) - static_cast<long double>(start);
    if (difference < 0) difference += 86400.0L;
    return static_cast<double>(difference);
}

// Colours and character codes go to the runtime as the nearest integer.
inline uint32_t code_of(float value) {
    return static_cast<uint32_t>(round_to_int64(static_cast<long double>(value)));
}

// A counted loop over a single counter with double control values.
//   for (CountedLoop loop(counter, 100.0); loop.head(line); loop.next()) { ... }
class CountedLoop {
public:
    CountedLoop(float& counter, double final_value)
        : counter_(counter), current_(1.0), final_(final_value), step_(1.0) {}

    // The head: counter assignment, bound test, event check. A pending error
    // on the way in from above enters the body once without either.
    bool head(int32_t line) {
        if (entering_) {
            entering_ = false;
            if (error_pending()) {
                check(line);
                return true;
            }
        }
        counter_ = static_cast<float>(current_);
        if (static_cast<long double>(current_) > static_cast<long double>(final_)) return false;
        check(line);
        return true;
    }

    // The loop end: the increment starts from the counter as stored.
    void next() {
        current_ = static_cast<double>(static_cast<long double>(counter_) + static_cast<long double>(step_));
    }

private:
    float& counter_;
    double current_;
    double final_;
    double step_;
    bool entering_ = true;
};

// One item of a print statement: a literal with its length, or a number.
struct PrintItem {
    const char* literal;
    int32_t length;
    double number;

    static PrintItem text(const char* literal, int32_t length) { return {literal, length, 0.0}; }
    static PrintItem value(double number) { return {nullptr, 0, number}; }
};

// A print statement: each item goes through a working string; a number is
// followed by one blank; an error pending after an item stops the printing.
inline void print(const Temporaries& temporaries, int32_t line, std::initializer_list<PrintItem> items) {
    TextString* working = new_text_string(0, false);
    bool stopped = false;
    for (const PrintItem& item : items) {
        if (item.literal != nullptr) {
            assign_text(working, text_from_literal_len(item.literal, item.length));
        } else {
            TextString* blank = text_from_literal(" ");
            TextString* number = number_to_text_double(item.number);
            assign_text(working, concat_text(number, blank));
        }
        if (error_pending()) {
            stopped = true;
            break;
        }
        ensure_text_fits(working);
        print_text(working, 0);
    }
    if (!stopped) print_text(empty_text, 1);
    free_text_string(working);
    temporaries.release_and_check(line);
}

// The key wait: poll until a key arrives, one poll per pass.
inline void wait_for_key(const Temporaries& temporaries, TextString* key, int32_t head_line, int32_t poll_line,
                         int32_t test_line) {
    for (;;) {
        loop_head(head_line);
        assign_text(key, poll_key());
        temporaries.release_and_check(poll_line);
        int32_t empty = release_temp_strings(temporaries.mark, text_equal(key, text_from_literal_len("", 0)));
        if (empty == 0 && !error_pending()) return;
        check(test_line);
    }
}

// Variables live in static cells that nothing frees; the pool does not clear
// them.
inline float& single_variable() {
    auto* cell = static_cast<float*>(alloc_static_cell(4));
    *cell = 0.0f;
    return *cell;
}

inline double& double_variable() {
    auto* cell = static_cast<double*>(alloc_static_cell(8));
    *cell = 0.0;
    return *cell;
}

inline TextString* text_variable() { return new_text_string(0, false); }

}  // namespace forms
