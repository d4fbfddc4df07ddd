#include "ryx/dsp/Cascade.h"

#include <cmath>

namespace Dsp {

void Cascade::setCascadeStorage(const Storage& storage)
{
    m_numStages = 0;
    m_maxStages = storage.maxStages;
    m_stageArray = storage.stageArray;
}

complex_t Cascade::response(double normalizedFrequency) const
{
    const double w = 2 * doublePi * normalizedFrequency;
    const complex_t z1 = std::polar(1., -w);
    const complex_t z2 = std::polar(1., -2 * w);
    complex_t numerator = 1;
    complex_t denominator = 1;
    for (int i = 0; i < m_numStages; ++i) {
        const Biquad& s = m_stageArray[i];
        numerator *= s.getB0() + s.getB1() * z1 + s.getB2() * z2;
        denominator *= 1. + s.getA1() * z1 + s.getA2() * z2;
    }
    const complex_t h = numerator / denominator;
    if (std::isfinite(h.real()) && std::isfinite(h.imag()))
        return h;

    // With many sections whose poles or zeros lie close to the unit circle the
    // separate products overflow or underflow (0/0 at a band-pass's zeros at DC);
    // the product of each section's own ratio does not.
    complex_t product = 1;
    for (int i = 0; i < m_numStages; ++i) {
        const Biquad& s = m_stageArray[i];
        product *= (s.getB0() + s.getB1() * z1 + s.getB2() * z2) / (1. + s.getA1() * z1 + s.getA2() * z2);
    }
    return product;
}

std::vector<PoleZeroPair> Cascade::getPoleZeros() const
{
    std::vector<PoleZeroPair> vpz;
    vpz.reserve(static_cast<std::size_t>(m_numStages));
    const Biquad* stage = m_stageArray;
    for (int i = m_numStages; --i >= 0;) {
        const BiquadPoleState bps(*stage++);
        Dsp_check (!bps.isSinglePole() || i == 0);
        vpz.push_back(bps);
    }
    return vpz;
}

void Cascade::applyScale(double scale)
{
    Dsp_check (m_numStages > 0);
    m_stageArray->applyScale(scale);
}

void Cascade::setLayout(const LayoutBase& proto)
{
    const int numPoles = proto.getNumPoles();
    const int numStages = (numPoles + 1) / 2;
    if (numStages > m_maxStages) {
        // Never keep a stage count that the storage cannot hold.
        m_numStages = 0;
        detail::checkFailed("m_numStages <= m_maxStages", __FILE__, __PRETTY_FUNCTION__);
    }
    m_numStages = numStages;

    try {
        for (int i = 0; i < m_numStages; ++i)
            m_stageArray[i].setPoleZeroPair(proto[i]);

        // The normalisation must land on a finite, non-zero gain; a response that
        // overflows or vanishes at the normal angle would load a silent or NaN filter.
        const double scale = proto.getNormalGain() / std::abs(response(proto.getNormalW() / (2 * doublePi)));
        Dsp_check (std::isfinite (scale) && scale > 0);
        applyScale(scale);
        const Biquad& first = m_stageArray[0];
        Dsp_check (std::isfinite (first.getB0 ()) && std::isfinite (first.getB1 ()) && std::isfinite (first.getB2 ()));
    } catch (...) {
        // A half-loaded chain is never left behind.
        m_numStages = 0;
        throw;
    }
}

} // namespace Dsp
