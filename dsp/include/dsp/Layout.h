#pragma once

#include "ryx/dsp/Types.h"

namespace Dsp {

// A list of poles and zeros held in storage that the owner provides: pair k holds
// poles 2k and 2k+1. Analog prototypes (s-plane) and their digital images
// (z-plane) are both kept in layouts. Copying a layout copies the view, not the
// storage.
class LayoutBase
{
public:
    LayoutBase()
        : m_numPoles(0)
        , m_maxPoles(0)
        , m_pair(nullptr)
        , m_normalW(0)
        , m_normalGain(1)
    {
    }

    // maxPoles: capacity in poles; pairs: room for (maxPoles + 1) / 2 pairs.
    LayoutBase(int maxPoles, PoleZeroPair* pairs)
        : m_numPoles(0)
        , m_maxPoles(maxPoles)
        , m_pair(pairs)
        , m_normalW(0)
        , m_normalGain(1)
    {
    }

    // Attaches the storage of another layout (its capacity and pair array).
    void setStorage(const LayoutBase& other)
    {
        m_numPoles = 0;
        m_maxPoles = other.m_maxPoles;
        m_pair = other.m_pair;
    }

    void reset() { m_numPoles = 0; }

    int getNumPoles() const { return m_numPoles; }
    int getMaxPoles() const { return m_maxPoles; }

    // Appends one real pole with one real zero; it must be the last pole.
    void add(const complex_t& pole, const complex_t& zero)
    {
        Dsp_check (!(m_numPoles&1));
        Dsp_check (!Dsp::is_nan (pole));
        Dsp_check (m_numPoles + 1 <= m_maxPoles);
        m_pair[m_numPoles / 2] = PoleZeroPair(pole, zero);
        ++m_numPoles;
    }

    // Appends a pole and a zero together with their complex conjugates.
    void addPoleZeroConjugatePairs(const complex_t pole, const complex_t zero)
    {
        Dsp_check (!(m_numPoles&1));
        Dsp_check (!Dsp::is_nan (pole));
        Dsp_check (m_numPoles + 2 <= m_maxPoles);
        m_pair[m_numPoles / 2] = PoleZeroPair(pole, zero, std::conj(pole), std::conj(zero));
        m_numPoles += 2;
    }

    // Appends two poles and two zeros given explicitly.
    void add(const ComplexPair& poles, const ComplexPair& zeros)
    {
        Dsp_check (!(m_numPoles&1));
        Dsp_check (poles.isMatchedPair ());
        Dsp_check (zeros.isMatchedPair ());
        Dsp_check (m_numPoles + 2 <= m_maxPoles);
        m_pair[m_numPoles / 2] = PoleZeroPair(poles.first, zeros.first, poles.second, zeros.second);
        m_numPoles += 2;
    }

    const PoleZeroPair& getPair(int pairIndex) const
    {
        Dsp_check (pairIndex >= 0 && pairIndex < (m_numPoles+1)/2);
        return m_pair[pairIndex];
    }

    const PoleZeroPair& operator[](int pairIndex) const { return getPair(pairIndex); }

    // The angle (radians per sample, 0 ... pi) where the finished filter has the normal gain.
    double getNormalW() const { return m_normalW; }
    double getNormalGain() const { return m_normalGain; }

    void setNormal(double w, double g)
    {
        m_normalW = w;
        m_normalGain = g;
    }

private:
    int m_numPoles;
    int m_maxPoles;
    PoleZeroPair* m_pair;
    double m_normalW;
    double m_normalGain;
};

// A layout together with its own storage for MaxPoles poles.
template <int MaxPoles>
class Layout
{
public:
    Layout()
        : m_base(MaxPoles, m_pairs)
    {
    }

    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    operator LayoutBase&() { return m_base; }
    operator const LayoutBase&() const { return m_base; }
    LayoutBase& base() { return m_base; }
    const LayoutBase& base() const { return m_base; }

private:
    PoleZeroPair m_pairs[(MaxPoles + 1) / 2];
    LayoutBase m_base;
};

} // namespace Dsp
