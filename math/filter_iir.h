#pragma once

#include <memory>

#include "ryx/core/analog_data.h"
#include "ryx/ryx_math_export.h"

namespace Dsp {
class Filter;
}

namespace ryx::math {

// IIR-filtered channel: every run of the source goes through one recursive filter
// of the design engine, in place, and is published as this channel's run at the
// source's rate. The delay lines carry over from run to run.
//
// Settings out of the designable range never stop the data: the design is made
// from values brought into range (order 1..50, ripple and stop band at least
// 0.001 dB); a low-pass whose cut-off is at or above half the rate is the
// identity; any other design that cannot be built soundly (frequencies outside
// (0, rate/2), a design the engine refuses, an unstable or non-finite result)
// leaves the channel without a design: runs pass through unchanged and
// response() is 0. The properties keep the values as they were set.
//
// Settings (defaults in brackets):
//   kind       design family [butterworth]; undef: no design
//   type       response [lowpass]; a type the kind does not build reads as lowpass.
//              bessel builds lowpass, highpass, bandpass, bandstop, lowshelf;
//              butterworth those and highshelf, bandshelf; chebyshev1,
//              chebyshev2, elliptic, legendre lowpass, highpass, bandpass,
//              bandstop; rbj lowpass, highpass, bandpass1, bandpass2, bandstop,
//              lowshelf, highshelf, bandshelf, allpass
//   order      1..50 [1]; the RBJ designs are single sections and ignore it
//   frequency  cut-off, or centre of a band, Hz, 0 < f < rate / 2 [100]
//   width      band width, Hz, > 0 [10]; left / right are the band edges
//              frequency -+ width / 2, Hz, 0 < left, right < rate / 2; the RBJ
//              bands take the octaves between the edges, log2(right / left)
//              with left kept at 0.001 Hz or more (bandpass1, bandpass2 and
//              bandstop as the Q of that band)
//   gain       shelf gain, dB, any finite value [0]
//   ripple     pass-band ripple (Chebyshev I, elliptic), dB, >= 0.001 [1]
//   stop       stop-band attenuation (Chebyshev II), dB, >= 0.001 [10; 200 when
//              loaded without the attribute]
//   q          resonance of the RBJ low-, high- and all-pass, > 0 [1]
//   slope      RBJ shelf slope, > 0 (1: steepest without overshoot), or the
//              elliptic transition width, -16 .. 4, larger for a wider transition
//              and a deeper stop band [1]
//
// A NaN or infinite input sample comes out unchanged and leaves the filter
// state as if the previous finite sample had been repeated; delay lines that
// overflow on finite input start afresh. Later finite input always gives finite
// output once the filter has settled.
//
// Ownership: a derived channel, a child of its source channel, which deletes it;
// built without a source, it belongs to whoever built it.
class RYX_MATH_EXPORT filter_iir : public ryx::analog_data
{
    Q_OBJECT
    Q_PROPERTY(kinds kind READ kind WRITE set_kind NOTIFY kind_changed)
    Q_PROPERTY(types type READ type WRITE set_type NOTIFY type_changed)
    Q_PROPERTY(int order READ order WRITE set_order NOTIFY order_changed)
    Q_PROPERTY(double frequency READ frequency WRITE set_frequency NOTIFY frequency_changed)
    Q_PROPERTY(double gain READ gain WRITE set_gain NOTIFY gain_changed)
    Q_PROPERTY(double width READ width WRITE set_width NOTIFY width_changed)
    Q_PROPERTY(double left READ left WRITE set_left NOTIFY band_changed)
    Q_PROPERTY(double right READ right WRITE set_right NOTIFY band_changed)
    Q_PROPERTY(double ripple READ ripple WRITE set_ripple NOTIFY ripple_changed)
    Q_PROPERTY(double stop READ stop WRITE set_stop NOTIFY stop_changed)
    Q_PROPERTY(double q READ q WRITE set_q NOTIFY q_changed)
    Q_PROPERTY(double slope READ slope WRITE set_slope NOTIFY slope_changed)

public:
    // Design family.
    enum kinds : int { bessel = 0, butterworth = 1, chebyshev1 = 2, chebyshev2 = 3, elliptic = 4,
                 legendre = 5, rbj = 6, undef = 7 };
    Q_ENUM(kinds)
    // Response type.
    enum types : int { lowpass = 0, highpass = 1, bandpass = 2, bandpass1 = 3, bandpass2 = 4, bandstop = 5,
                 lowshelf = 6, highshelf = 7, bandshelf = 8, allpass = 9 };
    Q_ENUM(types)

