#pragma once

#include <QObject>
#include <QPointer>
#include <utility>
#include <vector>

#include "ryx/core/analog_data.h"
#include "ryx/core/units.h"
#include "ryx/math/detail/lifeline.h"
#include "ryx/ryx_math_export.h"

namespace ryx::math {

class spec;

// Fractional-octave analysis of one channel: its amplitude spectrum (Blackman
// window) reduced to bands of 1, 1/3, 1/6 or 1/12 octave, base two or base ten,
// between `minimum` and `maximum`. The object is the vector of (centre
// frequency in Hz, level) pairs, one per band in ascending order; a band's
// level is its largest line (`amplitude`) or the RMS of its lines (`rms`), in
// `unit` (linear, dB re the source's reference, or RMS: amplitude / sqrt 2).
//
// Settings:
//   minimum   lower limit of the analysis, Hz, > 0.1 (default 10)
//   maximum   upper limit, Hz, >= 1, at most the source rate (larger: lowered to it; default 1024)
//   ratio     two (G = 2) or ten (G = 10^(3/10))
//   fraction  one, one_third, one_sixth, one_twelwe (b = 1, 3, 6, 12 bands per octave)
// The spectrum's resolution is set so that the lowest band's lower edge falls
// on line 5, its upper frequency to the highest band's upper edge.
// Once the source announces its deletion the object is inert; a listener of
// changed() may delete it.
// A meta-object cast request for "std::vector<std::pair<qreal,qreal>>" returns the vector base (the
// base is spelled so that the meta-object answers to that name).
class RYX_MATH_EXPORT octv : public QObject, public std::vector<std::pair<qreal,qreal>>
{
    Q_OBJECT
    Q_PROPERTY(double minimum READ minimum WRITE set_minimum NOTIFY minimum_changed)
    Q_PROPERTY(double maximum READ maximum WRITE set_maximum NOTIFY maximum_changed)
    Q_PROPERTY(ratios ratio READ ratio WRITE set_ratio NOTIFY ratio_changed)
    Q_PROPERTY(looks look READ look WRITE set_look NOTIFY look_changed)
    Q_PROPERTY(fractions fraction READ fraction WRITE set_fraction NOTIFY fraction_changed)
    Q_PROPERTY(ryx::units unit READ unit WRITE set_unit NOTIFY unit_changed)

public:
    enum ratios : int { two = 0, ten = 1 };
    Q_ENUM(ratios)
    enum looks : int { amplitude = 0, rms = 1 };
    Q_ENUM(looks)
    enum fractions : int { one = 0, one_third = 1, one_sixth = 2, one_twelwe = 3 };
    Q_ENUM(fractions)

    explicit octv(ryx::analog_data* source);
    ~octv() override;

    double minimum() const { return m_minimum; }
    double maximum() const { return m_maximum; }
    ratios ratio() const { return m_ratio; }
    looks look() const { return m_look; }
    fractions fraction() const { return m_fraction; }
    ryx::units unit() const { return m_unit; }
    const std::vector<double>& centres() const { return m_centres; }
    int bands_per_octave() const { return m_bands_per_octave; }
    // The amplitude spectrum the bands are taken from (null once it is gone).
    ryx::math::spec* spectrum() const { return m_spectrum.data(); }

    // Rebuilds the band layout and configures the spectrum for it.
    void init();
    // Recomputes the band levels from the spectrum's published lines.
    virtual void calculate();
    virtual void before_updating() {}
    virtual void after_updating() {}
    // Lower and upper edge of band i: factor x centre; 0 when i is out of range.
    double left(unsigned long i) const;
    double right(unsigned long i) const;
    // G^x (forward) or log_G(x) (inverse).
    double g_pow(double x, bool forward) const;
    // The band's lines: (lo, e), the lines lo .. e - 1 of the spectrum.
    std::pair<int, int> calculate_band_indexes(double centre) const;
    // The level of the lines [first, last) of the spectrum (line first when the range is empty).
    double calculate_octave(std::vector<double>::const_iterator first, std::vector<double>::const_iterator last) const;

public slots:
    void set_minimum(double value);
    void set_maximum(double value);
    void set_ratio(ryx::math::octv::ratios value);
    void set_look(ryx::math::octv::looks value);
    void set_fraction(ryx::math::octv::fractions value);
    void set_unit(ryx::units value);

signals:
    void minimum_changed();
    void maximum_changed();
    void ratio_changed();
    void look_changed();
    void fraction_changed();
    void unit_changed();
    void initialized();
    void changed();
    void acquired(double percent);
    void progress(double value);

private slots:
    virtual void spec_changed();
    virtual void set_rate(double value);
    void source_deleting();

private:
    // The centre of band number x.
    double centre(int x) const;

    ryx::analog_data* m_source = nullptr;
    double m_minimum = 10.0;
    double m_maximum = 1024.0;
    ratios m_ratio = two;
    looks m_look = amplitude;
    fractions m_fraction = one;
    ryx::units m_unit = ryx::units::linear;
    QPointer<ryx::math::spec> m_spectrum;
    std::vector<double> m_centres;
    int m_lowest_edge_line = 5;
    double m_left_factor = 1.0;
    double m_right_factor = 1.0;
    int m_bands_per_octave = 1;
    detail::lifeline m_life;
};

} // namespace ryx::math
