#include "ryx/math/fftw/psd.h"

namespace ryx::math::fftw {

psd::psd(ryx::analog_data* source, const QJsonObject& settings) : ausp(source, settings) {}

psd::psd() = default;

void psd::update()
{
    average_lines(true);
    apply_view(10.0);
}

} // namespace ryx::math::fftw
