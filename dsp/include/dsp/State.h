#pragma once

#include <algorithm>
#include <type_traits>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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
    double process1(double in, const BiquadBase& s, double addIn)
    {
        return step(in, m_w1, m_w2, s.getA1(), s.getA2(), s.getB0(), s.getB1(), s.getB2(), addIn);
    }

    // A block in place through Stages consecutive sections (see
    // detail::runStages); where the processor has two-lane double arithmetic,
    // the sections go in pairs, one per lane.
    template <int Stages, bool Guarded, class Section, typename Sample>
    static void processBlock(int numSamples, Sample* dest, const Section* sections, DirectFormII* states,
                             double& guard)
    {
#if defined(__SSE2__)
        if constexpr (Stages >= 2) {
            runLanes<Stages, Guarded>(numSamples, dest, sections, states, guard,
                                      std::make_index_sequence<(Stages + 1) / 2>());
            return;
        }
#endif
        detail::runStages<Stages, Guarded>(numSamples, dest, sections, states, guard);
    }

private:
    // The recursion, for one section (double) or for one section per lane:
    //   w = x - a1 w1 - a2 w2 + addIn,   y = b0 w + b1 w1 + b2 w2
    // summed so that the input reaches w through two subtractions and w1 (the
    // recursion) through one product and one subtraction; the w2 terms and the
    // feed-forward sum wait on nothing. Lanes round exactly as single values.
    template <class T>
    static T step(T in, T& w1, T& w2, T a1, T a2, T b0, T b1, T b2, T addIn)
    {
        const T older = a2 * w2 - addIn;
        const T feedforward = b1 * w1 + b2 * w2;
        const T w = (in - older) - a1 * w1;
        const T out = b0 * w + feedforward;
        w2 = w1;
        w1 = w;
        return out;
    }

#if defined(__SSE2__)
    // A block through Stages sections in the two lanes of the processor's
    // double vectors: lane 0 of vector k holds section k, lane 1 section k + P
    // (P vectors; an odd count leaves a silent section in the last upper lane,
    // whose output nobody reads). As in detail::runStages the sections work
    // skewed in time, here two steps apart: at step t section j takes sample
    // t - 2j, from what section j - 1 gave at step t - 2. A vector's input is
    // then the whole output of the vector before it, two steps old (vector 0
    // takes the next sample and the output of section P - 1), which leaves a
    // section's latency two steps to complete. While the chain fills and
    // drains, the lanes without a sample keep their delay lines.
    template <int Stages, bool Guarded, class Section, typename Sample, std::size_t... K>
    static void runLanes(int numSamples, Sample* dest, const Section* sections, DirectFormII* states,
                         double& guard, std::index_sequence<K...>)
    {
        if (numSamples <= 0)
            return;
        constexpr int pairs = static_cast<int>(sizeof...(K));
        constexpr int skew = 2 * (Stages - 1); // steps from a sample's entry to its exit
        const auto lanes = [&](auto get) {
            return [get](int k) { return _mm_set_pd(k + pairs < Stages ? get(k + pairs) : 0.0, get(k)); };
        };
        const auto a1 = lanes([&](int j) { return sections[j].getA1(); });
        const auto a2 = lanes([&](int j) { return sections[j].getA2(); });
        const auto b0 = lanes([&](int j) { return sections[j].getB0(); });
        const auto b1 = lanes([&](int j) { return sections[j].getB1(); });
        const auto b2 = lanes([&](int j) { return sections[j].getB2(); });
        const auto d1 = lanes([&](int j) { return states[j].m_w1; });
        const auto d2 = lanes([&](int j) { return states[j].m_w2; });
        const __m128d ca1[pairs] = {a1(K)...};
        const __m128d ca2[pairs] = {a2(K)...};
        const __m128d cb0[pairs] = {b0(K)...};
        const __m128d cb1[pairs] = {b1(K)...};
        const __m128d cb2[pairs] = {b2(K)...};
        __m128d w1[pairs] = {d1(K)...};
        __m128d w2[pairs] = {d2(K)...};
        // The outputs of the even and of the odd steps: each step reads those
        // of two steps before and replaces them.
        __m128d even[pairs] = {};
        __m128d odd[pairs] = {};
        double g = guard;

        const auto advance = [&](int t, __m128d* out, auto every) Dsp_always_inline {
            __m128d in[pairs];
            ((in[K] = out[K == 0 ? 0 : K - 1]), ...);
            double x = 0;
            if (decltype(every)::value || t < numSamples) {
                if constexpr (Guarded)
                    g = -g;
                x = static_cast<double>(dest[t]);
            }
            in[0] = _mm_unpacklo_pd(_mm_set_sd(x), out[pairs - 1]);
            const __m128d add = Guarded ? _mm_set_sd(g) : _mm_setzero_pd();
            if constexpr (decltype(every)::value) {
                ((out[K] = step(in[K], w1[K], w2[K], ca1[K], ca2[K], cb0[K], cb1[K], cb2[K],
                                K == 0 ? add : _mm_setzero_pd())),
                 ...);
            } else {
                // Only the lanes whose section has a sample at this step move on.
                const auto active = [&](int j) { return j < Stages && t - 2 * j >= 0 && t - 2 * j < numSamples; };
                (
                    [&] {
                        const __m128d keep1 = w1[K], keep2 = w2[K];
                        out[K] = step(in[K], w1[K], w2[K], ca1[K], ca2[K], cb0[K], cb1[K], cb2[K],
                                      K == 0 ? add : _mm_setzero_pd());
                        const __m128d m = _mm_castsi128_pd(
                            _mm_set_epi64x(active(static_cast<int>(K) + pairs) ? -1 : 0, active(static_cast<int>(K)) ? -1 : 0));
                        w1[K] = _mm_or_pd(_mm_and_pd(m, w1[K]), _mm_andnot_pd(m, keep1));
                        w2[K] = _mm_or_pd(_mm_and_pd(m, w2[K]), _mm_andnot_pd(m, keep2));
                    }(),
                    ...);
            }
            // The last section, Stages - 1, is in the upper lane of vector Stages - 1 - P.
            const int sample = t - skew;
            if (decltype(every)::value || (sample >= 0 && sample < numSamples)) {
                const __m128d y = out[Stages - 1 - pairs];
                dest[sample] = static_cast<Sample>(_mm_cvtsd_f64(_mm_unpackhi_pd(y, y)));
            }
        };
        // Filling the chain, every section busy (two steps at a time, even
        // first), draining it.
        const auto edge = [&](int t) Dsp_always_inline { advance(t, t % 2 ? odd : even, std::false_type()); };
        int t = 0;
        for (; t < std::min(skew, numSamples); ++t)
            edge(t);
        for (; t + 1 < numSamples; t += 2) {
            advance(t, even, std::true_type());
            advance(t + 1, odd, std::true_type());
        }
        for (; t < numSamples + skew; ++t)
            edge(t);

        (
            [&] {
                states[K].m_w1 = _mm_cvtsd_f64(w1[K]);
                states[K].m_w2 = _mm_cvtsd_f64(w2[K]);
                if (static_cast<int>(K) + pairs < Stages) {
                    states[K + pairs].m_w1 = _mm_cvtsd_f64(_mm_unpackhi_pd(w1[K], w1[K]));
                    states[K + pairs].m_w2 = _mm_cvtsd_f64(_mm_unpackhi_pd(w2[K], w2[K]));
                }
            }(),
            ...);
        guard = g;
    }
#endif

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
