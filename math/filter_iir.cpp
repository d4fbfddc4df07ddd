#include "ryx/math/filter_iir.h"

#include <QJsonArray>
#include <QtDebug>
#include <algorithm>
#include <cmath>
#include <climits>
#include <exception>

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

constexpr int max_order = 50;
constexpr double min_db = 0.001; // smallest ripple / stop band the engine designs from

template <class Design>
std::unique_ptr<Dsp::Filter> make()
{
    return std::make_unique<Dsp::FilterDesign<Design, 1, Dsp::DirectFormII>>();
}

// The design object for a kind and a type the kind supports; null for undef.
std::unique_ptr<Dsp::Filter> create(filter_iir::kinds kind, filter_iir::types type)
{
    using f = filter_iir;
    switch (kind) {
    case f::bessel:
        switch (type) {
        case f::highpass: return make<Dsp::Bessel::Design::HighPass<50>>();
        case f::bandpass: return make<Dsp::Bessel::Design::BandPass<50>>();
        case f::bandstop: return make<Dsp::Bessel::Design::BandStop<50>>();
        case f::lowshelf: return make<Dsp::Bessel::Design::LowShelf<50>>();
        default: return make<Dsp::Bessel::Design::LowPass<50>>();
        }
    case f::butterworth:
        switch (type) {
        case f::highpass: return make<Dsp::Butterworth::Design::HighPass<50>>();
        case f::bandpass: return make<Dsp::Butterworth::Design::BandPass<50>>();
        case f::bandstop: return make<Dsp::Butterworth::Design::BandStop<50>>();
        case f::lowshelf: return make<Dsp::Butterworth::Design::LowShelf<50>>();
        case f::highshelf: return make<Dsp::Butterworth::Design::HighShelf<50>>();
        case f::bandshelf: return make<Dsp::Butterworth::Design::BandShelf<50>>();
        default: return make<Dsp::Butterworth::Design::LowPass<50>>();
        }
    case f::chebyshev1:
        switch (type) {
        case f::highpass: return make<Dsp::ChebyshevI::Design::HighPass<50>>();
        case f::bandpass: return make<Dsp::ChebyshevI::Design::BandPass<50>>();
        case f::bandstop: return make<Dsp::ChebyshevI::Design::BandStop<50>>();
        default: return make<Dsp::ChebyshevI::Design::LowPass<50>>();
        }
    case f::chebyshev2:
        switch (type) {
        case f::highpass: return make<Dsp::ChebyshevII::Design::HighPass<50>>();
        case f::bandpass: return make<Dsp::ChebyshevII::Design::BandPass<50>>();
        case f::bandstop: return make<Dsp::ChebyshevII::Design::BandStop<50>>();
        default: return make<Dsp::ChebyshevII::Design::LowPass<50>>();
        }
    case f::elliptic:
        switch (type) {
        case f::highpass: return make<Dsp::Elliptic::Design::HighPass<50>>();
        case f::bandpass: return make<Dsp::Elliptic::Design::BandPass<50>>();
        case f::bandstop: return make<Dsp::Elliptic::Design::BandStop<50>>();
        default: return make<Dsp::Elliptic::Design::LowPass<50>>();
        }
    case f::legendre:
        switch (type) {
        case f::highpass: return make<Dsp::Legendre::Design::HighPass<50>>();
        case f::bandpass: return make<Dsp::Legendre::Design::BandPass<50>>();
        case f::bandstop: return make<Dsp::Legendre::Design::BandStop<50>>();
        default: return make<Dsp::Legendre::Design::LowPass<50>>();
        }
    case f::rbj:
        switch (type) {
        case f::highpass: return make<Dsp::RBJ::Design::HighPass>();
        case f::allpass: return make<Dsp::RBJ::Design::AllPass>();
        case f::bandpass1: return make<Dsp::RBJ::Design::BandPass1>();
        case f::bandpass2: return make<Dsp::RBJ::Design::BandPass2>();
        case f::bandstop: return make<Dsp::RBJ::Design::BandStop>();
        case f::lowshelf: return make<Dsp::RBJ::Design::LowShelf>();
        case f::highshelf: return make<Dsp::RBJ::Design::HighShelf>();
        case f::bandshelf: return make<Dsp::RBJ::Design::BandShelf>();
        default: return make<Dsp::RBJ::Design::LowPass>();
        }
    case f::undef:
        break;
    }
    return nullptr;
}

