#pragma once

#include <vector>

#include "ryx/math/fftw/dbl.h"

namespace ryx::math::fftw {

// Magnitude of the cross spectrum, averaged over the last `average` frame
// pairs: y[k] = the mean over the pairs held of |X0[k] conj(X1[k])| / (N/2)^2,
// so that tones of amplitudes A0 and A1 on one line read A0 x A1 (rectangular
// window; other windows carry their amplitude factors). A restart or a
// reconfiguration of the analysers starts the history afresh.
class RYX_MATH_EXPORT cross : public dbl
{
    Q_OBJECT

public:
    cross(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings);
    // Two analysers without sources, owned by this object.
    cross();

    void update() override;
    // Frame pairs held.
    std::size_t pairs() const { return m_entries.size(); }

protected:
    void pairing_restarted() override;

private:
    detail::row_ring<double> m_entries;
};

} // namespace ryx::math::fftw
