#include "ryx/math/moving/corr.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QPointer>
#include <QtDebug>
#include <cmath>
#include <functional>
#include <utility>

#include "ryx/core/device.h"
#include "ryx/core/device_lock.h"
#include "ryx/math/detail/fft_plans.h"
#include "ryx/math/fftw/sngl.h"

namespace ryx::math::moving {

const std::size_t corr::max_reference = fftw::sngl::out_capacity;

namespace {

// Input samples per piece of a `faltung` run: the piece and the partial sums
// it spreads over the next L - 1 outputs stay in the first cache levels for
// short references.
constexpr std::size_t direct_piece = 2048;

std::size_t power_of_two_at_least(std::size_t v)
{
    std::size_t p = 1;
    while (p < v)
        p <<= 1;
    return p;
}

template <class T>
void release(std::vector<T>& v)
{
    std::vector<T>().swap(v);
}

// z[t] += sum over d < 4 of g[d] x[t - d], for t in [0, k + 3), terms with
// t - d outside [0, k) left out: four taps of the convolution in one pass over
// the partial sums, which halves the loads and stores of taking them one by one.
void four_taps(double* __restrict z, const double* __restrict x, std::size_t k, const double* g)
{
    const double g0 = g[0], g1 = g[1], g2 = g[2], g3 = g[3];
    const auto edge = [&](std::size_t t) {
        double s = 0.0;
        for (std::size_t d = 0; d < 4; ++d)
            if (t >= d && t - d < k)
                s += g[d] * x[t - d];
        z[t] += s;
    };
    const std::size_t inner_end = k > 3 ? k : 3;
    for (std::size_t t = 0; t < 3 && t < k + 3; ++t)
        edge(t);
    for (std::size_t t = 3; t < k; ++t)
        z[t] += (g0 * x[t] + g1 * x[t - 1]) + (g2 * x[t - 2] + g3 * x[t - 3]);
    for (std::size_t t = inner_end; t < k + 3; ++t)
        edge(t);
}

void one_tap(double* __restrict z, const double* __restrict x, std::size_t k, double g)
{
    for (std::size_t t = 0; t < k; ++t)
        z[t] += g * x[t];
}

// Sum of a[i] (b[i] - shift), in four independent chains.
double centred_dot(const double* a, const double* b, std::size_t n, double shift)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    std::size_t i = 0;
    for (; i + 4 <= n; i += 4) {
        s0 += a[i] * (b[i] - shift);
        s1 += a[i + 1] * (b[i + 1] - shift);
        s2 += a[i + 2] * (b[i + 2] - shift);
        s3 += a[i + 3] * (b[i + 3] - shift);
    }
    for (; i < n; ++i)
        s0 += a[i] * (b[i] - shift);
    return (s0 + s1) + (s2 + s3);
}

// The mean of the values, corrected by a second pass for the rounding of the first.
double mean_of(const std::vector<double>& v)
{
    if (v.empty())
        return 0.0;
    const double n = static_cast<double>(v.size());
    double sum = 0.0;
    for (const double x : v)
        sum += x;
    const double first = sum / n;
    double correction = 0.0;
    for (const double x : v)
        correction += x - first;
    return first + correction / n;
}

} // namespace

corr::corr(ryx::analog_data* source, methods method, bool temporary)
    : with_blocks(source, temporary), m_method(method >= fft && method <= factor ? method : fft)
{
    set_name(tr("corr"));
    connect(this, &data::time_changed, this, &corr::limit_window);
}

corr::~corr()
{
    retire();
}

void corr::set_method(methods value)
{
    if (value < fft || value > factor || value == m_method)
        return;
    restart(value);
    emit method_changed();
}

void corr::restart(methods method)
{
    const ryx::device_lock lock(this);
    m_method = method;
    prepare_work();
    reset_state();
    reset_time();
    std::fill(m_tail.begin(), m_tail.end(), 0.0);
}

void corr::set_reference(const QJsonArray& array)
{
    if (static_cast<std::size_t>(array.size()) > max_reference) {
        refuse_reference(static_cast<std::size_t>(array.size()));
        return;
    }
    std::vector<double> values;
    values.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& v : array)
        values.push_back(v.isDouble() ? v.toDouble() : 0.0);
    apply_reference(std::move(values));
}

