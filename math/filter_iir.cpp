#include "ryx/math/filter_iir.h"

#include <QPointer>

#include <QJsonArray>
#include <QtDebug>
#include <algorithm>
#include <array>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <climits>
#include <exception>
#include <vector>

#include "ryx/dsp/Bessel.h"
#include "ryx/dsp/Butterworth.h"
#include "ryx/dsp/ChebyshevI.h"
#include "ryx/dsp/ChebyshevII.h"
#include "ryx/dsp/Elliptic.h"
#include "ryx/dsp/Filter.h"
#include "ryx/dsp/Legendre.h"
#include "ryx/dsp/RBJ.h"
#include "ryx/math/editor.h"

namespace ryx::math {

namespace {

// Whether every sample of the run is finite: one branch-free pass over the
// exponent bits (all ones for an infinity or a NaN), two samples at a time,
// where a per-sample test with an early exit costs more than the filter's
// first section.
bool finite_run(const double* x, std::size_t n)
{
    std::size_t i = 0;
#if defined(__SSE2__)
    // The exponent field lies in the upper 32 bits of each double; the lower
    // halves compare equal against the zero mask and are ignored below.
    const __m128i mask = _mm_set_epi32(0x7ff00000, 0, 0x7ff00000, 0);
    __m128i bad = _mm_setzero_si128();
    for (; i + 4 <= n; i += 4) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(x + i + 2));
        bad = _mm_or_si128(bad, _mm_cmpeq_epi32(_mm_and_si128(a, mask), mask));
        bad = _mm_or_si128(bad, _mm_cmpeq_epi32(_mm_and_si128(b, mask), mask));
    }
    if (_mm_movemask_epi8(bad) & 0xF0F0)
        return false;
#endif
    for (; i < n; ++i)
        if (!std::isfinite(x[i]))
            return false;
    return true;
}

constexpr int max_order = 50;
constexpr double min_db = 0.001; // smallest ripple / stop band the engine designs from

template <class Design>
std::unique_ptr<Dsp::Filter> make()
{
    return std::make_unique<Dsp::FilterDesign<Design, 1, Dsp::DirectFormII>>();
}

// One row of the table: the design a family builds for a response type.
struct design_entry
{
    filter_iir::kinds kind;
    filter_iir::types type;
    std::unique_ptr<Dsp::Filter> (*make)();
    // The RBJ pass and stop sections read their bandwidth argument as Q: the
    // channel's band, in octaves between its edges, goes in as the Q of that band.
    bool bandwidth_as_q;
    // The identifiers of the design's parameters by index, read once from its
    // description without building a design.
    std::vector<Dsp::ParamID> params;

    bool describes(Dsp::ParamID id) const { return std::find(params.begin(), params.end(), id) != params.end(); }
};

template <class Design>
design_entry entry(filter_iir::kinds kind, filter_iir::types type, bool bandwidth_as_q = false)
{
    design_entry e{kind, type, &make<Design>, bandwidth_as_q, {}};
    for (int i = 0; i < Design::NumParams; ++i)
        e.params.push_back(Design::getParamInfo(i).getId());
    return e;
}

