#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <limits>
#include <random>
#include <string>

#include "numbers.h"
#include "runtime.h"
#include "screen_runtime.h"

namespace {

class Numbers : public ::testing::Test {
protected:
    void SetUp() override { runtime_init(false); }
};

std::string text_of(double value) {
    TextString* t = number_to_text_double(value);
    std::string s(reinterpret_cast<const char*>(t->data), static_cast<size_t>(t->length));
    release_temp_strings(0, 0);
    return s;
}

uint32_t float_bits(float f) {
    uint32_t b;
    std::memcpy(&b, &f, sizeof b);
    return b;
}

double double_from_bits(uint64_t b) {
    double d;
    std::memcpy(&d, &b, sizeof d);
    return d;
}

// Time of day with the clock `ms_after_base` milliseconds past a base that
// lies `day_ms` into the local day.
double time_of_day(int64_t day_ms, int64_t ms_after_base = 0, double accuracy = 0.0, int32_t passed = 0) {
    set_test_clock(day_ms, ms_after_base);
    return seconds_since_midnight(accuracy, passed);
}

void clear_error() {
    pending_error.store(0);
    event_pending.store(0);
}

}  // namespace

TEST_F(Numbers, NumberTexts) {
    struct Case {
        double value;
        const char* text;
    } cases[] = {
        // Exponent form.
        {1.5e20, " 1.5D+20"},
        {1e-17, " 1D-17"},
        {-1.2345e-300, "-1.2345D-300"},
        {0.012345678901234567, " 1.234567890123457D-02"},
        {0.0549450553953647613525390625, " 5.494505539536476D-02"},
        {1e16, " 1D+16"},
        {1.5e200, " 1.5D+200"},
        {1.7976931348623157e308, " 1.797693134862316D+308"},
        // Subnormals: the least, the largest, one whose sixteenth digit is 9.
        {5e-324, " 4.940656458412465D-324"},
        {-5e-324, "-4.940656458412465D-324"},
        {2.2250738585072009e-308, " 2.225073858507201D-308"},
        {1e-310, " 9.99999999999997D-311"},
        // Fixed form.
        {0.5, " .5"},
        {-0.5, "-.5"},
        {1e-16, " .0000000000000001"},
        {1e15, " 1000000000000000"},
        {37.5, " 37.5"},
        {0.1 + 0.2, " .3"},
        {0.7, " .7"},
        {123.4375, " 123.4375"},
        {123.40625, " 123.40625"},
        {123.4065951667726039886474609375, " 123.4065951667726"},
        {3600, " 3600"},
        {0.0546875, " .0546875"},
        {-86339.5054931640625, "-86339.50549316406"},
        // Sixteen digits at exponent 15 stay fixed; the value itself is printed.
        {1234567890123456.0, " 1234567890123456"},
        {1234567890123459.0, " 1234567890123459"},
        // A 9 in the sixteenth place: fifteen digits instead.
        {std::nextafter(1.0, 0.0), " 1"},
        {0.1234567890123459, " .123456789012346"},
        // Zero of either sign.
        {0.0, " 0"},
        {-0.0, " 0"},
    };
    for (const Case& c : cases) EXPECT_EQ(text_of(c.value), c.text) << c.value;
}

TEST_F(Numbers, NumberTextNeverPasses23Characters) {
    EXPECT_EQ(text_of(-1.2345678901234567e-300), "-1.234567890123457D-300");
    std::mt19937_64 bits(12345);
    for (int i = 0; i < 20000; ++i) {
        double v = double_from_bits(bits());
        if (!std::isfinite(v)) continue;
        EXPECT_LE(text_of(v).size(), 23u) << v;
    }
}

TEST_F(Numbers, NumberTextWhileErrorPending) {
    raise_error(7);
    EXPECT_EQ(text_of(37.5), " 37.5");
}

TEST_F(Numbers, RandomArguments) {
    const float first = next_random(-5.0f, 0);  // not given: stepped as with 1
    EXPECT_EQ(first, 11837123 / 16777216.0f);
    EXPECT_EQ(next_random(0.0f, 1), first);  // 0: the same value again
    EXPECT_EQ(random_state(), 11837123u);
    EXPECT_EQ(next_random(2.5f, 1), 8949370 / 16777216.0f);

    // Below 0: the state comes from the argument's bits, whatever it was.
    EXPECT_EQ(next_random(-1.0f, 1), 3758214 / 16777216.0f);
    set_random_state(42);
    EXPECT_EQ(next_random(-1.0f, 1), 3758214 / 16777216.0f);
}

