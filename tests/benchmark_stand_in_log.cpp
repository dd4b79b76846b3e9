// The watch's hold on natural_log, kept apart: interposing on the delay loops'
// logarithm costs time, so the timed trace leaves it out.
#include "benchmark_call_recorder.h"
#include "benchmark_watch.h"

namespace watch {
bool cheap_logarithm = false;
}

extern "C" {

double __real_natural_log(double);

double __wrap_natural_log(double x) {
    ++watch::counters.logarithms;
    if (watch::recording && watch::call_depth == 0) [[unlikely]]
        watch::record("natural_log(" + watch::number(x) + ")");
    if (watch::cheap_logarithm) [[likely]]
        return -16.74190721293474;
    return __real_natural_log(x);
}

}  // extern "C"
