// Numbers, time of day and the random generator.
#include <atomic>
#include <cfenv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

#include "errors.h"
#include "numbers.h"
#include "platform/platform.h"
#include "screen_runtime.h"

namespace {

// The one generator state; only the program thread steps it.
uint32_t state = 327680;

// Clock base: the count of milliseconds_since_start at a whole wall-clock
// second and the milliseconds of the local day at that second.
std::atomic<int64_t> base_count{0};
std::atomic<int64_t> base_day_ms{0};

std::atomic<bool> test_clock_on{false};
std::atomic<int64_t> test_clock_now{0};
std::atomic<time_t (*)()> test_wall_clock{nullptr};

int64_t local_day_ms(time_t seconds) {
    struct tm local;
    if (localtime_r(&seconds, &local) == nullptr) return 0;
    return (static_cast<int64_t>(local.tm_hour) * 3600 + local.tm_min * 60 + local.tm_sec) * 1000;
}

time_t wall_second() {
    if (time_t (*test_now)() = test_wall_clock.load(std::memory_order_relaxed)) return test_now();
    struct timespec now;
    clock_gettime(CLOCK_REALTIME, &now);
    return now.tv_sec;
}

}  // namespace

void clock_init(bool wait_for_second_change) {
    test_clock_on.store(false, std::memory_order_relaxed);
    time_t second = wall_second();
    if (wait_for_second_change) {
        // Spin rather than sleep: a sleep would land the base milliseconds
        // after the second really changed.
        const time_t start = second;
        while ((second = wall_second()) == start) platform::Sleep(0);
    }
    base_count.store(milliseconds_since_start(), std::memory_order_relaxed);
    base_day_ms.store(local_day_ms(second), std::memory_order_relaxed);
}

void set_test_clock(int64_t day_ms_at_base, int64_t ms_since_start) {
    test_clock_now.store(ms_since_start, std::memory_order_relaxed);
    test_clock_on.store(true, std::memory_order_relaxed);
    base_count.store(0, std::memory_order_relaxed);
    base_day_ms.store(day_ms_at_base, std::memory_order_relaxed);
}

void set_test_clock_now(int64_t ms_since_start) { test_clock_now.store(ms_since_start, std::memory_order_relaxed); }

void clear_test_clock() { clock_init(false); }

void set_test_wall_clock(time_t (*now)()) { test_wall_clock.store(now, std::memory_order_relaxed); }

uint32_t random_state() { return state; }
void set_random_state(uint32_t s) { state = s & 0xFFFFFFu; }
void random_init() { state = 327680; }

TextString* number_to_text_double(double value) {
    char text[32];
    int n;
    if (!std::isfinite(value)) {
        // Never handed one by the benchmark; keep it readable and bounded.
        n = std::snprintf(text, sizeof text, "% g", value);
    } else {
        // Sixteen significant digits; a 9 in the last place means the value
        // sits just below a shorter decimal, so take fifteen and pad.
        char sci[40];
        std::snprintf(sci, sizeof sci, "% .15E", value);
        if (sci[17] == '9') {
            std::snprintf(sci, sizeof sci, "% .14E", value);
            std::memmove(sci + 18, sci + 17, std::strlen(sci + 17) + 1);
            sci[17] = '0';
        }
        // sci: sign, digit, '.', 15 digits, 'E', exponent sign, digits.
        const char sign = sci[0];
        char digits[16];
        digits[0] = sci[1];
        std::memcpy(digits + 1, sci + 3, 15);
        const int e = std::atoi(sci + 19);
        int d = 16;
        while (d > 0 && digits[d - 1] == '0') --d;

        if (d == 0) {
            n = std::snprintf(text, sizeof text, " 0");
        } else if (e > 15 || e - d < -17) {
            n = 0;
            text[n++] = sign;
            text[n++] = digits[0];
            if (d > 1) {
                text[n++] = '.';
                std::memcpy(text + n, digits + 1, d - 1);
                n += d - 1;
            }
            const int magnitude = e < 0 ? -e : e;
            n += std::snprintf(text + n, sizeof text - n, "D%c%0*d", e < 0 ? '-' : '+',
                               magnitude <= 99 ? 2 : 3, magnitude);
        } else {
            const int decimals = d - e - 1 > 0 ? d - e - 1 : 0;
            n = std::snprintf(text, sizeof text, "% .*f", decimals, value);
            if (text[1] == '0') {
                std::memmove(text + 1, text + 2, n - 1);
                --n;
            }
        }
    }
    TextString* t = new_text_string(static_cast<uint32_t>(n), true);
    if (t != nullptr) std::memcpy(t->data, text, n);
    return t;
}

