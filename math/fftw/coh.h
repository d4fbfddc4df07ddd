#pragma once

#include <complex>
#include <vector>

#include "ryx/math/fftw/dbl.h"

namespace ryx::math::fftw {

// Coherence of the two channels over the last `average` frame pairs: the
// magnitude-squared coherence
//   y[k] = |sum X0[k] conj(X1[k])|^2 / (sum |X0[k]|^2 x sum |X1[k]|^2),
// sums over the pairs held. It lies in [0, 1]: 1 on every line for one pair and
// for a channel that is a linear function of the other, towards 0 for
// independent signals as pairs accumulate. A line where either channel has no
// energy in any pair held reads 0. A restart or a reconfiguration of the
// analysers starts the history afresh.
class RYX_MATH_EXPORT coh : public dbl
{
    Q_OBJECT

public:
    coh(ryx::analog_data* source_0, ryx::analog_data* source_1, QJsonObject settings);
    // Two analysers without sources, owned by this object.
    coh();

    void update() override;
    // Frame pairs held.
    std::size_t pairs() const { return m_terms.size(); }

protected:
    void pairing_restarted() override;

private:
    // One line of one frame pair.
    struct term
    {
        double power_0;
        double power_1;
        std::complex<double> cross;
    };
    detail::row_ring<term> m_terms;
    std::vector<term> m_sums;
};

} // namespace ryx::math::fftw