void corr::set_array_y(std::vector<double>::const_iterator first, std::vector<double>::const_iterator last)
{
    const auto count = static_cast<std::size_t>(last - first);
    if (count > max_reference) {
        refuse_reference(count);
        return;
    }
    apply_reference(std::vector<double>(first, last));
}

void corr::refuse_reference(std::size_t count)
{
    qWarning("corr: a reference of %zu values is longer than the %zu allowed; the channel has no reference",
             count, max_reference);
    apply_reference({});
}

void corr::apply_reference(std::vector<double> values)
{
    const ryx::device_lock lock(qobject_cast<ryx::device*>(root()), QStringLiteral("set array"));
    m_supplied = std::move(values);
    const std::size_t n = m_supplied.size();
    const double mean = mean_of(m_supplied);
    m_reference.resize(n);
    for (std::size_t i = 0; i < n; ++i)
        m_reference[i] = m_supplied[i] - mean;
    m_tail.assign(n > 0 ? n - 1 : 0, 0.0);
    prepare_work();
    reset_state();
    reset_time();
    // The window becomes the reference's length; it may emit time_changed, to
    // a listener that may delete this channel: nothing is touched afterwards.
    const double rate = get_rate();
    if (rate > 0.0)
        set_time(static_cast<double>(n) / rate);
}

void corr::prepare_work()
{
    const std::size_t n = m_reference.size();
    if (n > 0 && m_method == faltung) {
        m_taps.assign(m_reference.rbegin(), m_reference.rend());
        m_sums.assign(direct_piece + n - 1, 0.0);
    } else {
        release(m_taps);
        release(m_sums);
    }
    if (n > 0 && m_method == fft) {
        prepare_transforms();
    } else {
        release(m_sizes);
        release(m_spectra);
        release(m_work);
        release(m_spectrum);
    }
    if (n > 0 && m_method == factor)
        m_window_reference.reserve(n);
    else
        release(m_window_reference);
}

void corr::prepare_transforms()
{
    const std::size_t n = m_supplied.size();
    // The largest transform takes pieces of at least about 3L samples for
    // short references (the cost per sample is then near its least), and of
    // L + 1 for long ones, where memory matters more. Smaller sizes, down to
    // the reference's length, serve the short runs a host delivers: a run of
    // k samples takes the smallest size of at least k + L - 1, the same for
    // every run of that length, so its plans come from the cache.
    const std::size_t top = n <= (std::size_t(1) << 15) ? std::max<std::size_t>(512, power_of_two_at_least(4 * n))
                                                        : power_of_two_at_least(2 * n);
    m_sizes.clear();
    for (std::size_t s = top; m_sizes.size() < 4 && s >= n && s >= 2; s >>= 1)
        m_sizes.push_back(static_cast<int>(s));
    m_work.assign(top, 0.0);
    m_spectrum.assign(top / 2 + 1, {});
    m_spectra.resize(m_sizes.size());
    for (std::size_t k = 0; k < m_sizes.size(); ++k) {
        const auto s = static_cast<std::size_t>(m_sizes[k]);
        // The reference reversed: taps by lag, lag 0 against the newest sample.
        std::fill(m_work.begin(), m_work.begin() + static_cast<std::ptrdiff_t>(s), 0.0);
        std::copy(m_supplied.rbegin(), m_supplied.rend(), m_work.begin());
        std::vector<std::complex<double>>& h = m_spectra[k];
        h.assign(s / 2 + 1, {});
        math::detail::fft_r2c(m_sizes[k], m_work.data(), h.data());
        const double scale = 1.0 / static_cast<double>(s); // the inverse transform's factor
        for (std::complex<double>& v : h)
            v *= scale;
    }
}

void corr::reset_tais()
{
    const ryx::device_lock lock(this);
    std::fill(m_tail.begin(), m_tail.end(), 0.0);
}

void corr::limit_window()
{
    const double rate = get_rate();
    if (!m_reference.empty() && rate > 0.0 && count() > static_cast<qint64>(m_reference.size()))
        set_time(static_cast<double>(m_reference.size()) / rate);
}