// Which response types each design family builds, and with which design. The
// settings editor, the validation of every setter and load, and the build of
// the design all read this one table, through find_design.
const std::vector<design_entry>& designs()
{
    static const std::vector<design_entry> table{
        entry<Dsp::Bessel::Design::LowPass<max_order>>(filter_iir::bessel, filter_iir::lowpass),
        entry<Dsp::Bessel::Design::HighPass<max_order>>(filter_iir::bessel, filter_iir::highpass),
        entry<Dsp::Bessel::Design::BandPass<max_order>>(filter_iir::bessel, filter_iir::bandpass),
        entry<Dsp::Bessel::Design::BandStop<max_order>>(filter_iir::bessel, filter_iir::bandstop),
        entry<Dsp::Bessel::Design::LowShelf<max_order>>(filter_iir::bessel, filter_iir::lowshelf),
        entry<Dsp::Butterworth::Design::LowPass<max_order>>(filter_iir::butterworth, filter_iir::lowpass),
        entry<Dsp::Butterworth::Design::HighPass<max_order>>(filter_iir::butterworth, filter_iir::highpass),
        entry<Dsp::Butterworth::Design::BandPass<max_order>>(filter_iir::butterworth, filter_iir::bandpass),
        entry<Dsp::Butterworth::Design::BandStop<max_order>>(filter_iir::butterworth, filter_iir::bandstop),
        entry<Dsp::Butterworth::Design::LowShelf<max_order>>(filter_iir::butterworth, filter_iir::lowshelf),
        entry<Dsp::Butterworth::Design::HighShelf<max_order>>(filter_iir::butterworth, filter_iir::highshelf),
        entry<Dsp::Butterworth::Design::BandShelf<max_order>>(filter_iir::butterworth, filter_iir::bandshelf),
        entry<Dsp::ChebyshevI::Design::LowPass<max_order>>(filter_iir::chebyshev1, filter_iir::lowpass),
        entry<Dsp::ChebyshevI::Design::HighPass<max_order>>(filter_iir::chebyshev1, filter_iir::highpass),
        entry<Dsp::ChebyshevI::Design::BandPass<max_order>>(filter_iir::chebyshev1, filter_iir::bandpass),
        entry<Dsp::ChebyshevI::Design::BandStop<max_order>>(filter_iir::chebyshev1, filter_iir::bandstop),
        entry<Dsp::ChebyshevII::Design::LowPass<max_order>>(filter_iir::chebyshev2, filter_iir::lowpass),
        entry<Dsp::ChebyshevII::Design::HighPass<max_order>>(filter_iir::chebyshev2, filter_iir::highpass),
        entry<Dsp::ChebyshevII::Design::BandPass<max_order>>(filter_iir::chebyshev2, filter_iir::bandpass),
        entry<Dsp::ChebyshevII::Design::BandStop<max_order>>(filter_iir::chebyshev2, filter_iir::bandstop),
        entry<Dsp::Elliptic::Design::LowPass<max_order>>(filter_iir::elliptic, filter_iir::lowpass),
        entry<Dsp::Elliptic::Design::HighPass<max_order>>(filter_iir::elliptic, filter_iir::highpass),
        entry<Dsp::Elliptic::Design::BandPass<max_order>>(filter_iir::elliptic, filter_iir::bandpass),
        entry<Dsp::Elliptic::Design::BandStop<max_order>>(filter_iir::elliptic, filter_iir::bandstop),
        entry<Dsp::Legendre::Design::LowPass<max_order>>(filter_iir::legendre, filter_iir::lowpass),
        entry<Dsp::Legendre::Design::HighPass<max_order>>(filter_iir::legendre, filter_iir::highpass),
        entry<Dsp::Legendre::Design::BandPass<max_order>>(filter_iir::legendre, filter_iir::bandpass),
        entry<Dsp::Legendre::Design::BandStop<max_order>>(filter_iir::legendre, filter_iir::bandstop),
        entry<Dsp::RBJ::Design::LowPass>(filter_iir::rbj, filter_iir::lowpass),
        entry<Dsp::RBJ::Design::HighPass>(filter_iir::rbj, filter_iir::highpass),
        entry<Dsp::RBJ::Design::BandPass1>(filter_iir::rbj, filter_iir::bandpass1, true),
        entry<Dsp::RBJ::Design::BandPass2>(filter_iir::rbj, filter_iir::bandpass2, true),
        entry<Dsp::RBJ::Design::BandStop>(filter_iir::rbj, filter_iir::bandstop, true),
        entry<Dsp::RBJ::Design::LowShelf>(filter_iir::rbj, filter_iir::lowshelf),
        entry<Dsp::RBJ::Design::HighShelf>(filter_iir::rbj, filter_iir::highshelf),
        entry<Dsp::RBJ::Design::BandShelf>(filter_iir::rbj, filter_iir::bandshelf),
        entry<Dsp::RBJ::Design::AllPass>(filter_iir::rbj, filter_iir::allpass),
    };
    return table;
}

// The entry for a kind and type; null when the kind does not build the type.
// Every redesign asks for its entry, so the table is indexed by kind and type once.
const design_entry* find_design(filter_iir::kinds kind, filter_iir::types type)
{
    constexpr int kinds = filter_iir::undef, types = filter_iir::allpass + 1;
    static const auto by_pair = [] {
        std::array<std::array<const design_entry*, types>, kinds> index{};
        for (const design_entry& e : designs())
            index[e.kind][e.type] = &e;
        return index;
    }();
    if (kind < 0 || kind >= kinds || type < 0 || type >= types)
        return nullptr;
    return by_pair[kind][type];
}

