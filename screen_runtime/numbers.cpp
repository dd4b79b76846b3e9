// Placeholder numbers and time.
#include <cmath>
#include <cstdio>
#include <cstring>

#include "numbers.h"
#include "platform/platform.h"
#include "screen_runtime.h"

namespace {
uint32_t state = 327680;
}

void clock_init(bool) {}
void set_test_clock(int64_t, int64_t) {}
void set_test_clock_now(int64_t) {}
void clear_test_clock() {}
uint32_t random_state() { return state; }
void set_random_state(uint32_t s) { state = s & 0xFFFFFF; }
void random_init() { state = 327680; }

TextString* number_to_text_double(double value) {
    char buffer[40];
    int n = std::snprintf(buffer, sizeof buffer, "% .15g", value);
    TextString* t = new_text_string(static_cast<uint32_t>(n), true);
    std::memcpy(t->data, buffer, n);
    return t;
}

double seconds_since_midnight(double, int32_t) { return 0.0; }

int64_t milliseconds_since_start() { return platform::clock(); }

float next_random(float, int32_t) {
    if (pending_error.load(std::memory_order_relaxed) != 0) return 0.0f;
    state = (state * 16598013u + 12820163u) & 0xFFFFFFu;
    return static_cast<float>(state) / 16777216.0f;
}

float floor_single(float x) { return static_cast<float>(std::floor(static_cast<double>(x))); }

int64_t round_to_int64(long double x) { return static_cast<int64_t>(std::llrintl(x)); }

double natural_log(double x) {
    if (!(x > 0.0)) {
        raise_error(5);
        return 0.0;
    }
    return static_cast<double>(std::log(static_cast<long double>(x)));
}
