#pragma once

#include <QString>
#include <QtGlobal>
#include <complex>
#include <cstddef>
#include <memory>
#include <vector>

namespace ryx::analyze {

// A stream of multi-channel samples, read a run at a time: the whole input is
// never held in memory.
class source
{
public:
    virtual ~source() = default;
    virtual int channels() const = 0;
    virtual double rate() const = 0;
    // Frames in the whole input when known (for the progress bar), -1 otherwise.
    virtual qint64 frames() const = 0;
    // Reads up to `max` frames: run is resized to channels() vectors of the
    // frames read. Returns the frames read (0 at the end of the input), or -1
    // with a one-line message in *error when the input is malformed or
    // unreadable (a truncated file, a bad CSV line with its line number, ...).
    virtual qint64 read(std::vector<std::vector<double>>& run, std::size_t max, QString* error) = 0;
    // One line for the summary: "machine signal, 2 channels at 51200 Hz, 20 s",
    // "file.wav: 1 channel at 48000 Hz, 12.5 s (WAV, PCM 16)", ...
    virtual QString describe() const = 0;
};

// The built-in machine signal: two channels, deterministic (fixed seed), whose
// content is known exactly so that the summary can set each known component
// beside what the analyses measured.
//
// Channel 0, a rotating machine, at t = n / rate seconds from the start:
//   - a run-up from runup_from_hz to shaft_hz during the first runup_seconds
//     (the frequency rises linearly; the shaft's phase is the integral of its
//     frequency, so it runs on without a jump into the steady part), then
//     steady at shaft_hz. With theta(t) the shaft's phase in cycles counted
//     from the end of the run-up (negative during it), harmonic k
//     (k = 1 .. harmonics.size()) is harmonics[k-1] cos(2 pi k theta(t) + phases[k-1]):
//     in the steady part, harmonics[k-1] cos(2 pi k shaft_hz t' + phases[k-1])
//     with t' = t - runup_seconds. A missing phase is 0.
//   - a carrier at carrier_hz, amplitude-modulated at defect_hz (a bearing
//     defect): carrier_amplitude (1 + modulation_depth cos(2 pi defect_hz t)) cos(2 pi carrier_hz t);
//   - Gaussian white noise of RMS noise_rms_0.
// Channel 1: channel 0 as delivered, its noise included (what a transfer-
// function measurement sees as the input), through a second-order resonance
// H(s) = w0^2 / (s^2 + 2 damping w0 s + w0^2), w0 = 2 pi resonance_hz (unit
// gain at DC), discretised by the bilinear transform prewarped at
// resonance_hz, then a pure delay of delay_samples samples (zeros before the
// first input arrives), plus independent Gaussian noise of RMS noise_rms_1.
// The noise is a Box-Muller transform of a std::mt19937_64 seeded with `seed`,
// one pair per frame (channel 0, channel 1): the samples are the same on every
// platform and for every split of the input into runs.
// A rate outside (0, 10 MHz] is replaced by the default one; the delay is
// capped at 2^20 samples; a resonance outside (0, rate/2) or a damping that is
// not positive makes the resonance a pass-through. The length is
// round(seconds rate) frames.
struct machine_signal
{
    double rate = 51200.0;
    double seconds = 20.0;
    double runup_from_hz = 5.0;
    double runup_seconds = 4.0;
    double shaft_hz = 25.0;
    std::vector<double> harmonics{1.0, 0.5, 0.25, 0.125};
    std::vector<double> phases{0.0, 0.5, 1.0, 1.5};
    double carrier_hz = 3000.0;
    double carrier_amplitude = 0.2;
    double modulation_depth = 0.8;
    double defect_hz = 87.3;
    double noise_rms_0 = 0.01;
    double resonance_hz = 800.0;
    double damping = 0.05;
    std::size_t delay_samples = 16;
    double noise_rms_1 = 0.01;
    unsigned seed = 20261208;

    // The linear system's complex response at f Hz, exactly as generated: the
    // discrete resonance's response times exp(-j 2 pi f delay_samples / rate),
    // i.e. channel 1 over channel 0 without channel 1's own noise.
    std::complex<double> response(double f) const;
};

// The machine signal as a source, generated run by run (constant memory).
std::unique_ptr<source> open_machine(const machine_signal& m);

// A file: CSV by extension (.csv, .txt), anything else through libsndfile (WAV,
// FLAC, AIFF, ...). A CSV holds one column per channel, an optional header line
// and, when time_column is set, a first column of times in seconds from which
// the rate is taken (it must be uniform); otherwise the rate is `rate` (> 0).
// Returns null with a one-line message in *error when the file cannot be
// opened or its header is malformed. CSV fields are separated by tabs,
// semicolons (a decimal comma is then accepted) or commas, as the first data
// line shows; blank lines and lines starting with # are passed over; "nan" and
// "inf" are numbers; a line is at most 1 MiB and a file at most 64 channels.
// The time column's steps must all equal the first within 1e-6 of it.
std::unique_ptr<source> open_file(const QString& path, double rate, bool time_column, QString* error);

} // namespace ryx::analyze
