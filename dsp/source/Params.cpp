#include "ryx/dsp/Params.h"

#include <cmath>
#include <locale>
#include <sstream>
#include <stdexcept>

#include "ryx/dsp/Types.h"

namespace Dsp {

namespace {

// The logarithmic conversion works in powers of 1.5.
double logBase(double x)
{
    return std::log(x) / std::log(1.5);
}

std::ostringstream stream()
{
    std::ostringstream os;
    os.imbue(std::locale::classic());
    return os;
}

// Truncation toward zero, written like an int; values no integer can hold are
// written as they are instead of overflowing the conversion.
std::string truncated(double v)
{
    std::ostringstream os = stream();
    if (std::isfinite(v) && std::fabs(v) < 9.0e18)
        os << static_cast<long long>(v);
    else
        os << v;
    return os.str();
}

std::string fixed(double v, int decimals)
{
    std::ostringstream os = stream();
    os.setf(std::ios::fixed, std::ios::floatfield);
    os.precision(decimals);
    os << v;
    return os.str();
}

} // namespace

ParamInfo::ParamInfo()
{
    throw std::logic_error("invalid usage of ParamInfo");
}

ParamInfo::ParamInfo(ParamID id, const char* szLabel, const char* szName, double arg1, double arg2,
                     double defaultNativeValue, toControlValue_t toControlValue_proc,
                     toNativeValue_t toNativeValue_proc, toString_t toString_proc)
    : m_id(id)
    , m_szLabel(szLabel)
    , m_szName(szName)
    , m_arg1(arg1)
    , m_arg2(arg2)
    , m_defaultNativeValue(defaultNativeValue)
    , m_toControlValue(toControlValue_proc)
    , m_toNativeValue(toNativeValue_proc)
    , m_toString(toString_proc)
{
}

double ParamInfo::clamp(double nativeValue) const
{
    const double minValue = toNativeValue(0);
    const double maxValue = toNativeValue(1);
    if (nativeValue < minValue)
        nativeValue = minValue;
    else if (nativeValue > maxValue)
        nativeValue = maxValue;
    return nativeValue;
}

double ParamInfo::Int_toControlValue(double nativeValue) const
{
    return (nativeValue - m_arg1) / (m_arg2 - m_arg1);
}

double ParamInfo::Int_toNativeValue(double controlValue) const
{
    return std::floor(controlValue * (m_arg2 - m_arg1) + m_arg1 + 0.5);
}

double ParamInfo::Real_toControlValue(double nativeValue) const
{
    return (nativeValue - m_arg1) / (m_arg2 - m_arg1);
}

double ParamInfo::Real_toNativeValue(double controlValue) const
{
    return controlValue * (m_arg2 - m_arg1) + m_arg1;
}

double ParamInfo::Log_toControlValue(double nativeValue) const
{
    const double l0 = logBase(m_arg1);
    const double l1 = logBase(m_arg2);
    return (logBase(nativeValue) - l0) / (l1 - l0);
}

double ParamInfo::Log_toNativeValue(double controlValue) const
{
    const double l0 = logBase(m_arg1);
    const double l1 = logBase(m_arg2);
    return std::pow(1.5, controlValue * (l1 - l0) + l0);
}

double ParamInfo::Pow2_toControlValue(double nativeValue) const
{
    return (std::log2(nativeValue) - m_arg1) / (m_arg2 - m_arg1);
}

double ParamInfo::Pow2_toNativeValue(double controlValue) const
{
    return std::pow(2., controlValue * (m_arg2 - m_arg1) + m_arg1);
}

std::string ParamInfo::Int_toString(double nativeValue) const
{
    return truncated(nativeValue);
}

std::string ParamInfo::Hz_toString(double nativeValue) const
{
    return truncated(nativeValue) + " Hz";
}

std::string ParamInfo::Real_toString(double nativeValue) const
{
    return fixed(nativeValue, 3);
}

std::string ParamInfo::Db_toString(double nativeValue) const
{
    const double af = std::fabs(nativeValue);
    const int decimals = af < 1 ? 3 : af < 10 ? 2 : 1;
    return fixed(nativeValue, decimals) + " dB";
}

ParamInfo ParamInfo::defaultSampleRateParam()
{
    return ParamInfo(idSampleRate, "Fs", "Sample Rate", 11025, 192000, 44100, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Hz_toString);
}

ParamInfo ParamInfo::defaultCutoffFrequencyParam()
{
    return ParamInfo(idFrequency, "Fc", "Cutoff Frequency", 10, 22040, 2000, &ParamInfo::Log_toControlValue,
                     &ParamInfo::Log_toNativeValue, &ParamInfo::Hz_toString);
}

ParamInfo ParamInfo::defaultCenterFrequencyParam()
{
    return ParamInfo(idFrequency, "Fc", "Center Frequency", 10, 22040, 2000, &ParamInfo::Log_toControlValue,
                     &ParamInfo::Log_toNativeValue, &ParamInfo::Hz_toString);
}

ParamInfo ParamInfo::defaultQParam()
{
    return ParamInfo(idQ, "Q", "Resonance", -4, 4, 1, &ParamInfo::Pow2_toControlValue,
                     &ParamInfo::Pow2_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::defaultBandwidthParam()
{
    return ParamInfo(idBandwidth, "BW", "Bandwidth (Octaves)", -4, 4, 1, &ParamInfo::Pow2_toControlValue,
                     &ParamInfo::Pow2_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::defaultBandwidthHzParam()
{
    return ParamInfo(idBandwidthHz, "BW", "Bandwidth (Hz)", 10, 22040, 1720, &ParamInfo::Log_toControlValue,
                     &ParamInfo::Log_toNativeValue, &ParamInfo::Hz_toString);
}

ParamInfo ParamInfo::defaultGainParam()
{
    return ParamInfo(idGain, "Gain", "Gain", -24, 24, -6, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Db_toString);
}

ParamInfo ParamInfo::defaultSlopeParam()
{
    return ParamInfo(idSlope, "Slope", "Slope", -2, 2, 1, &ParamInfo::Pow2_toControlValue,
                     &ParamInfo::Pow2_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::defaultRippleDbParam()
{
    return ParamInfo(idRippleDb, "Ripple", "Ripple dB", 0.001, 12, 0.01, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Db_toString);
}

ParamInfo ParamInfo::defaultStopDbParam()
{
    return ParamInfo(idStopDb, "Stop", "Stopband dB", 3, 60, 48, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Db_toString);
}

ParamInfo ParamInfo::defaultRolloffParam()
{
    return ParamInfo(idRolloff, "W", "Transition Width", -16, 4, 0, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::defaultPoleRhoParam()
{
    return ParamInfo(idPoleRho, "Pd", "Pole Distance", 0, 1, 0.5, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::defaultPoleThetaParam()
{
    return ParamInfo(idPoleTheta, "Pa", "Pole Angle", 0, doublePi, doublePi / 2, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::defaultZeroRhoParam()
{
    return ParamInfo(idZeroRho, "Pd", "Zero Distance", 0, 1, 0.5, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::defaultZeroThetaParam()
{
    return ParamInfo(idZeroTheta, "Pa", "Zero Angle", 0, doublePi, doublePi / 2, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::defaultPoleRealParam()
{
    return ParamInfo(idPoleReal, "A1", "Pole Real", -1, 1, 0.25, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::defaultZeroRealParam()
{
    return ParamInfo(idZeroReal, "B1", "Zero Real", -1, 1, -0.25, &ParamInfo::Real_toControlValue,
                     &ParamInfo::Real_toNativeValue, &ParamInfo::Real_toString);
}

ParamInfo ParamInfo::orderParam(int maxOrder)
{
    return ParamInfo(idOrder, "Order", "Order", 1, maxOrder, 2, &ParamInfo::Int_toControlValue,
                     &ParamInfo::Int_toNativeValue, &ParamInfo::Int_toString);
}

} // namespace Dsp
