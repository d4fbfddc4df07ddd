#pragma once

#include "ryx/dsp/Biquad.h"

namespace Dsp {

// The delay line of one section in Direct Form II: w1 = w[n-1], w2 = w[n-2].
class DirectFormII
{
public:
    DirectFormII() { reset(); }

    void reset()
    {
        m_w1 = 0;
        m_w2 = 0;
    }

    // One sample through one section; addIn is the denormal guard or 0.
    //   w = x - a1 w1 - a2 w2 + addIn,   y = b0 w + b1 w1 + b2 w2
    // summed so that the input reaches w through two subtractions and w1 (the
    // recursion) through one product and one subtraction; the w2 terms and the
    // feed-forward sum wait on nothing.
    double process1(double in, const BiquadBase& s, double addIn)
    {
        const double older = s.getA2() * m_w2 - addIn;
        const double feedforward = s.getB1() * m_w1 + s.getB2() * m_w2;
        const double w = (in - older) - s.getA1() * m_w1;
        const double out = s.getB0() * w + feedforward;
        m_w2 = m_w1;
        m_w1 = w;
        return out;
    }

private:
    double m_w1;
    double m_w2;
};

// One independent processing state per channel.
template <int Channels, class StateType>
class ChannelsState
{
public:
    int getNumChannels() const { return Channels; }

    void reset()
    {
        for (StateType& state : m_state)
            state.reset();
    }

    StateType& operator[](int channel) { return m_state[channel]; }

    // Filters each channel's samples in place. Samples are widened to double,
    // filtered in double and narrowed back to the sample type.
    template <class Design, typename Sample>
    void process(int numSamples, Sample* const* arrayOfChannels, const Design& design)
    {
        if (numSamples <= 0)
            return;
        for (int i = 0; i < Channels; ++i)
            m_state[i].process(numSamples, arrayOfChannels[i], design);
    }

private:
    StateType m_state[Channels];
};

} // namespace Dsp