    explicit filter_iir(ryx::analog_data* source = nullptr, bool flag = false);
    ~filter_iir() override;

    kinds kind() const { return m_kind; }
    types type() const { return m_type; }
    int order() const { return m_order; }
    double frequency() const { return m_frequency; } // cut-off or centre, Hz
    double gain() const { return m_gain; }           // shelf gain, dB
    double width() const { return m_width; }         // band width, Hz
    double left() const { return m_frequency - m_width / 2.0; }
    double right() const { return m_frequency + m_width / 2.0; }
    double ripple() const { return m_ripple; }       // pass-band ripple, dB
    double stop() const { return m_stop; }           // stop-band attenuation, dB
    double q() const { return m_q; }
    double slope() const { return m_slope; }         // shelf slope (RBJ) or transition width (elliptic)

    // Clears the design's delay lines.
    void reset() const;
    // Destroys the design and leaves none; runs then pass through unchanged.
    void toNull();
    // Magnitude of the filter's response at a frequency given as a fraction of
    // the rate (0 .. 0.5); 0 without a design, 1 for the identity low-pass.
    double response(double normalized) const;
    // Whether a sound design is loaded (false: runs pass through unchanged).
    bool has_design() const;

    void save(QDomElement& element) override;
    void load(const QDomElement& element) override;
    void get_state(QJsonObject& state) override;
    QJsonObject settings() const override;
    bool set_parameter(const QString& name, const QVariant& value) override;
    void set_data(const_iterator first, const_iterator last) override;

public slots:
    void set_kind(ryx::math::filter_iir::kinds value);
    void set_type(ryx::math::filter_iir::types value);
    void set_order(int value);
    void set_frequency(double value);
    void set_gain(double value);
    void set_width(double value);
    void set_left(double value);
    void set_right(double value);
    void set_ripple(double value);
    void set_stop(double value);
    void set_q(double value);
    void set_slope(double value);

private slots:
    void set_rate(double value) override;

signals:
    void kind_changed();
    void type_changed();
    void order_changed();
    void frequency_changed();
    void gain_changed();
    void width_changed();
    void band_changed();
    void ripple_changed();
    void stop_changed();
    void q_changed();
    void slope_changed();
    void changed();

private:
    enum class state { none, identity, designed };

    // Rebuilds the design from the current settings and emits changed(); false
    // when a listener deleted the channel from that signal.
    bool init();
    // Replaces the design object on the next rebuild.
    void drop_design();
    // Applies the parameters to the design object; false when it cannot be built soundly.
    bool apply(double rate);
    bool supported(types t) const;
    // Runs count samples in place through the design.
    void run_filter(double* at, std::size_t count);
    static kinds valid_kind(int value);
    static types valid_type(int value);

    std::unique_ptr<Dsp::Filter> m_design;
    state m_state = state::none;
    kinds m_kind = butterworth;
    types m_type = lowpass;
    int m_order = 1;
    double m_frequency = 100.0;
    double m_gain = 0.0;
    double m_width = 10.0;
    double m_ripple = 1.0;
    double m_stop = 10.0;
    double m_q = 1.0;
    double m_slope = 1.0;
    double m_last_finite = 0.0; // last finite input, fed in place of a non-finite one
};

} // namespace ryx::math

Q_DECLARE_METATYPE(ryx::math::filter_iir*)
