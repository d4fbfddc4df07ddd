#pragma once

#include <QObject>
#include <complex>
#include <cstdint>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/math/detail/lifeline.h"
#include "ryx/ryx_math_export.h"

namespace ryx {
class device;
}

namespace ryx::math {

class filter_iir;

// The front end of the block spectral analysers: frames a channel and turns each
// frame into a complex spectrum, which the object holds as its vector contents.
//
// The source runs through a private elliptic anti-alias low-pass (order 10, cut
// off at the top published line); every `decimation`-th filtered sample fills a
// frame of L source samples (N after decimation), which is windowed, zero-padded
// to (coef + 1) x N points and transformed (real to complex, unscaled: bin k at
// k x resolution / (coef + 1) Hz). Frames overlap by `overlap` percent.
//
// Geometry, from the band the caller asks for:
//   frequency   upper edge of the band, Hz, 0 < f <= source rate / 2 (larger: clamped)
//   resolution  line spacing, Hz, 0 < r < nyquist; snapped so that fs is a whole multiple
//   lines       round(frequency / resolution), > 0
//   overlap     percent, 0 .. 99
//   zero_padding_coef  >= 0: the transform runs over trunc((coef + 1) x N) points
// decimation = trunc(rate / 2 / frequency), fs = rate / decimation,
// L = trunc(rate / resolution), N = ceil(fs / resolution), bin_count = N / 2 + 1,
// size (the lines the analysers publish) = lines + 1 below bin_count, else bin_count.
// Settings that would make a frame longer than max_frame_length source samples, or
// a transform longer than max_transform_length points, are refused (or, after a
// change of rate, the resolution is raised to fit).
//
// Every change of frame state runs under the source device's lock. A listener of
// changed() or progress() may reconfigure or delete the engine; what remains of
// the run is then handled by the new geometry, or dropped.
// A meta-object cast request for "std::vector<std::complex<double>>" returns the vector base (the
// base is spelled so that the meta-object answers to that name).
class RYX_MATH_EXPORT fft : public QObject, public std::vector<std::complex<double>>
{
    Q_OBJECT

public:
    enum windows : int {
        rectangular = 0,
        cosine = 1,
        hann = 2,
        bartlett_hann = 3,
        hamming = 4,
        blackman = 5,
        blackman_harris = 6,
        flattop = 7,
        half_rect = 8
    };
    Q_ENUM(windows)

    static constexpr std::uint64_t max_frame_length = std::uint64_t(1) << 22;
    static constexpr std::uint64_t max_transform_length = std::uint64_t(1) << 23;

    explicit fft(ryx::analog_data* source);
    ~fft() override;

    double frequency() const { return m_frequency; }
    double resolution() const { return m_resolution; }
    windows window() const { return m_window; }
    int lines() const { return m_lines; }
    int overlap() const { return m_overlap; }
    std::uint64_t samples() const { return m_samples; }
    double fs() const { return m_fs; }
    // Lines the analysers publish (hides the vector's size(): see size_all()).
    std::uint64_t size() const { return static_cast<std::uint64_t>(m_size); }
    // Complex values the engine holds: trunc((coef + 1) x bin_count), or the
    // transform's own half spectrum when that is longer.
    std::uint64_t size_all() const { return std::vector<std::complex<double>>::size(); }
    // The window values (factor included), null while there are none.
    const double* window_data() const { return m_window_data.empty() ? nullptr : m_window_data.data(); }
    // The source channel; null once the anti-alias filter is gone.
    ryx::analog_data* ad() const;
    // Seconds of source signal one frame advances.
    double acq_time() const;

    double nyquist() const { return m_nyquist; }
    int decimation() const { return m_decimation; }
    std::uint64_t fft_length() const { return m_fft_length; }
    std::uint64_t bin_count() const { return m_bin_count; }
    std::uint64_t frame_length() const { return m_frame_length; }
    double zero_padding_coef() const { return m_zero_padding_coef; }
    // Length of the transform: trunc((coef + 1) x N).
    std::uint64_t transform_length() const { return m_transform_length; }
    // Frames computed since the last init(): frame k of two engines fed the
    // same way are the same moment of their channels.
    std::uint64_t frames() const { return m_frames; }

    void set_frequency(double value);
    void set_resolution(double value);
    void set_lines(int value);
    void set_window(ryx::math::fft::windows value);
    void set_overlap(int value);
    void set_zero_padding_coef(double value);

    // Rebuilds the frame buffers for the current geometry and empties the frame.
    void init();
    // Releases the frame buffers and empties the spectrum.
    void cleanup();
    // Computes the frame when it is full (else reports progress only).
    void calc();
    // Appends the last n samples of the filter's current run to the frame.
    void adcopy(unsigned long n);
    // out[i] = first[i x step] for i < count / step.
    static void decimate(const double* first, double* out, std::size_t count, int, int step);

signals:
    void frequency_changed();
    void resolution_changed();
    void window_changed();
    void lines_changed();
    void overlap_changed();
    void initialized();
    void changed();
    void deleting();
    void progress(double value);

private slots:
    virtual void data_changed();
    virtual void set_rate(double value);
    void reset_ad();

private:
    double source_rate() const;
    // Computes the frame in raw_frame (full) and emits; false when a listener
    // deleted the engine.
    bool compute_frame();
    // Appends `take` filtered samples to the frame being filled.
    void append(const double* from, std::size_t take);
    void init_locked();

    filter_iir* m_filter = nullptr;
    std::uint64_t m_samples = 0;
    double m_frequency = 0.0;
    double m_resolution = 10.0;
    windows m_window = rectangular;
    int m_lines = 20;
    int m_overlap = 0;
    std::uint64_t m_fft_length = 0;
    std::uint64_t m_bin_count = 0;
    int m_size = 0;
    double m_fs = 0.0;
    double m_nyquist = 0.0;
    int m_decimation = 1;
    std::uint64_t m_frame_length = 0;
    std::vector<double> m_window_data;
    std::vector<double> m_raw_frame;
    std::uint64_t m_frame_fill = 0;
    std::uint64_t m_overlap_samples = 0;
    std::vector<double> m_padded_frame;
    ryx::device* m_root_device = nullptr;
    double m_zero_padding_coef = 0.0;
    std::uint64_t m_transform_length = 0;
    std::uint64_t m_frames = 0;
    bool m_picking = false; // the frame keeps only its picks, not all L samples
    detail::lifeline m_life;
};

} // namespace ryx::math
