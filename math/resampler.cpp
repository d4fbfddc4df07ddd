#include "ryx/math/resampler.h"

#include <algorithm>
#include <zita-resampler/resampler.h>

namespace ryx::math {

namespace {
constexpr unsigned half_filter_length = 32;
}

resampler::resampler(int channels, QObject* parent)
    : QObject(parent), m_channels(channels),
      // A negative count converts to a huge size: std::length_error.
      m_out(static_cast<std::size_t>(static_cast<std::ptrdiff_t>(channels)), 0.0f)
{
}

resampler::~resampler()
{
    clear();
}

void resampler::clear()
{
    for (Resampler* stage : m_stages)
        delete stage;
    m_stages.clear();
    m_rates.clear();
}

void resampler::setup(int ratio)
{
    clear();
    if (ratio < 1 || m_channels < 1)
        return;

    std::vector<float> silence(static_cast<std::size_t>(m_channels), 0.0f);
    std::vector<float> discard(static_cast<std::size_t>(m_channels), 0.0f);
    int a = ratio;
    for (;;) {
        const int b = a / 64 + 1;
        const int f = a >= 65 ? b : 1;
        auto* stage = new Resampler();
        if (stage->setup(static_cast<unsigned>(a), static_cast<unsigned>(f),
                         static_cast<unsigned>(m_channels), half_filter_length) != 0) {
            // A ratio the stage cannot convert: leave no half-built chain.
            delete stage;
            clear();
            return;
        }
        // Fill the stage's filter with silence so that its first outputs are aligned.
        const int priming = stage->inpsize();
        for (int i = 0; i < priming; ++i) {
            stage->inp_count = 1;
            stage->inp_data = silence.data();
            stage->out_count = 1;
            stage->out_data = discard.data();
            stage->process();
        }
        m_stages.push_back(stage);
        m_rates.emplace_back(a, f);
        if (f == 1)
            break;
        a = b;
    }
}

bool resampler::process(float* frame)
{
    if (m_stages.empty())
        return true;
    for (Resampler* stage : m_stages) {
        stage->inp_count = 1;
        stage->inp_data = frame;
        stage->out_count = 1;
        stage->out_data = m_out.data();
        stage->process();
        if (stage->out_count == 1)
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
    return m_rates;
}

} // namespace ryx::math