TEST_F(Numbers, RandomWhileErrorPending) {
    raise_error(7);
    EXPECT_EQ(next_random(0.0f, 0), 0.0f);
    EXPECT_EQ(next_random(-1.0f, 1), 0.0f);
    EXPECT_EQ(random_state(), 327680u);
}

TEST_F(Numbers, TimeOfDayInTicks) {
    EXPECT_EQ(time_of_day(12 * 3600000 + 30), 43200.0546875);
    EXPECT_EQ(time_of_day(10 * 3600000), 36000.0);
    EXPECT_EQ(time_of_day(10 * 3600000, 123400), 36123.40625);
    EXPECT_EQ(time_of_day(55), 0.0549450553953647613525390625);

    // 0 for the first 28 ms of the day, 86400 for the last 27.
    EXPECT_EQ(time_of_day(0), 0.0);
    EXPECT_EQ(time_of_day(27), 0.0);
    EXPECT_GT(time_of_day(28), 0.0);
    EXPECT_LT(time_of_day(86399972), 86400.0);
    EXPECT_EQ(time_of_day(86399973), 86400.0);
    EXPECT_EQ(time_of_day(86399999), 86400.0);
}

// Readings whose product is a tie only once rounded to double: 2.5 s x 18.2
// is 45.4999999999999982 with a 64-bit mantissa but 45.5 as a double, which
// goes to the even 46. Each result is the whole tick count over the factor,
// as a double and, without an accuracy, then as a single.
TEST_F(Numbers, TimeOfDayRoundsTheDoubleProductToEven) {
    struct Case {
        int64_t day_ms;
        double accuracy;
        double seconds;
    } cases[] = {
        {2500, 0.0, 2.52747249603271484375},  // 45.5 -> 46 ticks
        {36002500, 0.0, 36002.52734375},      // 655245.5 -> 655246
        {86392500, 0.0, 86392.53125},         // 1572343.5 -> 1572344
        {50, 0.1, 0.0},                       // factor 10: 0.5 -> 0
        {150, 0.1, 2 / 10.0},                 // 1.5 -> 2
        {250, 0.1, 2 / 10.0},                 // 2.5 -> 2
    };
    for (const Case& c : cases) {
        const bool given = c.accuracy != 0.0;
        EXPECT_EQ(time_of_day(c.day_ms, 0, c.accuracy, given ? 1 : 0), c.seconds) << c.day_ms;
    }
}

TEST_F(Numbers, TimeOfDayWraps) {
    // Past midnight the day starts again.
    EXPECT_EQ(time_of_day(86399000, 2000), time_of_day(1000));
    // The count is taken in 32 bits: 2^32 ms after the base reads as the base.
    EXPECT_EQ(time_of_day(36000000, (int64_t{1} << 32) + 5000), time_of_day(36005000));
}

TEST_F(Numbers, TimeOfDayWithAccuracy) {
    EXPECT_EQ(time_of_day(10 * 3600000, 123400, 0.001, 1), 36123.4);  // no single rounding
    EXPECT_EQ(time_of_day(10 * 3600000, 123400, 0.5, 1), 36123.5);
    EXPECT_EQ(pending_error.load(), 0);

    for (double bad : {0.0, -0.0, -1.0, std::numeric_limits<double>::quiet_NaN()}) {
        clear_error();
        EXPECT_EQ(time_of_day(12 * 3600000, 0, bad, 1), 0.0) << bad;
        EXPECT_EQ(pending_error.load(), 5) << bad;
        EXPECT_EQ(event_pending.load(), 1);
    }
}

TEST_F(Numbers, TimeOfDayWhileErrorPending) {
    raise_error(7);
    EXPECT_EQ(time_of_day(12 * 3600000), 0.0);
    EXPECT_EQ(time_of_day(12 * 3600000, 0, -1.0, 1), 0.0);
    EXPECT_EQ(pending_error.load(), 7);
}

namespace {

// A wall clock at 10:00:00 UTC that turns to 10:00:01 once 200 ms have
// passed by milliseconds_since_start, which it notes at the change.
constexpr time_t ten_o_clock = 86400 + 10 * 3600;  // 2 January 1970
int64_t wall_started_at = -1, wall_changed_at = -1;
time_t wall_turning_at_200_ms() {
    const int64_t now = milliseconds_since_start();
    if (wall_started_at < 0) wall_started_at = now;
    if (now - wall_started_at < 200) return ten_o_clock;
    if (wall_changed_at < 0) wall_changed_at = now;
    return ten_o_clock + 1;
}

}  // namespace

