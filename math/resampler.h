#pragma once

#include <QObject>
#include <memory>
#include <utility>
#include <vector>

#include "ryx/ryx_math_export.h"

namespace ryx::math {

namespace detail {
struct resampler_stage;
}

// Integer-ratio decimator for single-precision frames: a chain of rate-conversion
// stages, each dividing the rate by at most 64. Fed one frame at a time, it tells
// when a decimated frame comes out of the last stage. Owned by its QObject
// parent (the acquisition analyser that decimates through it).
//
// A decimated frame comes out on the input frame that completes it: fed one frame
// per call, on that very call; fed in runs, from the call whose run holds that
// frame. The decimated frames, their values and the input frame each comes out
// on do not depend on how the input is split into calls. Frames are gathered and
// the stages only run when the chain can emit (or 1024 frames are gathered), each
// over every frame gathered since: from ratios of about 100, one frame per call
// costs little more than runs do; at ratios of a few, each decimated frame still
// takes one call of every stage.
//
// The chain for a ratio a is a -> a/64+1 -> ... -> 1 (a -> 1 once a <= 64). A
// rational stage only converts when its reduced output rate (out / gcd(in, out))
// is at most 1000, so that chain cannot be built for some ratios from 64000 up;
// those get another chain of the same total ratio:
//  - a <= 64: a -> 1;
//  - else, when a has a divisor in 2..64: a -> a/d with the largest such d;
//  - else, when a has a divisor c in 65..64000: a -> (a/c)*ceil(c/64), with the
//    c that gives the lowest rate (reduced output rate ceil(c/64) <= 1000);
//  - else (a is a prime above 64000): a fractional stage a -> m, m the largest
//    multiple of 4096 not above a. Its output count stays within one frame of
//    inputs*m/a, so the chain's count stays within one frame of inputs/ratio.
//
// States: before any setup and after clear() there is no stage and frames pass
// through unchanged (process returns true). After a refused setup there is no
// stage either, but nothing comes out: process returns false for every frame
// and leaves it unchanged, so a caller never takes raw input for decimated data.
class RYX_MATH_EXPORT resampler : public QObject
{
    Q_OBJECT

public:
    // channels: interleaved values per frame (a negative count is a length error).
    explicit resampler(int channels, QObject* parent = nullptr);
    ~resampler() override;

    // Deletes every stage; frames then pass through unchanged.
    void clear();
    // Rebuilds the chain for decimation by ratio. Returns true when the chain
    // decimates by exactly ratio. Returns false, leaving no stage and the
    // resampler refusing every frame, when ratio < 1, the channel count is < 1
    // or no chain of stages can be built.
    bool setup(int ratio);
    // Passes one frame (channels values) through the chain. Returns true when a
    // decimated frame came out; it is then in the output frame and in `frame`.
    // With no stage: true after clear() or before any setup, false after a
    // refused setup; `frame` is left unchanged.
    // `frame` is left unchanged when no frame came out.
    bool process(float* frame)
    {
        // Most frames cannot complete a decimated frame: they are only gathered.
        if (m_next < m_last) {
            *m_next++ = *frame;
            return false;
        }
        return process_due(frame);
    }
    // Passes `frames` input frames (channels values each, interleaved) through the
    // chain and writes the decimated frames that come out, in order, to `output`,
    // which has room for `frames` frames (at most one comes out per input frame).
    // Returns how many were written: exactly those that `frames` calls of
    // process(float*) would have returned, the last of them also in the output
    // frame. With no stage: copies the frames through after clear() or before any
    // setup, writes none after a refused setup.
    int process(const float* input, int frames, float* output);
    // Value index of the output frame (0 outside the frame).
    float out(int index) const;

    // Input and output rates of each stage, first stage first (in units of the
    // final output rate; empty when there is no stage).
    std::vector<std::pair<int, int>> stages() const;

private:
    int m_channels;
    std::vector<std::unique_ptr<detail::resampler_stage>> m_stages;
    std::vector<float> m_out;
    bool m_refused = false;
    // Input frames gathered since the stages last ran, and the number that makes
    // the stages run next: the fewest frames after which the last stage can emit,
    // at most the buffer's capacity (0 without a stage).
    std::vector<float> m_gathered;
    int m_count = 0;
    int m_due = 0;
    // Single-channel frames that cannot complete a decimated frame go straight to
    // m_next while it is below m_last, the place of the frame that makes the
    // stages run (m_last is at the buffer's start with several channels or no
    // stage, so that every frame takes process_due).
    float* m_next = nullptr;
    float* m_last = nullptr;
    // Each stage's output for the next one during a run (two, used in turn).
    std::vector<float> m_between[2];

    bool process_due(float* frame);
    void take_gathered();
    void place_next();
    int run();
    void plan_next_run();
};

} // namespace ryx::math
