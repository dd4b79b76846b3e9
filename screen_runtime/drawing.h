// Drawing: what the fills report about their last run (for tests and benchmarks).
#pragma once

#include <cstdint>

struct FillStats {
    uint32_t generations = 0;         // generations after the start pixel's own
    uint32_t largest_generation = 0;  // most pixels found in one generation
    uint64_t painted = 0;             // pixels painted, the start pixel included
};

// The last flood_fill or pattern_fill; all zero when it painted nothing.
FillStats last_fill_stats();
