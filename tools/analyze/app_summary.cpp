#include "app_summary.h"

#include <QJsonArray>
#include <algorithm>
#include <cmath>
#include <complex>

namespace ryx::analyze {

namespace {

QJsonObject object(std::initializer_list<std::pair<QString, QJsonValue>> items)
{
    QJsonObject o;
    for (const auto& [k, v] : items)
        o.insert(k, v);
    return o;
}

analysis_spec make(const char* name, const char* kind, QStringList sources, QJsonObject settings)
{
    return {QString::fromLatin1(name), QString::fromLatin1(kind), std::move(sources), std::move(settings)};
}

const result* find(const std::map<QString, result>& results, const char* name)
{
    const auto it = results.find(QString::fromLatin1(name));
    if (it == results.end() || it->second.x.empty() || it->second.y.empty())
        return nullptr;
    return &it->second;
}

// The value of the first series at the axis point nearest to x.
double at(const result& r, double x, std::size_t series = 0)
{
    std::size_t best = 0;
    for (std::size_t i = 1; i < r.x.size(); ++i)
        if (std::abs(r.x[i] - x) < std::abs(r.x[best] - x))
            best = i;
    return r.y[series].values[best];
}

// The axis point of the largest value within [from, to] of the axis, refined
// by a parabola through it and its neighbours.
double peak_position(const result& r, double from, double to)
{
    const std::vector<double>& y = r.y[0].values;
    std::size_t best = r.x.size();
    for (std::size_t i = 0; i < r.x.size(); ++i)
        if (r.x[i] >= from && r.x[i] <= to && std::isfinite(y[i]) && (best == r.x.size() || y[i] > y[best]))
            best = i;
    if (best == r.x.size())
        return std::nan("");
    if (best == 0 || best + 1 >= r.x.size())
        return r.x[best];
    const double a = y[best - 1], b = y[best], c = y[best + 1];
    const double d = a - 2.0 * b + c;
    const double shift = d < 0.0 ? 0.5 * (a - c) / d : 0.0;
    return r.x[best] + shift * (r.x[best + 1] - r.x[best]);
}

QString line(const QString& what, double known, double measured, const QString& unit)
{
    const double error = known != 0.0 ? 100.0 * (measured - known) / std::abs(known) : std::nan("");
    return QStringLiteral("  %1 %2 %3 %4 %5")
        .arg(what, -34)
        .arg(QString::number(known, 'g', 6), 12)
        .arg(QString::number(measured, 'g', 6), 12)
        .arg(unit, -6)
        .arg(std::isfinite(error) ? QStringLiteral("%1 %").arg(error, 7, 'f', 2) : QStringLiteral("-"), 10);
}

// A phase difference in degrees, wrapped into (-180, 180].
double wrap_degrees(double d)
{
    d = std::fmod(d, 360.0);
    if (d > 180.0)
        d -= 360.0;
    if (d <= -180.0)
        d += 360.0;
    return d;
}

struct component
{
    double f;
    double amplitude;
};

// The sinusoids of channel 0 in steady state: the shaft harmonics, the carrier
// and its two modulation side bands.
std::vector<component> components(const machine_signal& m)
{
    std::vector<component> out;
    for (std::size_t k = 0; k < m.harmonics.size(); ++k)
        out.push_back({m.shaft_hz * static_cast<double>(k + 1), m.harmonics[k]});
    out.push_back({m.carrier_hz, m.carrier_amplitude});
    out.push_back({m.carrier_hz - m.defect_hz, m.carrier_amplitude * m.modulation_depth / 2.0});
    out.push_back({m.carrier_hz + m.defect_hz, m.carrier_amplitude * m.modulation_depth / 2.0});
    return out;
}

// The Blackman window's amplitude response to a tone `offset` lines from a
// line, relative to a tone on the line (the DTFT of the window over its sum).
double blackman_response(double offset)
{
    const int n = 4096;
    std::complex<double> sum = 0.0;
    double dc = 0.0;
    for (int i = 0; i < n; ++i) {
        const double x = 2.0 * M_PI * i / n;
        const double w = 0.42 - 0.5 * std::cos(x) + 0.08 * std::cos(2.0 * x);
        sum += w * std::polar(1.0, -offset * x);
        dc += w;
    }
    return std::abs(sum) / dc;
}

} // namespace

std::vector<analysis_spec> default_analyses(const machine_signal& m)
{
    // Spectra of the steady part skip the run-up when there is enough signal after it.
    const double steady = m.seconds > m.runup_seconds + 2.0 ? m.runup_seconds : std::max(0.0, m.seconds - 2.0);
    const QStringList ch0{QStringLiteral("ch0")};
    const QStringList ch1_over_ch0{QStringLiteral("ch1"), QStringLiteral("ch0")};
    std::vector<analysis_spec> out;
    // A 1 Hz line spacing puts every shaft harmonic on a line, so the rectangular
    // window reads their amplitudes without leakage.
    out.push_back(make("spectrum", "fftw::ausp", ch0,
                       object({{"frequency", 400}, {"resolution", 1}, {"window", "rectangular"}, {"average", 8},
                               {"delay", steady}})));
    out.push_back(make("orders", "orsp", ch0,
                       object({{"frequency", 400}, {"resolution", 0.5}, {"window", "flattop"},
                               {"search_type", "max"}, {"order_max", 8}})));
    out.push_back(make("bands", "octv", ch0,
                       object({{"minimum", 16}, {"maximum", 8192}, {"ratio", "two"}, {"fraction", "one"},
                               {"look", "amplitude"}})));
    out.push_back(make("level", "instant::rms", ch0, object({{"time", 1.0}})));
    // The shaft speed from the zero crossings of the low-passed signal.
    out.push_back(make("shaft", "filter_iir", ch0,
                       object({{"kind", "butterworth"}, {"type", "lowpass"}, {"order", 4},
                               {"freq", 1.4 * m.shaft_hz}})));
    out.push_back(make("shaft_speed", "instant::freq", {QStringLiteral("shaft")}, object({{"time", 1.0}})));
    // The bearing carrier alone, its RMS over time, and its envelope spectrum.
    out.push_back(make("carrier_band", "filter_iir", ch0,
                       object({{"kind", "butterworth"}, {"type", "bandpass"}, {"order", 4},
                               {"freq", m.carrier_hz}, {"band", 1000}})));
    // A 1 s window holds many modulation periods, so the RMS barely ripples.
    out.push_back(make("carrier_rms", "moving::rms", {QStringLiteral("carrier_band")}, object({{"window", 1.0}})));
    // 0.1 Hz lines put the carrier and its side bands on lines when there is
    // signal for a 10 s frame.
    const double envelope_resolution = m.seconds >= 10.0 ? 0.1 : 0.5;
    out.push_back(make("envelope", "fftw::spen", {QStringLiteral("carrier_band")},
                       object({{"frequency", 6400}, {"resolution", envelope_resolution}, {"window", "rectangular"},
                               {"average", std::max(1.0, std::floor(m.seconds / (1.0 / envelope_resolution)))}})));
    // The linear system between the channels: response, phase, coherence, delay.
    out.push_back(make("frf", "fftw::afc", ch1_over_ch0,
                       object({{"frequency", 1600}, {"resolution", 4}, {"window", "hann"}, {"average", 64}})));
    out.push_back(make("phase", "fftw::pfc", ch1_over_ch0,
                       object({{"frequency", 1600}, {"resolution", 1}, {"window", "hann"}, {"view", "deg"}})));
    out.push_back(make("coherence", "fftw::coh", {QStringLiteral("ch0"), QStringLiteral("ch1")},
                       object({{"frequency", 1600}, {"resolution", 4}, {"window", "hann"}, {"average", 64}})));
    out.push_back(make("delay", "fftw::corr", ch1_over_ch0, object({{"time", 0.5}})));
    return out;
}

QStringList compare_with_machine(const machine_signal& m, const std::map<QString, result>& results)
{
    QStringList out;
    out << QStringLiteral("  %1 %2 %3 %4 %5")
               .arg(QStringLiteral("known component"), -34)
               .arg(QStringLiteral("known"), 12)
               .arg(QStringLiteral("measured"), 12)
               .arg(QStringLiteral("unit"), -6)
               .arg(QStringLiteral("error"), 10);
    if (const result* r = find(results, "spectrum"))
        for (std::size_t k = 0; k < m.harmonics.size(); ++k) {
            const double f = m.shaft_hz * static_cast<double>(k + 1);
            out << line(QStringLiteral("harmonic %1 amplitude (%2 Hz)").arg(k + 1).arg(f), m.harmonics[k], at(*r, f),
                        QStringLiteral("EU"));
        }
    if (const result* r = find(results, "shaft_speed"))
        out << line(QStringLiteral("shaft frequency"), m.shaft_hz, r->y[0].values.back(), QStringLiteral("Hz"));
    if (const result* r = find(results, "level")) {
        double square = m.noise_rms_0 * m.noise_rms_0;
        for (const component& c : components(m))
            square += c.amplitude * c.amplitude / 2.0;
        out << line(QStringLiteral("overall RMS, steady state"), std::sqrt(square), r->y[0].values.back(),
                    QStringLiteral("EU"));
    }
    if (const result* r = find(results, "carrier_rms")) {
        const double a = m.carrier_amplitude;
        const double known = std::sqrt(a * a / 2.0 * (1.0 + m.modulation_depth * m.modulation_depth / 2.0));
        out << line(QStringLiteral("modulated carrier RMS"), known, r->y.back().values.back(), QStringLiteral("EU"));
    }
    if (const result* r = find(results, "envelope")) {
        // Above the skirt of the envelope's mean on line 0, below the band.
        const double f = peak_position(*r, 10.0, 400.0);
        out << line(QStringLiteral("defect frequency (envelope peak)"), m.defect_hz, f, QStringLiteral("Hz"));
        out << line(QStringLiteral("envelope at the defect frequency"), m.modulation_depth * m.carrier_amplitude,
                    at(*r, m.defect_hz), QStringLiteral("EU"));
    }
    if (const result* r = find(results, "bands")) {
        // A band reads its largest line: a tone of amplitude A reads A x c, c the
        // block spectrum's window calibration.
        // A band reads its largest line: a tone of amplitude A on a line reads
        // A x c (c the window's calibration); between lines, the Blackman
        // window's response at the tone's offset from the nearest line.
        const double c = r->settings.value(QLatin1String("calibration")).toDouble(1.0);
        const double resolution = r->settings.value(QLatin1String("resolution")).toDouble(0.0);
        for (std::size_t i = 0; i < r->x.size(); ++i) {
            const double lo = r->x[i] / std::sqrt(2.0), hi = r->x[i] * std::sqrt(2.0);
            double known = 0.0;
            for (const component& comp : components(m))
                if (comp.f >= lo && comp.f < hi) {
                    const double offset = resolution > 0.0 ? comp.f / resolution - std::round(comp.f / resolution) : 0.0;
                    known = std::max(known, comp.amplitude * c * blackman_response(offset));
                }
            if (known > 0.0)
                out << line(QStringLiteral("octave band %1 Hz").arg(r->x[i], 0, 'f', 0), known, r->y[0].values[i],
                            QStringLiteral("EU"));
        }
    }
    const std::complex<double> h = m.response(m.resonance_hz);
    // Near the resonance a single line scatters with channel 1's own noise (a
    // tenth of the resonant output): each line within `near` Hz is set against
    // the known response at its own frequency, and the mean deviation is
    // reported at the resonance.
    const double near = 40.0;
    if (const result* r = find(results, "frf")) {
        double sum = 0.0;
        int n = 0;
        for (std::size_t i = 0; i < r->x.size(); ++i)
            if (std::abs(r->x[i] - m.resonance_hz) <= near) {
                sum += r->y[0].values[i] / std::abs(m.response(r->x[i]));
                ++n;
            }
        if (n > 0)
            out << line(QStringLiteral("|H| at the resonance (%1 Hz)").arg(m.resonance_hz), std::abs(h),
                        std::abs(h) * sum / n, QString());
    }
    if (const result* r = find(results, "phase")) {
        const double known = std::arg(h) * 180.0 / M_PI;
        double sum = 0.0;
        int n = 0;
        for (std::size_t i = 0; i < r->x.size(); ++i)
            if (std::abs(r->x[i] - m.resonance_hz) <= near) {
                sum += wrap_degrees(r->y[0].values[i] - std::arg(m.response(r->x[i])) * 180.0 / M_PI);
                ++n;
            }
        if (n > 0)
            out << line(QStringLiteral("phase of H at the resonance"), known, known + sum / n, QStringLiteral("deg"));
    }
    if (find(results, "frf") || find(results, "phase"))
        out << QStringLiteral("    (|H| and phase: mean deviation over the lines within %1 Hz of the resonance)").arg(near);
    if (const result* r = find(results, "coherence")) {
        // White noise of equal density on both channels: the coherence at f is
        // |H|^2 s0^2 / (|H|^2 s0^2 + s1^2).
        const double g = std::norm(h) * m.noise_rms_0 * m.noise_rms_0;
        out << line(QStringLiteral("coherence at the resonance"), g / (g + m.noise_rms_1 * m.noise_rms_1),
                    at(*r, m.resonance_hz), QString());
        out << line(QStringLiteral("coherence at the shaft frequency"), 1.0, at(*r, m.shaft_hz), QString());
    }
    if (const result* r = find(results, "delay")) {
        // The correlation of the two channels peaks where the components' phases
        // through H line up: the pure delay plus the system's phase delay at the
        // strong low harmonics. Its position is found on the model itself.
        const std::vector<component> comps = components(m);
        const double dt = 1.0 / m.rate;
        double best_tau = 0.0, best = -1e300;
        for (double tau = 0.0; tau < 4.0 * static_cast<double>(m.delay_samples + 8) * dt; tau += dt / 100.0) {
            double sum = 0.0;
            for (const component& c : comps) {
                const std::complex<double> hc = m.response(c.f);
                sum += c.amplitude * c.amplitude / 2.0 * std::abs(hc) * std::cos(2.0 * M_PI * c.f * tau + std::arg(hc));
            }
            if (sum > best) {
                best = sum;
                best_tau = tau;
            }
        }
        const double measured = peak_position(*r, 0.0, 0.01);
        out << line(QStringLiteral("delay ch1 after ch0 (corr. peak)"), best_tau * 1e3, measured * 1e3,
                    QStringLiteral("ms"));
        out << QStringLiteral("    (pure delay %1 samples = %2 ms; the resonance adds its phase delay)")
                   .arg(m.delay_samples)
                   .arg(static_cast<double>(m.delay_samples) * dt * 1e3, 0, 'g', 5);
    }
    return out;
}

} // namespace ryx::analyze
