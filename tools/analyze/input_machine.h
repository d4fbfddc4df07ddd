#pragma once

#include "input.h"

#include <cstddef>

namespace ryx::analyze::detail {

// The longest delay the generator keeps (its delay line is allocated whole).
constexpr std::size_t max_delay_samples = std::size_t(1) << 20;

// One second-order section, a0 = 1: y = b0 x + b1 x[-1] + b2 x[-2] - a1 y[-1] - a2 y[-2].
struct biquad
{
    double b0 = 1.0;
    double b1 = 0.0;
    double b2 = 0.0;
    double a1 = 0.0;
    double a2 = 0.0;
};

// The machine as generated: a rate outside (0, 10 MHz] becomes the default
// rate, the delay is capped at max_delay_samples.
machine_signal sanitised(const machine_signal& m);
// The discrete resonance of channel 1; a pass-through when resonance_hz is not
// inside (0, rate/2) or damping is not positive.
biquad resonance_of(const machine_signal& m);

} // namespace ryx::analyze::detail
