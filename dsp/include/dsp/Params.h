#pragma once

#include <string>

#include "ryx/ryx_math_export.h"

namespace Dsp {

// The number of values in a parameter array.
const int maxParameters = 8;

// Parameter values of a design; index 0 is always the sample rate in Hz, the
// meaning of the others depends on the design.
struct Params
{
    void clear()
    {
        for (double& v : value)
            v = 0;
    }

    double& operator[](int index) { return value[index]; }
    const double& operator[](int index) const { return value[index]; }

    double* begin() { return value; }
    double* end() { return value + maxParameters; }
    const double* begin() const { return value; }
    const double* end() const { return value + maxParameters; }

    double value[maxParameters];
};

// Identifiers of the described parameters.
enum ParamID
{
    idSampleRate = 0,
    idFrequency = 1, // cutoff or centre
    idQ = 2,
    idBandwidth = 3, // octaves
    idBandwidthHz = 4,
    idGain = 5,
    idSlope = 6,
    idOrder = 7,
    idRippleDb = 8,
    idStopDb = 9,
    idRolloff = 10,
    idPoleRho = 11,
    idPoleTheta = 12,
    idZeroRho = 13,
    idZeroTheta = 14,
    idPoleReal = 15,
    idZeroReal = 16
};

// Describes one parameter: its identifier, labels, range, default, and the
// conversions between native units and a control value running 0 ... 1.
class RYX_MATH_EXPORT ParamInfo
{
public:
    typedef double (ParamInfo::*toControlValue_t)(double) const;
    typedef double (ParamInfo::*toNativeValue_t)(double) const;
    typedef std::string (ParamInfo::*toString_t)(double) const;

    // A description must name its parameter: this throws
    // std::logic_error("invalid usage of ParamInfo").
    ParamInfo();

    // arg1, arg2: minimum and maximum (linear, integer and logarithmic
    // conversions, native units) or minimum and maximum exponent (power of two).
    ParamInfo(ParamID id, const char* szLabel, const char* szName, double arg1, double arg2,
              double defaultNativeValue, toControlValue_t toControlValue_proc,
              toNativeValue_t toNativeValue_proc, toString_t toString_proc);

    ParamID getId() const { return m_id; }
    const char* getLabel() const { return m_szLabel; }
    const char* getName() const { return m_szName; }
    double getDefaultValue() const { return m_defaultNativeValue; }
    double getArg1() const { return m_arg1; }
    double getArg2() const { return m_arg2; }

    double toControlValue(double nativeValue) const { return (this->*m_toControlValue)(nativeValue); }
    double toNativeValue(double controlValue) const { return (this->*m_toNativeValue)(controlValue); }
    std::string toString(double nativeValue) const { return (this->*m_toString)(nativeValue); }

    // The value limited to the native values of control values 0 and 1.
    double clamp(double nativeValue) const;

    // Conversions.
    double Int_toControlValue(double nativeValue) const;
    double Int_toNativeValue(double controlValue) const;
    double Real_toControlValue(double nativeValue) const;
    double Real_toNativeValue(double controlValue) const;
    double Log_toControlValue(double nativeValue) const;
    double Log_toNativeValue(double controlValue) const;
    double Pow2_toControlValue(double nativeValue) const;
    double Pow2_toNativeValue(double controlValue) const;

    // Text formats.
    std::string Int_toString(double nativeValue) const;
    std::string Hz_toString(double nativeValue) const;
    std::string Real_toString(double nativeValue) const;
    std::string Db_toString(double nativeValue) const;

    // The standard descriptions.
    static ParamInfo defaultSampleRateParam();
    static ParamInfo defaultCutoffFrequencyParam();
    static ParamInfo defaultCenterFrequencyParam();
    static ParamInfo defaultQParam();
    static ParamInfo defaultBandwidthParam();
    static ParamInfo defaultBandwidthHzParam();
    static ParamInfo defaultGainParam();
    static ParamInfo defaultSlopeParam();
    static ParamInfo defaultRippleDbParam();
    static ParamInfo defaultStopDbParam();
    static ParamInfo defaultRolloffParam();
    static ParamInfo defaultPoleRhoParam();
    static ParamInfo defaultPoleThetaParam();
    static ParamInfo defaultZeroRhoParam();
    static ParamInfo defaultZeroThetaParam();
    static ParamInfo defaultPoleRealParam();
    static ParamInfo defaultZeroRealParam();

    // The order of a pole-based design: 1 ... maxOrder, default 2.
    static ParamInfo orderParam(int maxOrder);

private:
    ParamID m_id;
    const char* m_szLabel;
    const char* m_szName;
    double m_arg1;
    double m_arg2;
    double m_defaultNativeValue;
    toControlValue_t m_toControlValue;
    toNativeValue_t m_toNativeValue;
    toString_t m_toString;
};

} // namespace Dsp
