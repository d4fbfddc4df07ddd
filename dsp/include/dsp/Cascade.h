#pragma once

#include <algorithm>
#include <type_traits>
#include <vector>

#include "ryx/dsp/Biquad.h"
#include "ryx/dsp/Layout.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {

// A chain of second-order sections in storage that the owner provides.
class RYX_MATH_EXPORT Cascade
{
public:
    struct Storage
    {
        Storage(int maxStages_, Biquad* stageArray_)
            : maxStages(maxStages_)
            , stageArray(stageArray_)
        {
        }

        int maxStages;
        Biquad* stageArray;
    };

    Cascade() = default;
    Cascade(const Cascade&) = delete;
    Cascade& operator=(const Cascade&) = delete;

    int getNumStages() const { return m_numStages; }
    int getMaxStages() const { return m_maxStages; }

    const Biquad& operator[](int index) const
    {
        Dsp_check (index >= 0 && index < m_numStages);
        return m_stageArray[index];
    }

    // Product of the sections' responses; normalizedFrequency in cycles per sample.
    complex_t response(double normalizedFrequency) const;

    // One pair per section, in section order; a single pole may only come last.
    std::vector<PoleZeroPair> getPoleZeros() const;

    void setCascadeStorage(const Storage& storage);

    // Scales the numerator of the first section, which carries the whole gain.
    void applyScale(double scale);

    // Loads the sections from a digital layout and normalises the gain at the
    // layout's normal angle.
    void setLayout(const LayoutBase& proto);

protected:
    int m_numStages = 0;
    int m_maxStages = 0;
    Biquad* m_stageArray = nullptr;

    template <int>
    friend class CascadeStages;
};

// A cascade with its own storage for MaxStages sections, and the matching
// processing state.
template <int MaxStages_>
class CascadeStages : public Cascade
{
public:
    static constexpr int MaxStages = MaxStages_;

    // The running state of one chain for one channel.
    template <class StateType>
    class State
    {
    public:
        State() { reset(); }

        // Clears every delay line; the denormal guard keeps its alternation.
        void reset()
        {
            for (StateType& state : m_state)
                state.reset();
        }

        // One sample through the chain. The cascade type must not hold more
        // sections than this state has delay lines. Without sections the sample
        // passes unchanged.
        template <class CascadeType>
        double process(double in, const CascadeType& c)
        {
            if (c.m_numStages <= 0)
                return in;
            m_denormalGuard = -m_denormalGuard;
            return run(in, c, m_denormalGuard);
        }

        // Filters a block in place. A cascade without sections (never designed,
        // or refused) leaves the samples untouched. Chains of up to six sections
        // run through one kernel for their count, delay lines in registers; longer
        // chains go in tiles, each tile through the sections six at a time. A
        // section's output reaches the next in double either way, and every
        // section sees the same inputs in the same order as in processGeneric, so
        // the output is the same to the last bit.
        template <class CascadeType, typename Sample>
        void process(int numSamples, Sample* dest, const CascadeType& c)
        {
            static_assert(CascadeType::MaxStages <= MaxStages, "state too small for this cascade");
            const int stages = c.m_numStages;
            if (stages <= 0 || numSamples <= 0)
                return;
            const Biquad* stage = c.m_stageArray;
            if (stages <= groupStages) {
                runGroup<true>(stages, numSamples, dest, stage, m_state, m_denormalGuard);
                return;
            }
            if constexpr (MaxStages > groupStages) {
                // The samples between groups stay in double: in place for double
                // samples, in a tile on the stack for narrower ones.
                constexpr int tile = 512;
                for (int at = 0; at < numSamples; at += tile) {
                    const int n = std::min(tile, numSamples - at);
                    if constexpr (std::is_same_v<Sample, double>) {
                        runChain(stages, n, dest + at, stage);
                    } else {
                        double x[tile];
                        for (int i = 0; i < n; ++i)
                            x[i] = static_cast<double>(dest[at + i]);
                        runChain(stages, n, x, stage);
                        for (int i = 0; i < n; ++i)
                            dest[at + i] = static_cast<Sample>(x[i]);
                    }
                }
            }
        }

        // The same block, same output, through one loop over the runtime section
        // count with the delay lines read and written in memory at every sample:
        // the reference of the kernels and their baseline in the benchmarks.
        template <class CascadeType, typename Sample>
        void processGeneric(int numSamples, Sample* dest, const CascadeType& c)
        {
            if (c.m_numStages <= 0)
                return;
            // The guard is kept in a local: stores to the samples cannot alias it.
            double guard = m_denormalGuard;
            for (int i = 0; i < numSamples; ++i) {
                guard = -guard;
                dest[i] = static_cast<Sample>(run(static_cast<double>(dest[i]), c, guard));
            }
            m_denormalGuard = guard;
        }

    private:
        template <class CascadeType>
        double run(double in, const CascadeType& c, double guard)
        {
            static_assert(CascadeType::MaxStages <= MaxStages, "state too small for this cascade");
            const Biquad* stage = c.m_stageArray;
            StateType* state = m_state;
            double out = state->process1(in, *stage, guard);
            for (int i = c.m_numStages - 1; i > 0; --i)
                out = (++state)->process1(out, *++stage, 0);
            return out;
        }

        // The largest section count with a kernel of its own: six sections
        // (three pairs of lanes) keep their delay lines and the outputs in
        // flight in the sixteen vector registers of x86-64.
        static constexpr int groupStages = 6;

        // A block through count (1 .. Count) sections, by the kernel for that count.
        template <bool Guarded, int Count = groupStages, typename Sample>
        static void runGroup(int count, int numSamples, Sample* dest, const Biquad* stage, StateType* state,
                             double& guard)
        {
            if constexpr (Count > 1) {
                if (count < Count) {
                    runGroup<Guarded, Count - 1>(count, numSamples, dest, stage, state, guard);
                    return;
                }
            }
            if constexpr (Count <= MaxStages)
                StateType::template processBlock<Count, Guarded>(numSamples, dest, stage, state, guard);
        }

        // A block through every section of a chain longer than one group: the
        // first group adds the guard, the others follow group by group.
        void runChain(int stages, int numSamples, double* x, const Biquad* stage)
        {
            runGroup<true>(groupStages, numSamples, x, stage, m_state, m_denormalGuard);
            double unguarded = 0;
            for (int k = groupStages; k < stages; k += groupStages)
                runGroup<false>(std::min(groupStages, stages - k), numSamples, x, stage + k, m_state + k, unguarded);
        }

        double m_denormalGuard = 1e-8;
        StateType m_state[MaxStages];
    };

    CascadeStages() { setCascadeStorage(Storage(MaxStages, m_stages)); }

private:
    Biquad m_stages[MaxStages];
};

} // namespace Dsp
