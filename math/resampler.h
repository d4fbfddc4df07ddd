#pragma once

#include <QObject>
#include <vector>

#include "ryx/ryx_math_export.h"

class Resampler;

namespace ryx::math {

// Integer-ratio decimator for single-precision frames: a chain of rate-conversion
// stages, each dividing the rate by at most 64. Fed one frame at a time, it tells
// when a decimated frame comes out of the last stage. Owned by its QObject
// parent (the acquisition analyser that decimates through it).
class RYX_MATH_EXPORT resampler : public QObject
{
    Q_OBJECT

public:
    // channels: interleaved values per frame (a negative count is a length error).
    explicit resampler(int channels, QObject* parent = nullptr);
    ~resampler() override;

    // Deletes every stage; frames then pass through unchanged.
    void clear();
    // Rebuilds the chain for decimation by ratio (ratio >= 1; other values leave no stage).
    void setup(int ratio);
    // Passes one frame (channels values) through the chain. Returns true when a
    // decimated frame came out; it is then in the output frame and in `frame`.
    bool process(float* frame);
    // Value index of the output frame (0 outside the frame).
    float out(int index) const;

    // Input and output rates of each stage, first stage first.
    std::vector<std::pair<int, int>> stages() const;

private:
    int m_channels;
    std::vector<Resampler*> m_stages;
    std::vector<std::pair<int, int>> m_rates;
    std::vector<float> m_out;
};

} // namespace ryx::math
