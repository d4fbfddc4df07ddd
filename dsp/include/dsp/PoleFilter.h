#pragma once

#include <type_traits>
#include <vector>

#include "ryx/dsp/Cascade.h"
#include "ryx/dsp/Layout.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// A cascade designed from a digital pole/zero layout.
class RYX_MATH_EXPORT PoleFilterBase2 : public Cascade
{
public:
    // The digital layout's pairs, pair 0 first.
    std::vector<PoleZeroPair> getPoleZeros() const;

    const LayoutBase& getDigitalLayout() const { return m_digitalProto; }

protected:
    // Runs a design step that fills the digital layout, then loads the sections.
    // A design that fails, or whose poles are not strictly inside the unit circle,
    // leaves the filter without sections (it passes samples through untouched)
    // and the failure propagates as Dsp::CheckFailure.
    template <class DesignStep>
    void designDigital(DesignStep&& step)
    {
        try {
            step();
            loadDigitalLayout();
        } catch (...) {
            m_numStages = 0;
            m_digitalProto.reset();
            throw;
        }
    }

    void loadDigitalLayout();

    LayoutBase m_digitalProto;
};

// A pole filter with its analog prototype.
template <class AnalogPrototype>
class PoleFilterBase : public PoleFilterBase2
{
public:
    const AnalogPrototype& getAnalogPrototype() const { return m_analogProto; }

protected:
    void setPrototypeStorage(const LayoutBase& analogStorage, const LayoutBase& digitalStorage)
    {
        m_analogProto.setStorage(analogStorage);
        m_digitalProto = digitalStorage;
    }

    AnalogPrototype m_analogProto;
};

// A response class together with all its storage: the sections, the digital
// layout and the analog prototype.
template <class BaseClass, int MaxAnalogPoles, int MaxDigitalPoles = MaxAnalogPoles>
class PoleFilter : public BaseClass
{
public:
    static constexpr int MaxStages = (MaxDigitalPoles + 1) / 2;
    static constexpr int MaxAnalog = MaxAnalogPoles;
    static constexpr int MaxDigital = MaxDigitalPoles;

    template <class StateType>
    using State = typename CascadeStages<MaxStages>::template State<StateType>;

    PoleFilter()
    {
        this->setCascadeStorage(Cascade::Storage(MaxStages, m_stages));
        this->setPrototypeStorage(LayoutBase(MaxAnalogPoles, m_analogPairs),
                                  LayoutBase(MaxDigitalPoles, m_digitalPairs));
    }

    PoleFilter(const PoleFilter&) = delete;
    PoleFilter& operator=(const PoleFilter&) = delete;

private:
    Biquad m_stages[MaxStages];
    PoleZeroPair m_digitalPairs[(MaxDigitalPoles + 1) / 2];
    PoleZeroPair m_analogPairs[(MaxAnalogPoles + 1) / 2];
};

// The transforms map an analog prototype (s-plane) into the digital layout
// (z-plane) by the bilinear transform with frequency pre-warping. Frequencies are
// normalised to the sample rate (cycles per sample, 0 ... 0.5).

// Low-pass to low-pass: fc is the cutoff.
class RYX_MATH_EXPORT LowPassTransform
{
public:
    LowPassTransform(double fc, LayoutBase& digital, const LayoutBase& analog);

private:
    complex_t transform(complex_t c);

    double f;
};

// Low-pass to high-pass: fc is the cutoff.
class RYX_MATH_EXPORT HighPassTransform
{
public:
    HighPassTransform(double fc, LayoutBase& digital, const LayoutBase& analog);

private:
    complex_t transform(complex_t c);

    double f;
};

// Low-pass to band-pass: fc is the centre, fw the width; the pole count doubles.
class RYX_MATH_EXPORT BandPassTransform
{
public:
    BandPassTransform(double fc, double fw, LayoutBase& digital, const LayoutBase& analog);

private:
    ComplexPair transform(complex_t c);

    double wc;
    double wc2;
    double a;
    double b;
    double a2;
    double b2;
    double ab;
    double ab_2;
};

// Low-pass to band-stop: fc is the centre, fw the width; the pole count doubles.
class RYX_MATH_EXPORT BandStopTransform
{
public:
    BandStopTransform(double fc, double fw, LayoutBase& digital, const LayoutBase& analog);

private:
    ComplexPair transform(complex_t c);

    double wc;
    double wc2;
    double a;
    double b;
    double a2;
    double b2;
};

// Low-pass to band-pass with the shelf's gain kept in the band: unit gain away
// from it, on the side of the band farther from the nearer band edge of the
// spectrum.
class BandShelfTransform
{
public:
    BandShelfTransform(double fc, double fw, LayoutBase& digital, const LayoutBase& analog)
    {
        BandPassTransform(fc, fw, digital, analog);
        digital.setNormal(fc < 0.25 ? doublePi : 0, 1);
    }
};

// How many frequencies a transform takes: the cut-off of the low- and high-pass
// shapes, or the centre and width of the band shapes.
template <class Transform>
struct TransformFrequencies : std::integral_constant<int, 2>
{
};
template <>
struct TransformFrequencies<LowPassTransform> : std::integral_constant<int, 1>
{
};
template <>
struct TransformFrequencies<HighPassTransform> : std::integral_constant<int, 1>
{
};

// Every pole-filter design: the analog prototype of the requested order, made
// from its own arguments (ripple, stop band, gain, a workspace ...), carried
// onto the digital plane by the transform, then loaded into the cascade. A
// design that fails leaves no stage behind (see designDigital).
//
// setup(order, sampleRate, frequency, prototype arguments...) for the low- and
// high-pass shapes, setup(order, sampleRate, centerFrequency, widthFrequency,
// prototype arguments...) for the band shapes. Frequencies and width are in Hz
// like the sample rate (> 0): 0 < frequency < sampleRate / 2, and the band
// between its edges centre -+ width / 2; order 1 .. the prototype's maximum.
template <class AnalogPrototype, class Transform, class... PrototypeArgs>
class PoleSetup : public PoleFilterBase<AnalogPrototype>
{
public:
    template <int N = TransformFrequencies<Transform>::value, std::enable_if_t<N == 1, int> = 0>
    void setup(int order, double sampleRate, double frequency, PrototypeArgs... args)
    {
        this->designDigital([&] {
            this->m_analogProto.design(order, args...);
            Transform(frequency / sampleRate, this->m_digitalProto, this->m_analogProto);
        });
    }

    template <int N = TransformFrequencies<Transform>::value, std::enable_if_t<N == 2, int> = 0>
    void setup(int order, double sampleRate, double centerFrequency, double widthFrequency, PrototypeArgs... args)
    {
        this->designDigital([&] {
            this->m_analogProto.design(order, args...);
            Transform(centerFrequency / sampleRate, widthFrequency / sampleRate, this->m_digitalProto,
                      this->m_analogProto);
        });
    }
};

} // namespace Dsp
