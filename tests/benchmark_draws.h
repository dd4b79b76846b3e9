// The routine's random draws worked out from their rules alone: the
// generator's sequence, the draw of a whole number, and the rejection loops
// that decide how many draws each value takes and which test sends a loop
// back. The tests of the routine build what they expect on it.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace draws {

// The state that follows `state`.
constexpr uint32_t successor(uint32_t state) { return (state * 16598013u + 12820163u) & 0xFFFFFFu; }

class Generator {
public:
    static constexpr uint32_t seed = 327680;

    // The generator's fixed start, moved on by `steps` draws.
    explicit Generator(uint64_t steps = 0) {
        for (uint64_t i = 0; i < steps; ++i) step();
    }
    float next() {
        step();
        return static_cast<float>(state_) / 16777216.0f;
    }
    uint64_t steps() const { return steps_; }
    uint32_t state() const { return state_; }

private:
    void step() {
        state_ = successor(state_);
        ++steps_;
    }
    uint32_t state_ = seed;
    uint64_t steps_ = 0;
};

// A whole number from 0 to scale - 1: the product goes to single precision
// before the floor.
struct Draw {
    float product;
    float value;
};

inline Draw draw(Generator& g, float scale) {
    float r = g.next();
    float product = static_cast<float>(static_cast<long double>(r) * static_cast<long double>(scale));
    return {product, std::floor(product)};
}

// One pass of a rejection loop: every value drawn, then the tests in order.
// `rejected_by` is the index of the first test that held, -1 when none did.
struct Attempt {
    std::vector<Draw> values;
    int rejected_by = -1;
};

// `bounds` tests values 0, 1, ... in order; values past the bounds are drawn
// but never tested.
inline Attempt attempt(Generator& g, const std::vector<float>& scales, const std::vector<float>& bounds) {
    Attempt a;
    for (float scale : scales) a.values.push_back(draw(g, scale));
    for (size_t i = 0; i < bounds.size(); ++i) {
        if (a.values[i].value > bounds[i]) {
            a.rejected_by = static_cast<int>(i);
            break;
        }
    }
    return a;
}

// Every pass of one rejection loop, the accepted one last.
inline std::vector<Attempt> until_accepted(Generator& g, const std::vector<float>& scales,
                                           const std::vector<float>& bounds) {
    std::vector<Attempt> passes;
    do passes.push_back(attempt(g, scales, bounds));
    while (passes.back().rejected_by >= 0);
    return passes;
}

// The loops of the four workloads, by the scales and bounds of their draws.
inline const std::vector<float> colour_scales{1000.0f}, colour_bounds{15.0f};
inline const std::vector<float> corner_scales(4, 1000.0f), corner_bounds{640.0f, 480.0f, 640.0f, 480.0f};
inline const std::vector<float> byte_scales(7, 1000.0f), byte_bounds(7, 255.0f);
inline const std::vector<float> point_scales{1000.0f, 1000.0f}, point_bounds{640.0f, 480.0f};
inline const std::vector<float> centre_scales{1000.0f, 1000.0f, 100.0f}, centre_bounds{640.0f, 480.0f};

// Where each workload starts in the sequence.
constexpr uint64_t workload_2_start = 10'449'263;
constexpr uint64_t workload_3_start = workload_2_start + 9'003'738;
constexpr uint64_t workload_4_start = workload_3_start + 629'080;

}  // namespace draws
