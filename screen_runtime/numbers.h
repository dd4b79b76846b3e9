// Clock base, test clock and the random generator's state.
#pragma once

#include <cstdint>
#include <ctime>

// Takes the clock base. With wait set it first waits for the wall-clock
// second to change, so the base falls on a whole second.
void clock_init(bool wait_for_second_change);

// Tests: the base lies at `day_ms_at_base` milliseconds after local midnight
// and milliseconds_since_start reads `ms_since_start` until set again.
void set_test_clock(int64_t day_ms_at_base, int64_t ms_since_start);
void set_test_clock_now(int64_t ms_since_start);
void clear_test_clock();
// Tests: the wall clock's whole seconds, as the clock base waits for their
// change, come from `now`; null gives the system's clock back.
void set_test_wall_clock(time_t (*now)());

uint32_t random_state();
void set_random_state(uint32_t state);  // tests only
void random_init();                     // back to 327680