// Whether the type editor lists a type under a kind: the types the kind builds.
// With no family chosen it lists the plain responses that every pole-based
// family (those before rbj) builds, so that the editor is never empty.
bool listed(filter_iir::kinds kind, filter_iir::types type)
{
    if (kind != filter_iir::undef)
        return find_design(kind, type) != nullptr;
    for (int k = filter_iir::bessel; k < filter_iir::rbj; ++k)
        if (!find_design(static_cast<filter_iir::kinds>(k), type))
            return false;
    return true;
}

// The type editor's labels, in the order of the types.
const char* const type_labels[] = {
    QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Lowpass"),   QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Highpass"),
    QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Bandpass"),  QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Bandpass1"),
    QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Bandpass2"), QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Bandstop"),
    QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Lowshelf"),  QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Highshelf"),
    QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Bandshelf"), QT_TRANSLATE_NOOP("ryx::math::filter_iir", "Allpass")};

bool differs(double a, double b)
{
    return std::fabs(a - b) > 1e-9;
}

int parse_int(const QDomElement& e, const char* name, const char* fallback)
{
    return e.attribute(name, fallback).toInt();
}

double parse_double(const QDomElement& e, const char* name, const char* fallback)
{
    return e.attribute(name, fallback).toDouble();
}

} // namespace

filter_iir::filter_iir(ryx::analog_data* source, bool flag) : ryx::analog_data(source, flag)
{
    if (source) {
        set_name(tr("filter"));
        init();
    }
}

filter_iir::~filter_iir()
{
    m_design.reset();
    prepare_deleting();
}

filter_iir::kinds filter_iir::valid_kind(int value)
{
    // Kinds the channel does not know are kept as "no design".
    return value >= bessel && value <= undef ? static_cast<kinds>(value) : undef;
}

filter_iir::types filter_iir::valid_type(int value)
{
    // Unknown types fall back to the low-pass, as unsupported ones do.
    return value >= lowpass && value <= allpass ? static_cast<types>(value) : lowpass;
}

bool filter_iir::supported(types t) const
{
    return find_design(m_kind, t) != nullptr;
}

void filter_iir::drop_design()
{
    m_design.reset();
    m_state = state::none;
}

void filter_iir::toNull()
{
    drop_design();
}

bool filter_iir::init()
{
    if (!m_design) {
        if (!supported(m_type))
            m_type = lowpass;
        const design_entry* entry = find_design(m_kind, m_type);
        m_design = entry ? entry->make() : nullptr;
    }
    m_state = state::none;
    if (m_design) {
        m_design->reset();
        if (apply(get_rate()))
            m_design->reset();
    }
    // A listener may delete this channel from changed(): report whether it lives.
    const QPointer<filter_iir> self(this);
    emit changed();
    return !self.isNull();
}