void corr::reset_time()
{
    with_blocks::reset_time();
    m_window_energy = 0.0;
    if (m_method != factor || m_reference.empty()) {
        m_window_reference.clear();
        return;
    }
    // Centred on the mean of the values the window meets, so that the
    // coefficient of a window shorter than the reference is a true Pearson
    // coefficient; within the reserved capacity, so nothing is allocated.
    const std::size_t w = std::min(static_cast<std::size_t>(std::max<qint64>(count(), 0)), m_reference.size());
    m_window_reference.assign(m_reference.begin(), m_reference.begin() + static_cast<std::ptrdiff_t>(w));
    const double mean = mean_of(m_window_reference);
    for (double& r : m_window_reference) {
        r -= mean;
        m_window_energy += r * r;
    }
}

double corr::get_value() const
{
    const std::size_t w = static_cast<std::size_t>(std::max<qint64>(count(), 0));
    if (w == 0 || w > m_window_reference.size() || static_cast<std::size_t>(real_count()) < w)
        return 0.0;
    const cursor c = m_blocks.view();
    const std::size_t n = c.count();
    const detail::power_sums<2> p = detail::merge<2>(c.tail_part(), c.head.p);
    // Sums of the deviations from a sample of the window, in units of 2^e.
    const double n_m2 = detail::central_moments<2>(p, static_cast<double>(n)).n_m2;
    if (n_m2 == 0.0 || m_window_energy == 0.0)
        return 0.0; // a constant window or reference: no linear relation to measure
    const double mean = c.head.origin + std::ldexp(p.s[0] / static_cast<double>(n), p.e);
    const double spread = std::ldexp(std::sqrt(n_m2 / static_cast<double>(n)), p.e); // sqrt of the centred sum of squares

    // Oldest sample first: ring[position ..] then ring[.. position).
    const double* ring = this->ring().data();
    const std::size_t oldest = static_cast<std::size_t>(position());
    const double* r = m_window_reference.data();
    const double c_xr = centred_dot(r, ring + oldest, w - oldest, mean) + centred_dot(r + (w - oldest), ring, oldest, mean);
    const double result = c_xr / (spread * std::sqrt(m_window_energy));
    return result > 1.0 ? 1.0 : result < -1.0 ? -1.0 : result;
}

void corr::set_data(const_iterator first, const_iterator last)
{
    const ryx::device_lock lock(this);
    if (m_method == factor && !m_reference.empty()) {
        data::set_data(first, last);
        return;
    }
    if (first == last)
        return;
    ryx::node_guard self(this);

    take_run(first, last);

    double* out = std::vector<double>::data();
    if (m_reference.empty())
        std::fill(out, out + size(), 0.0);
    else if (m_method == faltung)
        convolve_direct(out, size());
    else
        convolve_fft(out, size());

    if (self.node())
        ryx::analog_data::set_data(cbegin(), cend());
}

void corr::carry(const double* z, double* out, std::size_t n)
{
    const std::size_t keep = m_tail.size(); // L - 1
    double* tail = m_tail.data();
    const std::size_t both = std::min(n, keep);
    for (std::size_t i = 0; i < both; ++i)
        out[i] = z[i] + tail[i];
    for (std::size_t i = both; i < n; ++i)
        out[i] = z[i];
    // The new carry: what reaches past this piece, plus the old carry's part
    // beyond it. Ascending, so that tail[n + t] is read before it is written.
    const std::size_t shifted = keep > n ? keep - n : 0;
    for (std::size_t t = 0; t < shifted; ++t)
        tail[t] = z[n + t] + tail[n + t];
    for (std::size_t t = shifted; t < keep; ++t)
        tail[t] = z[n + t];
}

void corr::convolve_direct(double* out, std::size_t n)
{
    const std::size_t taps = m_taps.size();
    const double* g = m_taps.data();
    double* z = m_sums.data();
    for (std::size_t start = 0; start < n; start += direct_piece) {
        const std::size_t k = std::min(direct_piece, n - start);
        const double* x = out + start;
        std::fill(z, z + k + taps - 1, 0.0);
        std::size_t i = 0;
        for (; i + 4 <= taps; i += 4)
            four_taps(z + i, x, k, g + i);
        for (; i < taps; ++i)
            one_tap(z + i, x, k, g[i]);
        carry(z, out + start, k);
    }
}

