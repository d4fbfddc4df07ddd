// CSV input, one line at a time: memory stays bounded by the longest line
// allowed, whatever the file holds (a runaway line, NUL bytes, thousands of
// columns).
#include "input_csv.h"
#include "input_limits.h"

#include <QFile>
#include <QFileInfo>

#include <charconv>
#include <cmath>
#include <deque>
#include <string>
#include <string_view>
#include <system_error>

namespace ryx::analyze::detail {

namespace {

constexpr qint64 max_line = 1 << 20;
// Every step of the time column must equal the first within this fraction of it.
constexpr double time_step_tolerance = 1.0e-6;

std::string_view trimmed(std::string_view s)
{
    auto space = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
    while (!s.empty() && space(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && space(s.back()))
        s.remove_suffix(1);
    return s;
}

// A field shown in a message: printable, short.
QString quoted(std::string_view field)
{
    QString text;
    for (std::size_t i = 0; i < field.size() && i < 24; ++i) {
        const unsigned char c = static_cast<unsigned char>(field[i]);
        text += c >= 0x20 && c < 0x7f ? QChar(c) : QChar('?');
    }
    if (field.size() > 24)
        text += QStringLiteral("...");
    return QLatin1Char('"') + text + QLatin1Char('"');
}

// Tab first, then semicolon (whose files often write decimal commas), then comma.
char separator_of(std::string_view line)
{
    if (line.find('\t') != std::string_view::npos)
        return '\t';
    if (line.find(';') != std::string_view::npos)
        return ';';
    return ',';
}

class csv_source final : public source
{
public:
    explicit csv_source(const QString& path) : m_path(path), m_file(path), m_buffer(std::size_t(max_line) + 2) {}

    // Reads the header and the first data lines: the channels and the rate.
    bool open(double rate, bool time_column, QString* error)
    {
        m_time = time_column;
        if (QFileInfo(m_path).isDir())
            return fail(QStringLiteral("%1: cannot open: it is a directory").arg(m_path), error);
        if (!m_file.open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1: cannot open (%2)").arg(m_path, m_file.errorString()), error);

        std::string_view line;
        int r = next_line(line);
        if (r < 0)
            return fail(m_error, error);
        if (r == 0)
            return fail(QStringLiteral("%1: no data").arg(m_path), error);

        // A first line that is not all numbers is a header.
        m_separator = separator_of(line);
        m_decimal_comma = m_separator != ',';
        if (!split(line))
            return fail(m_error, error);
        bool numbers = true;
        double ignored = 0.0;
        for (const auto& f : m_fields)
            numbers = numbers && parse(f, ignored);
        if (!numbers) {
            r = next_line(line);
            if (r < 0)
                return fail(m_error, error);
            if (r == 0)
                return fail(QStringLiteral("%1: no data after the header").arg(m_path), error);
            m_separator = separator_of(line);
            m_decimal_comma = m_separator != ',';
            if (!split(line))
                return fail(m_error, error);
        }

        m_columns = int(m_fields.size());
        const int first = m_time ? 1 : 0;
        if (m_columns - first < 1)
            return fail(at_line() + QStringLiteral("a time column needs at least one channel beside it"),
                error);
        if (m_columns - first > max_channels)
            return fail(at_line() + QStringLiteral("%1 channels (at most %2)").arg(m_columns - first)
                            .arg(max_channels),
                error);
        m_pending.emplace_back();
        if (!parse_row(m_pending.back()))
            return fail(m_error, error);

        if (m_time) {
            m_pending.emplace_back();
            r = next_row(m_pending.back());
            if (r < 0)
                return fail(m_error, error);
            if (r == 0)
                return fail(
                    QStringLiteral("%1: one line of data: the time column needs two to give the rate").arg(m_path),
                    error);
            const double t0 = m_pending[0][0];
            const double t1 = m_pending[1][0];
            m_step = t1 - t0;
            if (!(std::isfinite(m_step) && m_step > 0.0))
                return fail(at_line()
                        + QStringLiteral("the time column must increase (%1 s, then %2 s)")
                              .arg(format_number(t0), format_number(t1)),
                    error);
            m_rate = 1.0 / m_step;
            if (!(m_rate <= max_rate))
                return fail(
                    QStringLiteral("%1: time step of %2 s: the rate is over 10 MHz").arg(m_path, format_number(m_step)),
                    error);
            m_last_time = t1;
        } else {
            if (!(rate > 0.0 && rate <= max_rate))
                return fail(QStringLiteral("%1: CSV needs a sample rate: give --rate").arg(m_path), error);
            m_rate = rate;
        }
        return true;
    }

    int channels() const override { return m_columns - (m_time ? 1 : 0); }
    double rate() const override { return m_rate; }
    qint64 frames() const override { return -1; }

    qint64 read(std::vector<std::vector<double>>& run, std::size_t max, QString* error) override
    {
        const int first = m_time ? 1 : 0;
        run.resize(std::size_t(channels()));
        for (auto& v : run)
            v.clear();
        if (!m_error.isEmpty()) {
            if (error)
                *error = m_error;
            return -1;
        }
        std::size_t got = 0;
        while (got < max) {
            if (m_pending.empty()) {
                const int r = next_row(m_row);
                if (r < 0) {
                    for (auto& v : run)
                        v.clear();
                    if (error)
                        *error = m_error;
                    return -1;
                }
                if (r == 0)
                    break;
                append(run, m_row, first);
            } else {
                append(run, m_pending.front(), first);
                m_pending.pop_front();
            }
            ++got;
        }
        return qint64(got);
    }

    QString describe() const override
    {
        const int c = channels();
        return QFileInfo(m_path).fileName()
            + QStringLiteral(": %1 %2 at %3 Hz (CSV%4)")
                  .arg(QString::number(c), c == 1 ? QStringLiteral("channel") : QStringLiteral("channels"),
                      format_number(m_rate), m_time ? QStringLiteral(", rate from the time column") : QString());
    }

private:
    static void append(std::vector<std::vector<double>>& run, const std::vector<double>& row, int first)
    {
        for (std::size_t c = 0; c < run.size(); ++c)
            run[c].push_back(row[c + std::size_t(first)]);
    }

    // "file.csv:12: ", the start of a message about the line just read.
    QString at_line() const
    {
        return m_path + QLatin1Char(':') + QString::number(m_line) + QStringLiteral(": ");
    }

    bool fail(const QString& message, QString* error)
    {
        if (error)
            *error = message;
        return false;
    }

    // The next line that holds data (blank lines and # comments are passed
    // over), without its end of line: 1, or 0 at the end of the file, or -1
    // with m_error set.
    int next_line(std::string_view& line)
    {
        for (;;) {
            // Not atEnd(): on a pipe or a device it says nothing about what is to come.
            const qint64 n = m_file.readLine(m_buffer.data(), qint64(m_buffer.size()));
            if (n < 0 && m_file.error() == QFileDevice::NoError)
                return 0;
            if (n < 0) {
                m_error = at_line() + QStringLiteral("read error (%1)").arg(m_file.errorString());
                return -1;
            }
            ++m_line;
            std::string_view s(m_buffer.data(), std::size_t(n));
            if (!s.empty() && s.back() == '\n')
                s.remove_suffix(1);
            if (qint64(s.size()) > max_line) {
                m_error = at_line() + QStringLiteral("line too long (over %1 bytes)").arg(max_line);
                return -1;
            }
            if (m_line == 1 && s.substr(0, 3) == "\xEF\xBB\xBF")
                s.remove_prefix(3);
            const std::string_view t = trimmed(s);
            if (t.empty() || t.front() == '#')
                continue;
            line = s;
            return 1;
        }
    }

    // Splits a line into m_fields; false (with m_error) past the column limit.
    bool split(std::string_view line)
    {
        m_fields.clear();
        const std::size_t limit = std::size_t(max_channels) + 1;
        for (;;) {
            const std::size_t at = line.find(m_separator);
            m_fields.push_back(line.substr(0, at));
            if (at == std::string_view::npos)
                return true;
            if (m_fields.size() == limit) {
                m_error = at_line() + QStringLiteral("too many columns (at most %1 channels)").arg(max_channels);
                return false;
            }
            line.remove_prefix(at + 1);
        }
    }

    // A number as written in C ("nan" and "inf" included), in optional
    // double quotes, with a decimal comma where the separator is not a comma.
    bool parse(std::string_view field, double& value)
    {
        field = trimmed(field);
        if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
            field = trimmed(field.substr(1, field.size() - 2));
        if (!field.empty() && field.front() == '+')
            field.remove_prefix(1);
        if (field.empty())
            return false;
        if (m_decimal_comma && field.find(',') != std::string_view::npos) {
            m_scratch.assign(field.data(), field.size());
            for (char& c : m_scratch)
                if (c == ',')
                    c = '.';
            field = m_scratch;
        }
        const char* end = field.data() + field.size();
        const auto [ptr, ec] = std::from_chars(field.data(), end, value);
        return ec == std::errc() && ptr == end;
    }

    // The fields of the line just split, as numbers: false with m_error on a
    // ragged line or a field that is not a number, or a break in the time step.
    bool parse_row(std::vector<double>& row)
    {
        if (int(m_fields.size()) != m_columns) {
            m_error = at_line()
                + QStringLiteral("%1 fields where the first data line has %2").arg(m_fields.size()).arg(m_columns);
            return false;
        }
        row.resize(m_fields.size());
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            if (!parse(m_fields[i], row[i])) {
                m_error
                    = at_line() + QStringLiteral("field %1 is not a number (%2)").arg(i + 1).arg(quoted(m_fields[i]));
                return false;
            }
        }
        if (m_time && m_step > 0.0) {
            const double step = row[0] - m_last_time;
            if (!(std::fabs(step - m_step) <= time_step_tolerance * m_step)) {
                m_error = at_line()
                    + QStringLiteral("time step of %1 s where the first is %2 s: the time column must be uniform")
                          .arg(format_number(step), format_number(m_step));
                return false;
            }
            m_last_time = row[0];
        }
        return true;
    }

    // The next data line as numbers: 1, 0 at the end, -1 with m_error.
    int next_row(std::vector<double>& row)
    {
        std::string_view line;
        const int r = next_line(line);
        if (r <= 0)
            return r;
        if (!split(line) || !parse_row(row))
            return -1;
        return 1;
    }

    QString m_path;
    QFile m_file;
    std::vector<char> m_buffer;
    std::vector<std::string_view> m_fields;
    std::string m_scratch;
    std::vector<double> m_row;
    std::deque<std::vector<double>> m_pending;
    QString m_error;
    qint64 m_line = 0;
    int m_columns = 0;
    char m_separator = ',';
    bool m_decimal_comma = false;
    bool m_time = false;
    double m_rate = 0.0;
    double m_step = 0.0;
    double m_last_time = 0.0;
};

} // namespace

std::unique_ptr<source> open_csv(const QString& path, double rate, bool time_column, QString* error)
{
    auto s = std::make_unique<csv_source>(path);
    if (!s->open(rate, time_column, error))
        return nullptr;
    return s;
}

} // namespace ryx::analyze::detail