bool filter_iir::apply(double rate)
{
    m_state = state::none;
    const double nyquist = rate / 2.0;
    if (!(std::isfinite(rate) && rate > 0.0))
        return false;

    const int order = std::clamp(m_order, 1, max_order);
    const double ripple = std::isnan(m_ripple) ? min_db : std::max(m_ripple, min_db);
    const double stop = std::isnan(m_stop) ? min_db : std::max(m_stop, min_db);
    const double f = m_frequency;

    if (m_type == lowpass && f >= nyquist) {
        // Everything below half the rate passes: the filter is the identity.
        m_state = state::identity;
        return false;
    }
    // Each setting reaches the design through the identifier of the parameter
    // that takes it; the slots a design does not describe stay 0. The design
    // was built from the entry of the current kind and type.
    const design_entry* entry = find_design(m_kind, m_type);
    if (!entry)
        return false;
    bool band_in_hz = false;
    Dsp::Params p{};
    for (int i = 0; i < static_cast<int>(entry->params.size()); ++i) {
        switch (entry->params[static_cast<std::size_t>(i)]) {
        case Dsp::idSampleRate: p[i] = rate; break;
        case Dsp::idOrder: p[i] = order; break;
        case Dsp::idFrequency: p[i] = f; break;
        case Dsp::idBandwidthHz:
            p[i] = m_width;
            band_in_hz = true;
            break;
        case Dsp::idGain: p[i] = m_gain; break;
        case Dsp::idRippleDb: p[i] = ripple; break;
        case Dsp::idStopDb: p[i] = stop; break;
        case Dsp::idQ: p[i] = m_q; break;
        case Dsp::idSlope:
        case Dsp::idRolloff: p[i] = m_slope; break;
        case Dsp::idBandwidth: {
            // The channel's band is in Hz, the sections' in octaves between the
            // edges (the left edge kept above 0).
            const double octaves = std::log2(right() / std::max(left(), min_db));
            p[i] = entry->bandwidth_as_q ? Dsp::RBJ::bandwidthToQ(rate, f, octaves) : octaves;
            break;
        }
        default: break;
        }
    }

    // A band given in Hz must lie within (0, rate/2); otherwise the cut-off or
    // centre must (the RBJ bands are kept valid by their octave width).
    bool in_range = band_in_hz ? m_width > 0.0 && left() > 0.0 && right() < nyquist : f > 0.0 && f < nyquist;
    for (double v : p)
        in_range = in_range && std::isfinite(v);
    if (!in_range) {
        qWarning("%s: no design for %s at %g Hz with these settings; the data passes unfiltered",
                 qPrintable(name()), m_design->getName().c_str(), rate);
        return false;
    }
    // The engine accepts a design only when it can be used (finite sections,
    // every pole strictly inside the unit circle, a finite response); anything
    // else it refuses with an exception, which never leaves the channel.
    try {
        m_design->setAllParams(p);
    } catch (const std::exception& e) {
        qWarning("%s: %s cannot be designed soundly at these settings (%s); the data passes unfiltered",
                 qPrintable(name()), m_design->getName().c_str(), e.what());
        return false;
    } catch (...) {
        qWarning("%s: %s cannot be designed soundly at these settings; the data passes unfiltered",
                 qPrintable(name()), m_design->getName().c_str());
        return false;
    }
    m_state = state::designed;
    return true;
}

bool filter_iir::has_design() const
{
    return m_state == state::designed;
}

void filter_iir::reset() const
{
    if (m_design)
        m_design->reset();
}

double filter_iir::response(double normalized) const
{
    switch (m_state) {
    case state::designed: return std::abs(m_design->response(normalized));
    case state::identity: return 1.0;
    case state::none: break;
    }
    return 0.0;
}

void filter_iir::run_filter(double* at, std::size_t count)
{
    // The engine counts samples in int: long runs go in slices.
    while (count > 0) {
        const int n = static_cast<int>(std::min<std::size_t>(count, INT_MAX));
        double* channels[1] = {at};
        m_design->process(n, channels);
        at += n;
        count -= static_cast<std::size_t>(n);
    }
}

void filter_iir::set_data(const_iterator first, const_iterator last)
{
    assign(first, last);
    if (m_state == state::designed && !empty()) {
        double* const x = data();
        const std::size_t n = size();
        const bool all_finite = finite_run(x, n);
        if (all_finite) {
            m_last_finite = x[n - 1];
            run_filter(x, n);
        } else {
            // A NaN or infinite sample would poison the delay lines for good. It
            // comes out as it came in, and the delay lines take the last finite
            // input in its place, so the next samples filter on undisturbed.
            std::size_t at = 0;
            while (at < n) {
                std::size_t end = at;
                while (end < n && std::isfinite(x[end]))
                    ++end;
                if (end > at) {
                    m_last_finite = x[end - 1];
                    run_filter(x + at, end - at);
                }
                if (end < n) {
                    double held = m_last_finite;
                    run_filter(&held, 1);
                    ++end; // x[end] keeps its non-finite value
                }
                at = end;
            }
        }
        // Finite input can still overflow a delay line (inputs near the largest
        // double through a gain above 1): start the lines afresh then.
        const double y = x[n - 1];
        if (!std::isfinite(y) && std::isfinite(first[static_cast<std::ptrdiff_t>(n - 1)]))
            m_design->reset();
    }
    ryx::analog_data::set_data(begin(), end());
}

