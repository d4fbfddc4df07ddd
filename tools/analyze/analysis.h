#pragma once

#include <QJsonObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "result.h"

namespace ryx {
class analog_data;
}

namespace ryx::analyze {

// One analysis asked for: a unique name, the library class by name, one or two
// sources (device channels "ch0", "ch1", ... or the output channel of an
// analysis listed before it) and its settings as given.
struct analysis_spec
{
    QString name;
    QString kind;
    QStringList sources;
    QJsonObject settings;
};

// Reads an analysis list: a JSON array of {"name", "kind", "source" or
// "sources", "settings"} objects (or an object holding it under "analyses").
// False with a one-line message (line and column for malformed JSON).
bool parse_analysis_list(const QByteArray& text, const QString& origin, std::vector<analysis_spec>* out,
                         QString* error);

// Reads one command-line analysis, name:kind:source[:key=value,...]; the kind
// may contain "::", a channel pair is written a+b, a value is a number, true,
// false, a [JSON array] or a word (an enumeration value by name).
bool parse_analysis_option(const QString& text, analysis_spec* out, QString* error);

// Every kind the registry can make, sorted.
QStringList known_kinds();
// Number of sources the kind takes (1 or 2); 0 for an unknown kind.
int source_count(const QString& kind);

// The elapsed signal time, s, at the end of the run being published: the time
// stamp of scalar results.
struct run_clock
{
    double seconds = 0.0;
};

// A library object made from an analysis_spec, attached to its sources, and
// read back once the input has run through.
class analysis
{
public:
    virtual ~analysis();
    const analysis_spec& spec() const { return m_spec; }
    // The channel this analysis publishes, for analyses built on it; null for
    // analyses whose result is not a channel.
    virtual ryx::analog_data* output_channel() const { return nullptr; }
    // The result as it stands after the last run.
    virtual result take() const = 0;
    // One line for the summary: the analysis's main reading.
    virtual QString reading() const = 0;
    // Frees the library object before the device goes.
    virtual void release() {}

protected:
    explicit analysis(analysis_spec spec) : m_spec(std::move(spec)) {}
    // The result's common fields, with the settings as given and as taken.
    result base_result(const QJsonObject& taken) const;

private:
    analysis_spec m_spec;
};

// Makes the analysis on its sources (already resolved, one or two channels).
// Settings the object does not take are reported in *warnings, one line each
// naming the analysis and the key; a value the object cannot take (a word that
// names no value of the enumeration, text for a number) fails with *error.
std::unique_ptr<analysis> make_analysis(const analysis_spec& spec, const std::vector<ryx::analog_data*>& sources,
                                        const run_clock* clock, QStringList* warnings, QString* error);

} // namespace ryx::analyze