bool is_shelf(filter_iir::types t)
{
    return t == filter_iir::lowshelf || t == filter_iir::highshelf || t == filter_iir::bandshelf;
}

bool is_band(filter_iir::types t)
{
    return t == filter_iir::bandpass || t == filter_iir::bandpass1 || t == filter_iir::bandpass2
           || t == filter_iir::bandstop || t == filter_iir::bandshelf;
}

bool differs(double a, double b)
{
    return std::fabs(a - b) > 1e-9;
}

// A designed filter runs only when every pole lies inside the unit circle and
// every zero and the response are finite.
bool sound(const Dsp::Filter& design)
{
    for (const Dsp::PoleZeroPair& pz : design.getPoleZeros()) {
        for (const Dsp::complex_t& p : {pz.poles.first, pz.poles.second})
            if (!(std::abs(p) < 1.0))
                return false;
        for (const Dsp::complex_t& z : {pz.zeros.first, pz.zeros.second})
            if (!std::isfinite(z.real()) || !std::isfinite(z.imag()))
                return false;
    }
    for (double f : {0.0, 0.1, 0.25, 0.5})
        if (!std::isfinite(std::abs(design.response(f))))
            return false;
    return true;
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
    switch (m_kind) {
    case bessel:
        return t == lowpass || t == highpass || t == bandpass || t == bandstop || t == lowshelf;
    case butterworth:
        return t == lowpass || t == highpass || t == bandpass || t == bandstop || t == lowshelf
               || t == highshelf || t == bandshelf;
    case chebyshev1:
    case chebyshev2:
    case elliptic:
    case legendre:
        return t == lowpass || t == highpass || t == bandpass || t == bandstop;
    case rbj:
        return t != bandpass;
    case undef:
        break;
    }
    return false;
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

void filter_iir::init()
{
    if (!m_design) {
        if (!supported(m_type))
            m_type = lowpass;
        m_design = create(m_kind, m_type);
    }
    m_state = state::none;
    if (m_design) {
        m_design->reset();
        if (apply(get_rate()))
            m_design->reset();
    }
    emit changed();
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
    const bool band = is_band(m_type);

    if (m_type == lowpass && f >= nyquist) {
        // Everything below half the rate passes: the filter is the identity.
        m_state = state::identity;
        return false;
    }
    bool in_range = f > 0.0 && f < nyquist;
    if (band && m_kind != rbj)
        in_range = m_width > 0.0 && left() > 0.0 && right() < nyquist;

    Dsp::Params p{};
    p[0] = rate;
    if (m_kind == rbj) {
        p[1] = f;
        // The channel's band is in Hz, the sections' in octaves between the
        // edges (the left edge kept above 0). The band-pass and band-stop
        // sections read their third argument as Q, so they get the Q of that
        // octave bandwidth: 1/Q = 2 sinh(ln 2 / 2 * octaves * w0 / sin w0).
        const double octaves = std::log2(right() / std::max(left(), min_db));
        const double w0 = 2.0 * M_PI * f / rate;
        switch (m_type) {
        case lowpass: case highpass: case allpass: p[2] = m_q; break;
        case lowshelf: case highshelf: p[2] = m_gain; p[3] = m_slope; break;
        case bandshelf: p[2] = m_gain; p[3] = octaves; break;
        case bandpass1: case bandpass2: case bandstop:
            p[2] = 1.0 / (2.0 * std::sinh(0.34657359027997264 * octaves * w0 / std::sin(w0)));
            break;
        default: break;
        }
    } else {
        p[1] = order;
        p[2] = f;
        switch (m_kind) {
        case bessel:
        case butterworth:
        case legendre:
            if (band)
                p[3] = m_width;
            if (m_type == lowshelf || m_type == highshelf)
                p[3] = m_gain;
            if (m_type == bandshelf)
                p[4] = m_gain;
            break;
        case chebyshev1:
            if (band) { p[3] = m_width; p[4] = ripple; } else { p[3] = ripple; }
            break;
        case chebyshev2:
            if (band) { p[3] = m_width; p[4] = stop; } else { p[3] = stop; }
            break;
        case elliptic:
            if (band) { p[3] = m_width; p[4] = ripple; p[5] = m_slope; } else { p[3] = ripple; p[4] = m_slope; }
            break;
        default:
            break;
        }
    }

    for (double v : p)
        in_range = in_range && std::isfinite(v);
    if (!in_range) {
        qWarning("%s: no design for %s at %g Hz with these settings; the data passes unfiltered",
                 qPrintable(name()), m_design->getName().c_str(), rate);
        return false;
    }
    try {
        m_design->setAllParams(p);
    } catch (const std::exception& e) {
        qWarning("%s: %s cannot be designed (%s); the data passes unfiltered",
                 qPrintable(name()), m_design->getName().c_str(), e.what());
        return false;
    }
    if (!sound(*m_design)) {
        qWarning("%s: %s at these settings is not stable; the data passes unfiltered",
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

void filter_iir::set_data(const_iterator first, const_iterator last)
{
    assign(first, last);
    if (m_state == state::designed) {
        // The engine counts samples in int: long runs go in slices.
        double* at = data();
        std::size_t left_over = size();
        while (left_over > 0) {
            const int n = static_cast<int>(std::min<std::size_t>(left_over, INT_MAX));
            double* channels[1] = {at};
            m_design->process(n, channels);
            at += n;
            left_over -= static_cast<std::size_t>(n);
        }
    }
    ryx::analog_data::set_data(begin(), end());
}

void filter_iir::set_rate(double value)
{
    ryx::analog_data::set_rate(value);
    if (m_design) {
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
    init();
    emit frequency_changed();
    emit band_changed();
}

void filter_iir::set_width(double value)
{
    if (!differs(m_width, value))
        return;
    m_width = value;
    init();
    emit width_changed();
    emit band_changed();
}

void filter_iir::set_left(double value)
{
    const double r = right();
    if (!(value < r))
        return;
    m_frequency = (r + value) / 2.0;
    m_width = r - value;
    init();
    emit frequency_changed();
    emit band_changed();
}

void filter_iir::set_right(double value)
{
    const double l = left();
    if (!(value > l))
        return;
    m_frequency = (l + value) / 2.0;
    m_width = value - l;
    init();
    emit frequency_changed();
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

    QJsonArray items{editor::item(lowpass, tr("Lowpass")), editor::item(highpass, tr("Highpass"))};
    if (m_kind == rbj) {
        items.append(editor::item(bandpass1, tr("Bandpass1")));
        items.append(editor::item(bandpass2, tr("Bandpass2")));
    } else {
        items.append(editor::item(bandpass, tr("Bandpass")));
    }
    items.append(editor::item(bandstop, tr("Bandstop")));
    if (m_kind == bessel || m_kind == butterworth || m_kind == rbj)
        items.append(editor::item(lowshelf, tr("Lowshelf")));
    if (m_kind == butterworth || m_kind == rbj) {
        items.append(editor::item(highshelf, tr("Highshelf")));
        items.append(editor::item(bandshelf, tr("Bandshelf")));
    }
    if (m_kind == rbj)
        items.append(editor::item(allpass, tr("Allpass")));
    // The type editor carries its current choice under "data".
    result[editor::key(21, "type")] = QJsonObject{
        {"type", "combobox"}, {"data", static_cast<int>(m_type)}, {"label", tr("Type")}, {"items", items}};

    result[editor::key(22, "order")] = editor::number(m_order, 1, 50, 0, tr("Order"));
    result[editor::key(23, "freq")] = editor::number(m_frequency, 0.001, nyquist, 3, tr("Frequency"));
    if (is_band(m_type)) {
        result[editor::key(24, "band")] = editor::number(m_width, 0.001, nyquist, 3, tr("Band"));
        result[editor::key(25, "left")] = editor::number(left(), 0, m_frequency - 0.001, 3, tr("Left"));
        result[editor::key(26, "right")] = editor::number(right(), m_frequency + 0.001, nyquist, 3, tr("Right"));
    }
    if (is_shelf(m_type))
        result[editor::key(27, "gain")] = editor::number(m_gain, 0, 1000, 2, tr("Gain"));
    if (m_kind == elliptic || (m_kind == rbj && (m_type == lowshelf || m_type == highshelf)))
        result[editor::key(28, "slope")] = editor::number(m_slope, -10, 100, 2, tr("Slope"));
    if (m_kind == chebyshev1 || m_kind == elliptic)
        result[editor::key(29, "ripple")] = editor::number(m_ripple, 0.001, 100, 3, tr("Ripple"));
    if (m_kind == chebyshev2)
        result[editor::key(30, "stop")] = editor::number(m_stop, 0.001, 1000, 3, tr("Stop"));
    if (m_kind == rbj && (m_type == lowpass || m_type == highpass || m_type == allpass))
        result[editor::key(31, "q")] = editor::number(m_q, -100, 100, 2, tr("Q"));
    return result;
}

} // namespace ryx::math
