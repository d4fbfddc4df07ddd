#include "support/host.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace ryx::test {

host::host(double rate, int channels) : m_device(std::make_unique<ryx::device>("test device"))
{
    for (int i = 0; i < channels; ++i)
        m_channels.push_back(m_device->add_channel(QStringLiteral("ch%1").arg(i), rate));
}

void host::push(ryx::analog_data* ch, const std::vector<double>& samples, std::size_t run)
{
    push(ch, samples, [run] { return run; });
}

void host::push(ryx::analog_data* ch, const std::vector<double>& samples,
                const std::function<std::size_t()>& sizer)
{
    std::size_t at = 0;
    while (at < samples.size()) {
        const std::size_t n = std::min(std::max<std::size_t>(sizer(), 1), samples.size() - at);
        const auto first = samples.cbegin() + static_cast<std::ptrdiff_t>(at);
        ch->analog_data::set_data(first, first + static_cast<std::ptrdiff_t>(n));
        at += n;
    }
}

void host::push(ryx::analog_data* ch, const std::vector<double>& run)
{
    ch->analog_data::set_data(run.cbegin(), run.cend());
}

std::vector<double> sine(std::size_t n, double rate, double f, double amplitude, double offset, double phase)
{
    std::vector<double> out(n);
    const double w = 2.0 * M_PI * f / rate;
    for (std::size_t i = 0; i < n; ++i)
        out[i] = offset + amplitude * std::sin(w * static_cast<double>(i) + phase);
    return out;
}

std::vector<double> noise(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::uniform_real_distribution<double> dist(-1.0, 1.0);
    std::vector<double> out(n);
    for (auto& x : out)
        x = dist(gen);
    return out;
}

} // namespace ryx::test
