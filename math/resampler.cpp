#include "ryx/math/resampler.h"

#include <algorithm>
#include <zita-resampler/resampler.h>
#include <zita-resampler/vresampler.h>

namespace ryx::math {

namespace detail {

// One rate-conversion stage: a rational one (exact ratio in/out) or, for an input
// rate that no rational stage can leave, a fractional one (ratio held as a double).
struct resampler_stage
{
    int in_rate = 0;
    int out_rate = 0;
    std::unique_ptr<Resampler> rational;
    std::unique_ptr<VResampler> fractional;

    // Offers one input frame with room for one output frame. Both kinds only
    // decimate here, so each output needs at least one new input and the offered
    // frame is always consumed. True when a frame came out.
    bool step(float* in, float* out)
    {
        return rational ? convert(*rational, in, out) : convert(*fractional, in, out);
    }

private:
    template <class Converter>
    static bool convert(Converter& c, float* in, float* out)
    {
        c.inp_count = 1;
        c.inp_data = in;
        c.out_count = 1;
        c.out_data = out;
        c.process();
        return c.out_count == 0;
    }
};

} // namespace detail

namespace {

using detail::resampler_stage;

constexpr unsigned half_filter_length = 32;
// A rational stage converts in -> out when in <= 64 * out and its reduced output
// rate out / gcd(in, out) is at most 1000 (the number of filter phases it tables).
constexpr int max_division = 64;
constexpr int max_reduced_output = 1000;
// Output rates of fractional stages are multiples of this, so that exact stages
// of 64 follow.
constexpr int fractional_grid = 4096;

struct planned_stage
{
    int in_rate;
    int out_rate;
    bool fractional;
};

// a -> a/64+1 until a <= 64, then a -> 1: the established chain, whose results
// stored analyses rely on.
std::vector<planned_stage> split_by_64(int ratio)
{
    std::vector<planned_stage> chain;
    int a = ratio;
    for (;;) {
        const int b = a / max_division + 1;
        const int f = a > max_division ? b : 1;
        chain.push_back({a, f, false});
        if (f == 1)
            return chain;
        a = b;
    }
}

int largest_divisor_up_to(int a, int limit)
{
    for (int d = std::min(a, limit); d > 1; --d)
        if (a % d == 0)
            return d;
    return 1;
}

// Lowest rate b a rational stage can take a to, or 0 when there is none. With
// g = gcd(a, b), c = a/g and k = b/g, the stage needs k <= 1000 and a <= 64 b,
// i.e. k >= ceil(c/64): the best b for a divisor c is (a/c) * ceil(c/64), which
// exists for c <= 64000.
int lowest_rational_target(int a)
{
    int best = 0;
    const auto consider = [&](int c) {
        const int k = (c + max_division - 1) / max_division;
        if (c < 2 || k > max_reduced_output)
            return;
        const int b = (a / c) * k;
        if (best == 0 || b < best)
            best = b;
    };
    for (int d = 1; static_cast<long long>(d) * d <= a; ++d) {
        if (a % d == 0) {
            consider(d);
            consider(a / d);
        }
    }
    return best;
}

// The chain for ratios split_by_64 cannot build: exact integer divisions first,
// rational stages where the rate has no divisor up to 64, and a fractional
// stage onto a multiple of 4096 for a prime rate above 64000 (no rational stage
// can leave such a rate: k >= a/64 > 1000).
std::vector<planned_stage> divide_out(int ratio)
{
    std::vector<planned_stage> chain;
    int a = ratio;
    while (a > max_division) {
        int b;
        bool fractional = false;
        if (const int d = largest_divisor_up_to(a, max_division); d > 1) {
            b = a / d;
        } else if (const int t = lowest_rational_target(a); t > 0) {
            b = t;
        } else {
            b = a / fractional_grid * fractional_grid;
            fractional = true;
        }
        chain.push_back({a, b, fractional});
        a = b;
    }
    chain.push_back({a, 1, false});
    return chain;
}

// Creates and primes the stages of a chain; empty when a stage refuses its rates.
std::vector<std::unique_ptr<resampler_stage>> build(const std::vector<planned_stage>& chain,
                                                    int channels)
{
    std::vector<std::unique_ptr<resampler_stage>> stages;
    std::vector<float> silence(static_cast<std::size_t>(channels), 0.0f);
    std::vector<float> discard(static_cast<std::size_t>(channels), 0.0f);
    for (const planned_stage& p : chain) {
        auto s = std::make_unique<resampler_stage>();
        s->in_rate = p.in_rate;
        s->out_rate = p.out_rate;
        int refused;
        int priming;
        if (p.fractional) {
            s->fractional = std::make_unique<VResampler>();
            refused = s->fractional->setup(static_cast<double>(p.out_rate) / p.in_rate,
                                           static_cast<unsigned>(channels), half_filter_length);
            priming = refused ? 0 : s->fractional->inpsize();
        } else {
            s->rational = std::make_unique<Resampler>();
            refused = s->rational->setup(static_cast<unsigned>(p.in_rate),
                                         static_cast<unsigned>(p.out_rate),
                                         static_cast<unsigned>(channels), half_filter_length);
            priming = refused ? 0 : s->rational->inpsize();
        }
        if (refused)
            return {};
        // Fill the stage's filter with silence so that its first outputs are aligned.
        for (int i = 0; i < priming; ++i)
            s->step(silence.data(), discard.data());
        stages.push_back(std::move(s));
    }
    return stages;
}

} // namespace

resampler::resampler(int channels, QObject* parent)
    : QObject(parent), m_channels(channels),
      // A negative count converts to a huge size: std::length_error.
      m_out(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(channels)), 0.0f)
{
}

resampler::~resampler() = default;

void resampler::clear()
{
    m_stages.clear();
    m_refused = false;
}

bool resampler::setup(int ratio)
{
    clear();
    m_refused = true;
    if (ratio < 1 || m_channels < 1)
        return false;
    m_stages = build(split_by_64(ratio), m_channels);
    if (m_stages.empty())
        m_stages = build(divide_out(ratio), m_channels);
    m_refused = m_stages.empty();
    return !m_refused;
}

bool resampler::process(float* frame)
{
    if (m_stages.empty())
        return !m_refused;
    for (const auto& stage : m_stages) {
        if (!stage->step(frame, m_out.data()))
            return false;
        std::copy(m_out.begin(), m_out.end(), frame);
    }
    return true;
}

float resampler::out(int index) const
{
    if (index < 0 || static_cast<std::size_t>(index) >= m_out.size())
        return 0.0f;
    return m_out[static_cast<std::size_t>(index)];
}

std::vector<std::pair<int, int>> resampler::stages() const
{
    std::vector<std::pair<int, int>> rates;
    rates.reserve(m_stages.size());
    for (const auto& stage : m_stages)
        rates.emplace_back(stage->in_rate, stage->out_rate);
    return rates;
}

} // namespace ryx::math