void filter_iir::set_rate(double value)
{
    const QPointer<filter_iir> self(this);
    ryx::analog_data::set_rate(value);
    if (self && m_design) {
        apply(get_rate());
        m_design->reset();
    }
}

void filter_iir::set_kind(kinds value)
{
    value = valid_kind(value);
    if (value == m_kind)
        return;
    m_kind = value;
    drop_design();
    init();
}

void filter_iir::set_type(types value)
{
    value = valid_type(value);
    if (value == m_type)
        return;
    m_type = value;
    drop_design();
    init();
}

void filter_iir::set_order(int value)
{
    if (value == m_order)
        return;
    m_order = value;
    init();
}

void filter_iir::set_frequency(double value)
{
    if (!differs(m_frequency, value))
        return;
    m_frequency = value;
    const QPointer<filter_iir> self(this);
    if (!init())
        return;
    emit frequency_changed();
    if (self)
        emit band_changed();
}

void filter_iir::set_width(double value)
{
    if (!differs(m_width, value))
        return;
    m_width = value;
    const QPointer<filter_iir> self(this);
    if (!init())
        return;
    emit width_changed();
    if (self)
        emit band_changed();
}

void filter_iir::set_left(double value)
{
    const double r = right();
    if (!(value < r))
        return;
    m_frequency = (r + value) / 2.0;
    m_width = r - value;
    const QPointer<filter_iir> self(this);
    if (!init())
        return;
    emit frequency_changed();
    if (self)
        emit band_changed();
}

void filter_iir::set_right(double value)
{
    const double l = left();
    if (!(value > l))
        return;
    m_frequency = (l + value) / 2.0;
    m_width = value - l;
    const QPointer<filter_iir> self(this);
    if (!init())
        return;
    emit frequency_changed();
    if (self)
        emit band_changed();
}

void filter_iir::set_gain(double value)
{
    if (!differs(m_gain, value))
        return;
    m_gain = value;
    init();
}

void filter_iir::set_ripple(double value)
{
    if (!differs(m_ripple, value))
        return;
    m_ripple = value;
    init();
}

void filter_iir::set_stop(double value)
{
    if (!differs(m_stop, value))
        return;
    m_stop = value;
    init();
}

void filter_iir::set_q(double value)
{
    if (!differs(m_q, value))
        return;
    m_q = value;
    init();
}

void filter_iir::set_slope(double value)
{
    if (!differs(m_slope, value))
        return;
    m_slope = value;
    init();
}

bool filter_iir::set_parameter(const QString& name, const QVariant& value)
{
    if (ryx::analog_data::set_parameter(name, value))
        return true;
    // Double parameters are stored and rebuilt without a notify signal.
    auto quiet = [&](double& member) {
        const double v = value.toDouble();
        if (differs(member, v)) {
            member = v;
            init();
        }
        return true;
    };
    if (name == QLatin1String("kind")) {
        set_kind(valid_kind(value.toInt()));
        return true;
    }
    if (name == QLatin1String("type")) {
        set_type(valid_type(value.toInt()));
        return true;
    }
    if (name == QLatin1String("order")) {
        set_order(value.toInt());
        return true;
    }
    if (name == QLatin1String("freq")) {
        set_frequency(value.toDouble());
        return true;
    }
    if (name == QLatin1String("band")) {
        set_width(value.toDouble());
        return true;
    }
    if (name == QLatin1String("left")) {
        set_left(value.toDouble());
        return true;
    }
    if (name == QLatin1String("right")) {
        set_right(value.toDouble());
        return true;
    }
    if (name == QLatin1String("gain"))
        return quiet(m_gain);
    if (name == QLatin1String("slope"))
        return quiet(m_slope);
    if (name == QLatin1String("ripple"))
        return quiet(m_ripple);
    if (name == QLatin1String("stop"))
        return quiet(m_stop);
    if (name == QLatin1String("q"))
        return quiet(m_q);
    return false;
}