// The base is the new second's milliseconds of the day at the count of the
// change: a reading to the millisecond right after it is 10:00:01 plus the
// few milliseconds since. The old second would read a second early, a count
// noted before the wait 200 ms late.
TEST_F(Numbers, ClockBaseIsTakenAtTheNewSecond) {
    const char* zone = std::getenv("TZ");
    const std::string saved_zone = zone ? zone : "";
    setenv("TZ", "UTC0", 1);
    tzset();
    wall_started_at = wall_changed_at = -1;
    set_test_wall_clock(wall_turning_at_200_ms);
    clock_init(true);
    const double reading = seconds_since_midnight(0.001, 1);
    const int64_t read_by = milliseconds_since_start();
    set_test_wall_clock(nullptr);
    if (zone)
        setenv("TZ", saved_zone.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();

    ASSERT_GE(wall_changed_at, 0);
    const int64_t ms_after_the_second = std::llround(reading * 1000) - 36'001'000;
    EXPECT_GE(ms_after_the_second, 0) << reading;
    EXPECT_LE(ms_after_the_second, read_by - wall_changed_at) << reading;
}

TEST_F(Numbers, RealClockFollowsLocalTime) {
    clock_init(true);
    const double reading = seconds_since_midnight(0.0, 0);
    time_t now = std::time(nullptr);
    struct tm local;
    ASSERT_NE(localtime_r(&now, &local), nullptr);
    const double expected = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
    double diff = std::fabs(reading - expected);
    diff = std::fmin(diff, 86400.0 - diff);  // a reading across midnight
    EXPECT_LT(diff, 1.5);
    EXPECT_GE(reading, 0.0);
    EXPECT_LE(reading, 86400.0);
}

TEST_F(Numbers, LogarithmOfTheDelayConstant) {
    const double k = double_from_bits(0x3E6CC553391A625Full);
    ASSERT_EQ(k, 5.3589793170057245e-08);
    const double l = natural_log(k);
    EXPECT_EQ(l, -16.74190721293474);
    EXPECT_EQ(float_bits(static_cast<float>(l)), 0xC185EF6Du);
    EXPECT_EQ(natural_log(1.0), 0.0);
    EXPECT_EQ(pending_error.load(), 0);
}

TEST_F(Numbers, LogarithmOutsideItsDomain) {
    for (double bad : {0.0, -0.0, -1.0}) {
        clear_error();
        EXPECT_EQ(natural_log(bad), 0.0) << bad;
        EXPECT_EQ(pending_error.load(), 5) << bad;
    }
}

TEST_F(Numbers, LogarithmWhileErrorPending) {
    raise_error(7);
    EXPECT_EQ(natural_log(5.3589793170057245e-08), -16.74190721293474);
    EXPECT_EQ(natural_log(0.0), 0.0);
    EXPECT_EQ(pending_error.load(), 7);
}

TEST_F(Numbers, FloorSingle) {
    struct Case {
        float x, floor;
    } cases[] = {{2.5f, 2}, {-2.5f, -3}, {640.0f, 640}, {0.99999994f, 0}, {-0.25f, -1}};
    for (const Case& c : cases) EXPECT_EQ(floor_single(c.x), c.floor) << c.x;
}

TEST_F(Numbers, RoundToInt64) {
    constexpr long double two_63 = 9223372036854775808.0L;
    struct Case {
        long double x;
        uint64_t bits;
    } cases[] = {
        {0.5L, 0},
        {1.5L, 2},
        {2.5L, 2},
        {-0.5L, 0},
        {-1.5L, static_cast<uint64_t>(-2)},
        {-2.5L, static_cast<uint64_t>(-2)},
        {15.0L, 15},
        {255.0L, 255},
        {two_63 - 1.5L, 0x7FFFFFFFFFFFFFFEull},
        {two_63 - 1.0L, 0x7FFFFFFFFFFFFFFFull},
        // Above the signed range: the unsigned pattern.
        {two_63 - 0.5L, 0x8000000000000000ull},
        {two_63, 0x8000000000000000ull},
        {two_63 + 1.0L, 0x8000000000000001ull},
        {2 * two_63 - 1.0L, 0xFFFFFFFFFFFFFFFFull},
    };
    for (const Case& c : cases)
        EXPECT_EQ(static_cast<uint64_t>(round_to_int64(c.x)), c.bits) << static_cast<double>(c.x);
}
