// The probe's hold on natural_log, kept apart: interposing on the delay loops'
// logarithm costs time, so the timed trace leaves it out.
#include "call_recorder.h"
#include "routine_probe.h"

namespace probe {
bool cheap_logarithm = false;
}

extern "C" {

double __real_natural_log(double);

double __wrap_natural_log(double x) {
    ++probe::counters.logarithms;
    if (probe::recording && probe::call_depth == 0) [[unlikely]]
        probe::record("natural_log(" + probe::number(x) + ")");
    if (probe::cheap_logarithm) [[likely]]
        return -16.74190721293474;
    return __real_natural_log(x);
}

}  // extern "C"
