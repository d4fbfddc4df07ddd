#pragma once

#include <QDomElement>
#include <QJsonArray>
#include <QJsonObject>
#include <QVariant>
#include <algorithm>
#include <complex>
#include <cstddef>
#include <vector>

#include "ryx/math/moving/statistic.h"

namespace ryx::math::moving {

// Moving correlation of the source with a fixed reference waveform of L samples,
// for matched detection of a known pattern in a stream. One output per input:
//
// - `fft` and `faltung`: the sliding dot product of the reference (its first
//   value against the oldest sample) with the last L inputs,
//   y[m] = sum_j reference[j] x[m - L + 1 + j], inputs before the first run
//   (or before the last reset of the tail) counting as 0. `faltung` takes the
//   reference with its mean removed, `fft` as it was given. Both work a run
//   at a time and carry the L - 1 partial sums that reach past the run into
//   the next one (overlap-add), so any split of the input into runs gives the
//   same output (up to rounding for `fft`). `faltung` is the direct sum,
//   O(L) per sample; `fft` convolves blocks of the run through cached
//   transforms of a few power-of-two sizes chosen from L, O(log L) per sample
//   for long runs and one transform of about 2L per shorter run. An empty run
//   publishes nothing.
// - `factor`: the Pearson coefficient of the window (W samples, W = L unless
//   set smaller; a larger window is limited to L) against the first W
//   reference values, window sample i (oldest first) against reference[i];
//   between -1 and 1. The window's mean and centred sum of squares are kept
//   exactly, as the moving variance keeps them (blocks.h). A constant window
//   or a constant reference gives 0. While the window is not yet full after a
//   reset, a new reference or a change of window or method, the output is 0:
//   a coefficient over the first few samples is no evidence of a match (two
//   samples always correlate to +-1).
//
// Without a reference (none set yet, or an empty one) every method outputs
// zeros, one per input, so that channels below keep their sample alignment.
// A reference longer than max_reference values is refused with a warning and
// leaves the channel without one.
//
// Saved as the attributes "array_y" (the reference as given, big-endian IEEE
// doubles in Base64) and "method". Loading ignores a trailing partial value
// and refuses text that is not Base64 and references that are too long (both
// leave the channel without a reference, with one warning).
//
// A derived channel: it belongs to its source channel, which deletes it.
class RYX_MATH_EXPORT corr : public with_blocks<data, detail::power_head<2>>
{
    Q_OBJECT
    Q_PROPERTY(methods method READ method WRITE set_method NOTIFY method_changed)

public:
    enum methods { fft = 0, faltung = 1, factor = 2 };
    Q_ENUM(methods)

    // The longest reference, in values: the capacity of the acquisition
    // analysers' shared transform buffer.
    static const std::size_t max_reference;

    corr(ryx::analog_data* source, methods method, bool temporary);
    ~corr() override;

    methods method() const { return m_method; }

    // Number of reference values, L.
    std::size_t reference_size() const { return m_reference.size(); }

    // Applies the reference values [first, last) under the device lock (tagged
    // "set array"): the tail is cleared and the window, W = L, restarts empty.
    void set_array_y(std::vector<double>::const_iterator first, std::vector<double>::const_iterator last);

    // Appends the reference with its mean removed.
    template <class OutputIt>
    void get_array_y(OutputIt out) const
    {
        std::copy(m_reference.begin(), m_reference.end(), out);
    }

    // Clears the partial sums carried into the next run: inputs seen so far
    // stop counting for `fft` and `faltung`.
    void reset_tais();

public slots:
    // A different method restarts the correlation: the window empties and the
    // carried partial sums are cleared.
    void set_method(ryx::math::moving::corr::methods value);
    // Each element as a double; an element that is not a number reads as 0.
    void set_reference(const QJsonArray& array);

    double get_value() const override;
    void reset_time() override;

    void save(QDomElement& element) override;
    void load(const QDomElement& element) override;
    QJsonObject settings() const override;
    bool set_parameter(const QString& name, const QVariant& value) override;
    void set_data(const_iterator first, const_iterator last) override;

signals:
    void method_changed();

private:
    // Takes the values as the reference, under the device lock.
    void apply_reference(std::vector<double> values);
    // Warns once and leaves the channel without a reference.
    void refuse_reference(std::size_t count);
    // Sizes the work vectors of the current method for the reference; frees
    // those of the other methods.
    void prepare_work();
    // The reference spectra and work vectors of `fft`.
    void prepare_transforms();
    // Under the device lock: takes the method; the window empties and the
    // carried sums are cleared.
    void restart(methods method);
    // Replace out[0 .. n), the run's inputs, by its outputs.
    void convolve_direct(double* out, std::size_t n);
    void convolve_fft(double* out, std::size_t n);
    // z[0 .. n + L - 1) holds a piece's own contributions to the outputs from
    // its first sample on: adds the carried sums, writes out[0 .. n) and keeps
    // the rest as the new carry.
    void carry(const double* z, double* out, std::size_t n);
    // Keeps the window within the reference's length; on every window change.
    void limit_window();

    methods m_method;
    std::vector<double> m_supplied;  // the reference as given
    std::vector<double> m_reference; // with its mean removed
    std::vector<double> m_tail;      // L - 1 partial sums for the coming outputs
    // `faltung`: the mean-removed reference reversed (taps by lag), and the
    // partial sums of one piece of a run.
    std::vector<double> m_taps;
    std::vector<double> m_sums;
    // `fft`: transform sizes, largest first, each with the spectrum of the
    // reversed reference (scaled by 1 / size); a work vector and a spectrum.
    std::vector<int> m_sizes;
    std::vector<std::vector<std::complex<double>>> m_spectra;
    std::vector<double> m_work;
    std::vector<std::complex<double>> m_spectrum;
    // `factor`: the first W reference values, centred on their own mean, and
    // their sum of squares.
    std::vector<double> m_window_reference;
    double m_window_energy = 0.0;
};

} // namespace ryx::math::moving
