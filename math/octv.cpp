#include "ryx/math/octv.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "ryx/core/device_lock.h"
#include "ryx/math/detail/amplitude.h"
#include "ryx/math/mathFunctions.h"
#include "ryx/math/spec.h"

namespace ryx::math {

namespace {

// More bands than any real layout has (1/12 octave over the whole range of a double).
constexpr int max_bands = 1 << 16;

int bands_of(octv::fractions f)
{
    switch (f) {
    case octv::one_third: return 3;
    case octv::one_sixth: return 6;
    case octv::one_twelwe: return 12;
    default: return 1;
    }
}

// trunc(x) as an int, saturated.
int whole(double x)
{
    if (!(x > INT_MIN))
        return x != x ? 0 : INT_MIN;
    if (x >= INT_MAX)
        return INT_MAX;
    return static_cast<int>(x);
}

} // namespace

octv::octv(ryx::analog_data* source) : QObject(source), m_source(source)
{
    m_spectrum = new spec(spec::ausp, source);
    m_spectrum->set_window(fft::blackman);
    m_spectrum->set_unit(ryx::units::linear);
    m_spectrum->set_overlap(0);
    m_spectrum->set_average(1);
    connect(m_spectrum, &spec::changed, this, &octv::spec_changed);
    connect(m_spectrum, &spec::acquired, this, &octv::acquired);
    connect(m_spectrum, &spec::progress, this, &octv::progress);
    if (m_source)
        connect(m_source, &ryx::data_model_node::deleting, this, &octv::source_deleting, Qt::DirectConnection);
    init();
}

octv::~octv()
{
    // The spectrum serves these bands alone: it goes with them rather than
    // framing and transforming the channel for nobody.
    if (m_spectrum) {
        QObject::disconnect(m_spectrum, nullptr, this, nullptr);
        delete m_spectrum.data();
    }
}

void octv::source_deleting()
{
    m_source = nullptr;
}

double octv::g_pow(double x, bool forward) const
{
    switch (m_ratio) {
    case two: return forward ? std::pow(2.0, x) : std::log2(x);
    case ten: return forward ? std::pow(10.0, 3.0 * x / 10.0) : std::log10(x) * 10.0 / 3.0;
    }
    return 0.0;
}

// IEC 61260-1 fractional-octave midband frequencies, reference 1000 Hz.
double octv::centre(int x) const
{
    const double b = m_bands_per_octave;
    if (m_bands_per_octave % 2 == 1)
        return 1000.0 * g_pow((x - 30) / b, true);
    return 1000.0 * g_pow((2.0 * x - 59.0) / (2.0 * b), true);
}

void octv::init()
{
    {
        const ryx::device_lock lock(m_source);
        m_bands_per_octave = bands_of(m_fraction);
        const double b = m_bands_per_octave;
        m_left_factor = g_pow(-1.0 / (2.0 * b), true);
        m_right_factor = g_pow(1.0 / (2.0 * b), true);

        double xl = b * g_pow(m_minimum / 1000.0, false);
        double xh = b * g_pow(m_maximum / 1000.0, false);
        if (m_bands_per_octave % 2 == 1) {
            xl += 30.0;
            xh += 30.0;
        } else {
            xl = (2.0 * xl + 59.0) / 2.0;
            xh = (2.0 * xh + 59.0) / 2.0;
        }
        m_centres.clear();
        if (std::isfinite(xl) && std::isfinite(xh)) {
            const double from = std::floor(xl);
            const double to = std::min(std::max(std::ceil(xh), from), from + max_bands);
            for (double x = from; x <= to; x += 1.0) {
                const double c = centre(static_cast<int>(x));
                if (m_maximum > m_left_factor * c && m_minimum < m_right_factor * c)
                    m_centres.push_back(c);
            }
        }
        if (m_spectrum) {
            const double lowest = m_centres.empty() ? 0.0 : m_left_factor * m_centres.front() / m_lowest_edge_line;
            const double highest = m_centres.empty() ? 0.0 : m_right_factor * m_centres.back();
            m_spectrum->set_resolution(lowest);
            m_spectrum->set_frequency(highest);
        }
        calculate();
    }
    emit initialized();
}

std::pair<int, int> octv::calculate_band_indexes(double c) const
{
    const double r = m_spectrum ? m_spectrum->resolution() : 0.0;
    const int m = m_spectrum ? static_cast<int>(std::min<std::size_t>(m_spectrum->std::vector<double>::size(), INT_MAX)) : 0;
    if (!(r > 0.0))
        return {0, 0};
    const int lo = whole(m_left_factor * c / r);
    const int hi = whole(m_right_factor * c / r);
    int e = lo < hi ? hi - 1 : lo;
    e = std::min(e, m - 1);
    return {lo, e};
}

double octv::calculate_octave(std::vector<double>::const_iterator first,
                              std::vector<double>::const_iterator last) const
{
    double level = 0.0;
    switch (m_look) {
    case amplitude:
        level = first == last ? *first : mathFunctions::max(first, last);
        break;
    case rms:
        // A band narrower than a line takes that line's level, as the amplitude look does.
        level = first == last ? *first : mathFunctions::rms(first, last);
        break;
    }
    return detail::in_unit(m_unit, m_source ? m_source->reference() : 1.0, level);
}

void octv::calculate()
{
    clear();
    if (!m_spectrum)
        return;
    const std::vector<double>& s = *m_spectrum;
    const int m = static_cast<int>(std::min<std::size_t>(s.size(), INT_MAX));
    reserve(m_centres.size());
    for (const double c : m_centres) {
        const auto [lo, e] = calculate_band_indexes(c);
        // A band beyond the published lines (or before any spectrum) has no level.
        double level = 0.0;
        if (lo >= 0 && lo < m && e >= lo)
            level = calculate_octave(s.cbegin() + lo, s.cbegin() + e);
        else
            level = detail::in_unit(m_unit, m_source ? m_source->reference() : 1.0, 0.0);
        emplace_back(c, level);
    }
}

void octv::spec_changed()
{
    {
        const ryx::device_lock lock(m_source);
        before_updating();
        calculate();
        after_updating();
    }
    emit changed();
}

double octv::left(unsigned long i) const
{
    return i < m_centres.size() ? m_left_factor * m_centres[i] : 0.0;
}

double octv::right(unsigned long i) const
{
    return i < m_centres.size() ? m_right_factor * m_centres[i] : 0.0;
}

void octv::set_minimum(double value)
{
    if (!(value > 0.1) || !(std::fabs(value - m_minimum) > 1e-9) || !std::isfinite(value))
        return;
    m_minimum = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit minimum_changed();
}

void octv::set_maximum(double value)
{
    const double rate = m_source ? m_source->get_rate() : 0.0;
    if (value > rate)
        value = rate;
    if (!(value >= 1.0) || !(std::fabs(value - m_maximum) > 1e-9))
        return;
    m_maximum = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit maximum_changed();
}

void octv::set_ratio(ratios value)
{
    if (value == m_ratio || (value != two && value != ten))
        return;
    m_ratio = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit ratio_changed();
}

void octv::set_fraction(fractions value)
{
    if (value == m_fraction || value < one || value > one_twelwe)
        return;
    m_fraction = value;
    const detail::life_guard alive(m_life);
    init();
    if (alive)
        emit fraction_changed();
}

void octv::set_look(looks value)
{
    if (value == m_look || (value != amplitude && value != rms))
        return;
    m_look = value;
    emit look_changed();
}

void octv::set_unit(ryx::units value)
{
    if (value == m_unit || static_cast<int>(value) < 0 || static_cast<int>(value) > 2)
        return;
    m_unit = value;
    emit unit_changed();
}

void octv::set_rate(double value)
{
    if (!m_source)
        return;
    const detail::life_guard alive(m_life);
    m_source->set_rate(value);
    if (alive)
        init();
}

} // namespace ryx::math
