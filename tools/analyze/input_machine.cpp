// The built-in machine signal, generated sample by sample from a fixed seed so
// that any split of the input into runs yields the same samples.
#include "input.h"
#include "input_limits.h"
#include "input_machine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>

namespace ryx::analyze {

namespace {

using detail::format_number;

constexpr double two_pi = 6.283185307179586476925286766559;

// cos(2 pi x) for x in cycles: the whole cycles are dropped first, so that the
// phase keeps its precision over hours of signal.
double cos_cycles(double x)
{
    return std::cos(two_pi * (x - std::floor(x)));
}

// Standard normal pairs by the Box-Muller transform on a fixed 64-bit Mersenne
// twister: the sequence is the same with every standard library.
class gaussian_pairs
{
public:
    explicit gaussian_pairs(unsigned seed) : m_engine(seed) {}

    void next(double& z0, double& z1)
    {
        // u1 in (0, 1] (so that log(u1) is finite), u2 in [0, 1).
        const double u1 = static_cast<double>((m_engine() >> 11) + 1) * 0x1.0p-53;
        const double u2 = static_cast<double>(m_engine() >> 11) * 0x1.0p-53;
        const double r = std::sqrt(-2.0 * std::log(u1));
        z0 = r * std::cos(two_pi * u2);
        z1 = r * std::sin(two_pi * u2);
    }

private:
    std::mt19937_64 m_engine;
};

class machine_source final : public source
{
public:
    explicit machine_source(const machine_signal& m)
        : m_signal(detail::sanitised(m))
        , m_filter(detail::resonance_of(m_signal))
        , m_delay(m_signal.delay_samples)
        , m_noise(m_signal.seed)
        , m_line(m_delay + 1, 0.0)
    {
        const machine_signal& s = m_signal;
        const double total = std::isfinite(s.seconds) && s.seconds > 0.0 ? std::round(s.seconds * s.rate) : 0.0;
        m_frames = static_cast<qint64>(std::min(total, 9.0e15));
        m_runup = std::isfinite(s.runup_seconds) && s.runup_seconds > 0.0 ? s.runup_seconds : 0.0;
    }

    int channels() const override { return 2; }
    double rate() const override { return m_signal.rate; }
    qint64 frames() const override { return m_frames; }

    qint64 read(std::vector<std::vector<double>>& run, std::size_t max, QString*) override
    {
        const qint64 left = m_frames - m_next;
        const std::size_t n = static_cast<std::size_t>(
            std::min<qint64>(left, static_cast<qint64>(std::min<std::size_t>(max, std::size_t(1) << 40))));
        run.resize(2);
        run[0].resize(n);
        run[1].resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            double x = 0.0;
            double y = 0.0;
            next(x, y);
            run[0][i] = x;
            run[1][i] = y;
        }
        return static_cast<qint64>(n);
    }

    QString describe() const override
    {
        return QStringLiteral("machine signal, 2 channels at %1 Hz, %2 s")
            .arg(format_number(m_signal.rate), format_number(static_cast<double>(m_frames) / m_signal.rate));
    }

private:
    // Shaft phase in cycles, relative to its value at the end of the run-up
    // (so negative during the run-up). During the run-up the frequency rises
    // linearly from runup_from_hz to shaft_hz; s = runup - t is the time left
    // to its end, and the phase still to go is the integral of the frequency
    // over [t, runup]: shaft_hz s - (shaft_hz - runup_from_hz) s^2 / (2 runup).
    double shaft_cycles(qint64 n) const
    {
        const double rate = m_signal.rate;
        const double t = static_cast<double>(n) / rate;
        if (t >= m_runup)
            return m_signal.shaft_hz * (t - m_runup);
        const double s = m_runup - t;
        return -(m_signal.shaft_hz * s - (m_signal.shaft_hz - m_signal.runup_from_hz) * s * s / (2.0 * m_runup));
    }

