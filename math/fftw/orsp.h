#pragma once

#include <cstddef>
#include <cstdint>

#include "ryx/math/fftw/ausp.h"

namespace ryx::math::fftw {

// The order spectrum of one channel: the amplitude spectrum with its line
// spacing expressed in orders of a harmonic frequency and cut at a maximum
// order. Line k lies at order k x order_resolution, order_resolution being the
// resolution (Hz) divided by harm_freq (Hz); the result holds
// round(max_order / order_resolution) lines, at most the N/2 + 1 of the full
// spectrum.
//
// Settings: "harm_freq" (Hz, a positive finite number [10]; others are ignored),
// "max_order" (>= 0 [100]). resolution() reads the order resolution.
class RYX_MATH_EXPORT orsp : public ausp
{
    Q_OBJECT
    Q_PROPERTY(double harm_freq READ harm_freq WRITE set_harm_freq NOTIFY harm_freq_changed)
    Q_PROPERTY(size_t max_order READ max_order WRITE set_max_order NOTIFY max_order_changed)

public:
    orsp(ryx::analog_data* source, const QJsonObject& settings);
    orsp();

    void init(const QJsonObject& settings) override;
    double resolution() const override;
    void init() override;
    void update() override;

    double harm_freq() const { return m_harm_freq; }
    std::size_t max_order() const { return m_max_order; }
    double order_resolution() const { return m_order_resolution; }
    // Lines of the spectrum before the cut: N/2 + 1.
    std::uint64_t full_length() const { return m_full_length; }

public slots:
    void set_harm_freq(double value);
    // Takes effect at the next frame.
    void set_max_order(std::size_t value);

signals:
    void harm_freq_changed();
    void max_order_changed();

private:
    void read_order_settings(const QJsonObject& settings);
    // order_resolution and full_length from the current resolution and N.
    void follow_geometry();
    // The number of lines the result keeps.
    std::size_t kept_lines() const;

    double m_harm_freq = 10.0;
    std::size_t m_max_order = 100;
    std::uint64_t m_full_length = 0;
    double m_order_resolution = 0.1;
};

} // namespace ryx::math::fftw
