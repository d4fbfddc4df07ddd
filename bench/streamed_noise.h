#pragma once

// The input of the spectral benchmarks: 10^6 samples of uniform noise (fixed
// seed) at 51200 Hz, pushed into a channel in runs of 1024 as a host does.
#include <algorithm>
#include <cstddef>
#include <random>
#include <vector>

#include "ryx/core/analog_data.h"

namespace ryx::bench {

constexpr std::size_t kSamples = 1000000;
constexpr std::size_t kRun = 1024;
constexpr double kRate = 51200.0;

inline std::vector<double> signal_samples()
{
    std::mt19937 gen(17);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> x(kSamples);
    for (auto& v : x)
        v = dist(gen);
    return x;
}

inline void push_runs(ryx::analog_data* ch, const std::vector<double>& x)
{
    for (std::size_t at = 0; at < x.size(); at += kRun) {
        const auto first = x.cbegin() + static_cast<std::ptrdiff_t>(at);
        const std::size_t n = std::min(kRun, x.size() - at);
        ch->analog_data::set_data(first, first + static_cast<std::ptrdiff_t>(n));
    }
}

} // namespace ryx::bench