    void next(double& x, double& y)
    {
        const qint64 n = m_next++;
        const double t = static_cast<double>(n) / m_signal.rate;

        double z0 = 0.0;
        double z1 = 0.0;
        m_noise.next(z0, z1);

        // Channel 0: shaft harmonics, the amplitude-modulated carrier, noise.
        const double shaft = shaft_cycles(n);
        double v = 0.0;
        const std::size_t harmonics = m_signal.harmonics.size();
        for (std::size_t k = 1; k <= harmonics; ++k) {
            const double phase = k <= m_signal.phases.size() ? m_signal.phases[k - 1] : 0.0;
            v += m_signal.harmonics[k - 1] * cos_cycles(static_cast<double>(k) * shaft + phase / two_pi);
        }
        if (m_signal.carrier_amplitude != 0.0) {
            const double envelope = 1.0 + m_signal.modulation_depth * cos_cycles(m_signal.defect_hz * t);
            v += m_signal.carrier_amplitude * envelope * cos_cycles(m_signal.carrier_hz * t);
        }
        v += m_signal.noise_rms_0 * z0;
        x = v;

        // Channel 1: channel 0 as delivered through the resonance (direct form
        // II transposed), then the delay line, then its own noise.
        const detail::biquad& f = m_filter;
        const double w = f.b0 * v + m_s1;
        m_s1 = f.b1 * v - f.a1 * w + m_s2;
        m_s2 = f.b2 * v - f.a2 * w;
        m_line[m_head] = w;
        m_head = m_head + 1 == m_line.size() ? 0 : m_head + 1;
        // After the write, m_head holds the oldest value: the output m_delay samples ago.
        y = m_line[m_head] + m_signal.noise_rms_1 * z1;
    }

    machine_signal m_signal;
    detail::biquad m_filter;
    std::size_t m_delay;
    gaussian_pairs m_noise;
    std::vector<double> m_line;
    std::size_t m_head = 0;
    double m_s1 = 0.0;
    double m_s2 = 0.0;
    double m_runup = 0.0;
    qint64 m_frames = 0;
    qint64 m_next = 0;
};

} // namespace

namespace detail {

// H(s) = w0^2 / (s^2 + 2 zeta w0 s + w0^2) under s = K (1 - z^-1) / (1 + z^-1),
// with K = w0 / tan(w0 / (2 rate)) so that the digital resonance falls exactly
// at resonance_hz (the bilinear transform's frequency warping is undone there).
biquad resonance_of(const machine_signal& m)
{
    biquad f;
    const double nyquist = m.rate / 2.0;
    if (!(m.rate > 0.0) || !(m.resonance_hz > 0.0) || !(m.resonance_hz < nyquist) || !(m.damping > 0.0)
        || !std::isfinite(m.damping))
        return f;
    const double w0 = two_pi * m.resonance_hz;
    const double k = w0 / std::tan(w0 / (2.0 * m.rate));
    const double k2 = k * k;
    const double w2 = w0 * w0;
    const double a0 = k2 + 2.0 * m.damping * w0 * k + w2;
    f.b0 = w2 / a0;
    f.b1 = 2.0 * w2 / a0;
    f.b2 = w2 / a0;
    f.a1 = (2.0 * w2 - 2.0 * k2) / a0;
    f.a2 = (k2 - 2.0 * m.damping * w0 * k + w2) / a0;
    return f;
}

machine_signal sanitised(const machine_signal& m)
{
    machine_signal s = m;
    if (!(s.rate > 0.0 && s.rate <= max_rate))
        s.rate = machine_signal{}.rate;
    s.delay_samples = std::min(s.delay_samples, max_delay_samples);
    return s;
}

} // namespace detail

std::complex<double> machine_signal::response(double f) const
{
    const machine_signal s = detail::sanitised(*this);
    const detail::biquad c = detail::resonance_of(s);
    const double w = two_pi * f / s.rate;
    const std::complex<double> z1 = std::polar(1.0, -w);
    const std::complex<double> z2 = z1 * z1;
    const std::complex<double> h = (c.b0 + c.b1 * z1 + c.b2 * z2) / (1.0 + c.a1 * z1 + c.a2 * z2);
    return h * std::polar(1.0, -w * static_cast<double>(s.delay_samples));
}

std::unique_ptr<source> open_machine(const machine_signal& m)
{
    return std::make_unique<machine_source>(m);
}

} // namespace ryx::analyze
