#pragma once

#include <algorithm>
#include <cmath>
#include <complex>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ryx/dsp/Cascade.h"
#include "ryx/dsp/Layout.h"
#include "ryx/dsp/Types.h"

namespace dsp_test {

using Dsp::complex_t;

// One design from tests/data: SciPy's digital poles, zeros and gain.
struct ZpkCase
{
    std::string family;
    std::string btype;
    int order = 0;
    double fs = 0;
    double f1 = 0;
    double f2 = 0;
    double value = 0;
    double rolloff = 0;
    double k = 0;
    std::vector<complex_t> poles;
    std::vector<complex_t> zeros;

    std::string name() const
    {
        std::ostringstream s;
        s << family << ' ' << btype << " order " << order << " fs " << fs << " f1 " << f1 << " f2 " << f2
          << " value " << value << " rolloff " << rolloff;
        return s.str();
    }

    // H(z) = k prod(z - z_i) / prod(z - p_i), f in cycles per sample.
    complex_t response(double f) const
    {
        const complex_t z = std::polar(1.0, 2 * Dsp::doublePi * f);
        complex_t h = k;
        for (const complex_t& q : zeros)
            h *= z - q;
        for (const complex_t& p : poles)
            h /= z - p;
        return h;
    }
};

// Reads the roots of a "p" or "z" line: real roots once, complex roots with their conjugates.
inline std::vector<complex_t> readRoots(std::istringstream& in)
{
    std::vector<complex_t> roots;
    double re = 0;
    double im = 0;
    while (in >> re >> im) {
        roots.emplace_back(re, im);
        if (im != 0)
            roots.emplace_back(re, -im);
    }
    return roots;
}

inline std::vector<ZpkCase> readZpkFile(const std::string& path)
{
    std::vector<ZpkCase> cases;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream in(line);
        std::string tag;
        in >> tag;
        if (tag == "case") {
            ZpkCase c;
            in >> c.family >> c.btype >> c.order >> c.fs >> c.f1 >> c.f2 >> c.value;
            if (!(in >> c.rolloff))
                c.rolloff = 0;
            cases.push_back(c);
        } else if (tag == "k") {
            in >> cases.back().k;
        } else if (tag == "p") {
            cases.back().poles = readRoots(in);
        } else if (tag == "z") {
            cases.back().zeros = readRoots(in);
        }
    }
    return cases;
}

// All poles (or zeros) of a list of pairs; a single-pole pair contributes one.
inline std::vector<complex_t> flatten(const std::vector<Dsp::PoleZeroPair>& pairs, bool poles)
{
    std::vector<complex_t> out;
    for (const Dsp::PoleZeroPair& pair : pairs) {
        const Dsp::ComplexPair& c = poles ? pair.poles : pair.zeros;
        out.push_back(c.first);
        if (!pair.isSinglePole())
            out.push_back(c.second);
    }
    return out;
}

// The pairs of a layout, in order.
inline std::vector<Dsp::PoleZeroPair> readLayout(const Dsp::LayoutBase& layout)
{
    std::vector<Dsp::PoleZeroPair> pairs;
    for (int i = 0; i < (layout.getNumPoles() + 1) / 2; ++i)
        pairs.push_back(layout[i]);
    return pairs;
}

// Largest relative distance between two multisets of roots, matched greedily
// (each expected root takes the nearest unused actual root). Returns infinity
// when the counts differ.
inline double rootDistance(std::vector<complex_t> expected, std::vector<complex_t> actual)
{
    if (expected.size() != actual.size())
        return INFINITY;
    double worst = 0;
    for (const complex_t& e : expected) {
        auto best = actual.begin();
        double bestDistance = INFINITY;
        for (auto it = actual.begin(); it != actual.end(); ++it) {
            const double d = std::abs(*it - e);
            if (d < bestDistance) {
                bestDistance = d;
                best = it;
            }
        }
        worst = std::max(worst, bestDistance / std::max(1.0, std::abs(e)));
        actual.erase(best);
    }
    return worst;
}

// True if every pole of the loaded sections lies strictly inside the unit circle
// and every coefficient is finite.
inline bool stableAndFinite(const Dsp::Cascade& c)
{
    for (int i = 0; i < c.getNumStages(); ++i) {
        const Dsp::Biquad& s = c[i];
        for (double v : {s.getA0(), s.getA1(), s.getA2(), s.getB0(), s.getB1(), s.getB2()})
            if (!std::isfinite(v))
                return false;
        if (!s.isStable())
            return false;
    }
    return c.getNumStages() > 0;
}

} // namespace dsp_test