void corr::convolve_fft(double* out, std::size_t n)
{
    const std::size_t taps = m_supplied.size();
    const std::size_t longest = static_cast<std::size_t>(m_sizes.front()) - taps + 1; // piece of the largest size
    double* work = m_work.data();
    std::complex<double>* spectrum = m_spectrum.data();
    for (std::size_t start = 0; start < n; start += longest) {
        const std::size_t k = std::min(longest, n - start);
        // The smallest size that holds the piece's whole convolution, k + L - 1 values.
        std::size_t which = 0;
        while (which + 1 < m_sizes.size() && static_cast<std::size_t>(m_sizes[which + 1]) >= k + taps - 1)
            ++which;
        const int size = m_sizes[which];
        std::copy(out + start, out + start + k, work);
        std::fill(work + k, work + size, 0.0);
        math::detail::fft_r2c(size, work, spectrum);
        // Written out: the library's complex product checks for infinities
        // and NaN on every element.
        const std::complex<double>* h = m_spectra[which].data();
        const std::size_t bins = static_cast<std::size_t>(size) / 2 + 1;
        for (std::size_t b = 0; b < bins; ++b) {
            const double xr = spectrum[b].real(), xi = spectrum[b].imag();
            const double hr = h[b].real(), hi = h[b].imag();
            spectrum[b] = {xr * hr - xi * hi, xr * hi + xi * hr};
        }
        math::detail::fft_c2r(size, spectrum, work);
        carry(work, out + start, k);
    }
}

void corr::save(QDomElement& element)
{
    ryx::analog_data::save(element);
    QByteArray bytes;
    {
        QDataStream stream(&bytes, QIODevice::WriteOnly); // big-endian, 64-bit doubles
        for (const double v : m_supplied)
            stream << v;
    }
    element.setAttribute("array_y", QString::fromLatin1(bytes.toBase64()));
    element.setAttribute("method", static_cast<int>(m_method));
}

void corr::load(const QDomElement& element)
{
    ryx::analog_data::load(element);
    const QPointer<corr> self(this);

    const QByteArray text = element.attribute("array_y").toLatin1();
    const auto decoded = QByteArray::fromBase64Encoding(
        text, QByteArray::Base64Encoding | QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        qWarning("corr: the saved reference is not Base64; the channel has no reference");
        apply_reference({});
    } else if (static_cast<std::size_t>(decoded.decoded.size()) / sizeof(double) > max_reference) {
        refuse_reference(static_cast<std::size_t>(decoded.decoded.size()) / sizeof(double));
    } else {
        // Whole values only: a trailing partial value is ignored.
        std::vector<double> values;
        values.reserve(static_cast<std::size_t>(decoded.decoded.size()) / sizeof(double));
        QDataStream stream(decoded.decoded);
        while (!stream.atEnd()) {
            double v = 0.0;
            stream >> v;
            if (stream.status() != QDataStream::Ok)
                break;
            values.push_back(v);
        }
        apply_reference(std::move(values));
    }
    if (!self)
        return;

    bool ok = false;
    int m = element.attribute("method", "0").toInt(&ok, 10);
    if (!ok || m < fft || m > factor)
        m = fft;
    if (m != m_method) {
        // Taken over quietly, as a loaded setting: no method_changed.
        restart(static_cast<methods>(m));
    }
}

QJsonObject corr::settings() const
{
    // The window is not offered: the reference fixes it.
    return ryx::analog_data::settings();
}

bool corr::set_parameter(const QString& name, const QVariant& value)
{
    if (ryx::analog_data::set_parameter(name, value))
        return true;
    if (name == QLatin1String("window")) {
        double t = value.toDouble();
        const double rate = get_rate();
        if (!m_reference.empty() && rate > 0.0) {
            const double longest = static_cast<double>(m_reference.size()) / rate;
            t = t > longest ? longest : t;
        }
        set_time(t);
        return true;
    }
    return false;
}

} // namespace ryx::math::moving
