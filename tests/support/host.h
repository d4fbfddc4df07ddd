#pragma once

#include <QString>
#include <cstddef>
#include <functional>
#include <memory>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"

namespace ryx::test {

// A device with channels at a given rate, fed exactly as the host feeds it:
// each run is stored in the channel with the base set_data, which publishes it
// and pushes it into the derived channels below.
class host
{
public:
    explicit host(double rate, int channels = 1);

    ryx::device& dev() { return *m_device; }
    ryx::analog_data* channel(int index = 0) const { return m_channels.at(static_cast<std::size_t>(index)); }

    // Pushes the samples into the channel as runs of the given length.
    void push(ryx::analog_data* ch, const std::vector<double>& samples, std::size_t run);
    // Pushes the samples as runs whose lengths the sizer returns (each at least 1).
    void push(ryx::analog_data* ch, const std::vector<double>& samples,
              const std::function<std::size_t()>& sizer);
    // Pushes one run.
    void push(ryx::analog_data* ch, const std::vector<double>& run);

    // Deletes the device with its whole tree.
    void destroy() { m_device.reset(); m_channels.clear(); }

private:
    std::unique_ptr<ryx::device> m_device;
    std::vector<ryx::analog_data*> m_channels;
};

// n samples of a sine: offset + amplitude sin(2 pi f i / rate + phase).
std::vector<double> sine(std::size_t n, double rate, double f, double amplitude = 1.0,
                         double offset = 0.0, double phase = 0.0);
// n samples of uniform noise in [-1, 1) from a fixed seed.
std::vector<double> noise(std::size_t n, unsigned seed = 1);

} // namespace ryx::test
