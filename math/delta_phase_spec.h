#pragma once

#include <QObject>
#include <QPointer>

#include "ryx/core/analog_data.h"
#include "ryx/core/device.h"
#include "ryx/math/detail/lifeline.h"
#include "ryx/ryx_math_export.h"

namespace ryx::math {

class spec;

// The phase difference of two channels at one frequency, from a phase spectrum
// of each: whenever both have produced a spectrum of the same data, the line
// nearest to `frequency` gives value = phase(b) - phase(a), in degrees, within
// [0, 360).
//
// Settings:
//   frequency      where the difference is taken, Hz, > 0 and below the spectra's band
//   max_frequency  band of both spectra, Hz, >= 0; 0 means twice `frequency`
//   resolution, overlap  of both spectra
// value_changed() is emitted whenever value changes. A spectrum deleted by its
// owner (with its channel, say) is forgotten; from then on value stays.
class RYX_MATH_EXPORT delta_phase_spec : public QObject
{
    Q_OBJECT
    Q_PROPERTY(double frequency READ frequency WRITE set_frequency NOTIFY frequency_changed)
    Q_PROPERTY(double max_frequency READ max_frequency WRITE set_max_frequency NOTIFY max_frequency_changed)
    Q_PROPERTY(double resolution READ resolution WRITE set_resolution NOTIFY resolution_changed)
    Q_PROPERTY(double value READ value NOTIFY value_changed)
    Q_PROPERTY(double acq_time READ acq_time NOTIFY acq_time_changed)

public:
    delta_phase_spec(ryx::analog_data* a, ryx::analog_data* b);
    ~delta_phase_spec() override;

    double frequency() const { return m_frequency; }
    double max_frequency() const { return m_max_frequency; }
    double resolution() const;
    double acq_time() const;
    int overlap() const;
    void set_overlap(int value);
    int count_a() const { return m_count_a; }
    int count_b() const { return m_count_b; }
    ryx::math::spec* spec_a() const { return m_spec_a.data(); }
    ryx::math::spec* spec_b() const { return m_spec_b.data(); }

    void set_frequency(double value);
    void set_max_frequency(double value);
    void set_resolution(double value);

public slots:
    double value() const { return m_value; }

signals:
    void value_changed();
    void frequency_changed();
    void max_frequency_changed();
    void resolution_changed();
    void overlap_changed();
    void acq_time_changed();
    void progress(double value);

private slots:
    void calculate();
    void reset_spec();

private:
    QPointer<ryx::math::spec> m_spec_a;
    QPointer<ryx::math::spec> m_spec_b;
    double m_value = 0.0;
    double m_frequency = 0.0;
    double m_max_frequency = 0.0;
    QPointer<ryx::device> m_root_device;
    int m_count_a = 0;
    int m_count_b = 0;
    detail::lifeline m_life;
};

} // namespace ryx::math