void filter_iir::save(QDomElement& element)
{
    ryx::analog_data::save(element);
    element.setAttribute("kind", static_cast<int>(m_kind));
    element.setAttribute("type", static_cast<int>(m_type));
    element.setAttribute("order", m_order);
    element.setAttribute("fc", m_frequency);
    element.setAttribute("gain", m_gain);
    element.setAttribute("ripple", m_ripple);
    element.setAttribute("stop", m_stop);
    element.setAttribute("q", m_q);
    element.setAttribute("slope", m_slope);
    element.setAttribute("width", m_width);
}

void filter_iir::load(const QDomElement& element)
{
    ryx::analog_data::load(element);
    m_kind = valid_kind(parse_int(element, "kind", "1"));
    m_type = valid_type(parse_int(element, "type", "0"));
    m_order = parse_int(element, "order", "1");
    m_frequency = parse_double(element, "fc", "100");
    m_gain = parse_double(element, "gain", "0");
    m_ripple = parse_double(element, "ripple", "1");
    m_stop = parse_double(element, "stop", "200");
    m_q = parse_double(element, "q", "1");
    m_slope = parse_double(element, "slope", "1");
    m_width = parse_double(element, "width", "10");
    drop_design();
    init();
}

void filter_iir::get_state(QJsonObject& state)
{
    state["kind"] = static_cast<int>(m_kind);
    state["type"] = static_cast<int>(m_type);
    state["order"] = m_order;
    state["fc"] = m_frequency;
    state["gain"] = m_gain;
    state["ripple"] = m_ripple;
    state["stop"] = m_stop;
    state["q"] = m_q;
    state["slope"] = m_slope;
    ryx::analog_data::get_state(state);
}

QJsonObject filter_iir::settings() const
{
    QJsonObject result = ryx::analog_data::settings();
    result.remove("12_unit");
    const double nyquist = get_rate() / 2.0;

    result[editor::key(20, "kind")] = editor::choice(
        static_cast<int>(m_kind), tr("Kind"),
        QStringList{tr("Bessel"), tr("Butterworth"), tr("Chebyshev1"), tr("Chebyshev2"), tr("Elliptic"),
                    tr("Legendre"), tr("RBJ")});

    QJsonArray items;
    for (int t = lowpass; t <= allpass; ++t)
        if (listed(m_kind, static_cast<types>(t)))
            items.append(editor::item(t, tr(type_labels[t])));
    // The type editor carries its current choice under "data".
    result[editor::key(21, "type")] = QJsonObject{
        {"type", "combobox"}, {"data", static_cast<int>(m_type)}, {"label", tr("Type")}, {"items", items}};

    result[editor::key(22, "order")] = editor::number(m_order, 1, 50, 0, tr("Order"));
    result[editor::key(23, "freq")] = editor::number(m_frequency, 0.001, nyquist, 3, tr("Frequency"));
    // Each editor is shown when the design describes a parameter it feeds.
    const design_entry* entry = find_design(m_kind, m_type);
    const auto takes = [entry](Dsp::ParamID id) { return entry && entry->describes(id); };
    if (takes(Dsp::idBandwidthHz) || takes(Dsp::idBandwidth)) {
        result[editor::key(24, "band")] = editor::number(m_width, 0.001, nyquist, 3, tr("Band"));
        result[editor::key(25, "left")] = editor::number(left(), 0, m_frequency - 0.001, 3, tr("Left"));
        result[editor::key(26, "right")] = editor::number(right(), m_frequency + 0.001, nyquist, 3, tr("Right"));
    }
    if (takes(Dsp::idGain))
        result[editor::key(27, "gain")] = editor::number(m_gain, 0, 1000, 2, tr("Gain"));
    if (takes(Dsp::idSlope) || takes(Dsp::idRolloff))
        result[editor::key(28, "slope")] = editor::number(m_slope, -10, 100, 2, tr("Slope"));
    if (takes(Dsp::idRippleDb))
        result[editor::key(29, "ripple")] = editor::number(m_ripple, 0.001, 100, 3, tr("Ripple"));
    if (takes(Dsp::idStopDb))
        result[editor::key(30, "stop")] = editor::number(m_stop, 0.001, 1000, 3, tr("Stop"));
    if (takes(Dsp::idQ))
        result[editor::key(31, "q")] = editor::number(m_q, -100, 100, 2, tr("Q"));
    return result;
}

} // namespace ryx::math