double seconds_since_midnight(double accuracy, int32_t passed) {
    if (error_pending()) return 0.0;
    // NaN is refused with the non-positive accuracies: it would make the
    // time of day NaN.
    const bool accuracy_given = passed != 0;
    if (accuracy_given && !(accuracy > 0.0)) {
        raise_error(error_code::illegal_function_call);
        return 0.0;
    }
    const uint32_t count = static_cast<uint32_t>(milliseconds_since_start()) -
                           static_cast<uint32_t>(base_count.load(std::memory_order_relaxed)) +
                           static_cast<uint32_t>(base_day_ms.load(std::memory_order_relaxed));
    const uint32_t ms = count % 86400000u;
    const double s = ms / 1000.0;
    const double factor = accuracy_given ? 1.0 / accuracy : 18.2;
    // Every step is a double: the product rounded before the whole number is
    // taken. With a 64-bit mantissa 2.5 s x 18.2 stays below 45.5 and reads
    // one tick low; as a double it is the tie 45.5, which goes to 46.
    const double product = s * factor;
    const double ticks = std::nearbyint(product);
    const double seconds = ticks / factor;
    return accuracy_given ? seconds : static_cast<double>(static_cast<float>(seconds));
}

int64_t milliseconds_since_start() {
    if (test_clock_on.load(std::memory_order_relaxed)) return test_clock_now.load(std::memory_order_relaxed);
    return static_cast<int64_t>(platform::clock());
}

float next_random(float argument, int32_t passed) {
    if (error_pending()) return 0.0f;
    const bool argument_given = passed != 0;
    const float a = argument_given ? argument : 1.0f;
    if (a != 0.0f) {
        if (a < 0.0f) {
            uint32_t b;
            std::memcpy(&b, &a, sizeof b);
            state = (b & 0xFFFFFFu) + (b >> 24);  // the step below brings it back to 24 bits
        }
        state = (state * 16598013u + 12820163u) & 0xFFFFFFu;
    }
    return static_cast<float>(state) / 16777216.0f;
}

float floor_single(float x) { return static_cast<float>(std::floor(static_cast<double>(x))); }

int64_t round_to_int64(long double x) {
    constexpr long double two_63 = 9223372036854775808.0L;
    if (x > 9223372036854775807.0L) {
        // Past the signed range: the unsigned 64-bit pattern, as long as
        // there is one; beyond 2^64 the processor's "integer indefinite".
        if (!(x < 2 * two_63)) return INT64_MIN;
        return static_cast<int64_t>(static_cast<uint64_t>(llrintl(x - two_63)) | (uint64_t{1} << 63));
    }
    return static_cast<int64_t>(llrintl(x));
}

// Out of line and opaque to the optimiser: every call runs the x87
// logarithm, so a delay loop of logarithms really takes its time.
__attribute__((noinline)) double natural_log(double x) {
    if (!(x > 0.0)) {
        raise_error(error_code::illegal_function_call);
        return 0.0;
    }
#if defined(__x86_64__) || defined(__i386__)
    long double result;
    __asm__ volatile(
        "fldln2\n\t"
        "fldl %1\n\t"
        "fyl2x"
        : "=t"(result)
        : "m"(x)
        : "st(1)");
    return static_cast<double>(result);
#else
    return static_cast<double>(logl(static_cast<long double>(x)));
#endif
}
