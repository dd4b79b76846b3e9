// The benchmark in its window, its timed run starting at 23:59:50.000 and
// ending at 00:00:50.500 by a test clock, the logarithm stood in for so
// that the run takes about a minute rather than several.
#include "benchmark_watch.h"
#include "numbers.h"
#include "runtime.h"

int main(int argc, char** argv) {
    watch::cheap_logarithm = true;
    watch::before_time_read = [] {
        if (watch::counters.time_reads == 1) set_test_clock(86'390'000, 0);
        if (watch::counters.time_reads == 2) set_test_clock_now(60'500);
    };
    runtime_main(argc, argv);
}
