#pragma once

#include <QJsonObject>
#include <QString>
#include <vector>

namespace ryx::analyze {

// One curve of a result: its values at the result's axis points.
struct series
{
    QString name;               // "amplitude", "phase", "real", ...; may be empty for a single curve
    QString unit;               // "V", "dB", "deg", "" ...
    std::vector<double> values; // one per axis point
};

// What one analysis published, ready to be written and plotted: an axis and
// one or more curves over it, or (for a scalar measurement such as an instant
// value) an axis of result times.
struct result
{
    QString name;     // the analysis's name, unique within a run ("spec0", "rms_of_filter", ...)
    QString kind;     // the analysis's class ("spec", "fftw::coh", "moving::rms", ...)
    QString x_label;  // "Frequency", "Order", "Quefrency", "Lag", "Time", "Band centre"
    QString x_unit;   // "Hz", "s", "" ...
    bool x_log = false; // a logarithmic axis (fractional-octave bands)
    bool bars = false;  // drawn as bars or steps rather than a line (octave bands)
    std::vector<double> x;
    std::vector<series> y;
    QJsonObject settings; // the settings the analysis was made with, as given and as taken
};

} // namespace ryx::analyze
