#include "recording/RecordingReader.h"

#include "recording/RecordingWriter.h"

#include "measurement/RunAnalysis.h"

#include <QCryptographicHash>
#include <QFile>

#include <charconv>
#include <cmath>
#include <limits>
#include <stdexcept>

using namespace recording;

namespace {

struct RowError
{
    QString message;
};

// A field as a message shows it, quoted: a control character, a NUL above
// all, would end or garble the line it is printed on, so it is spelled out;
// a long field is cut to its start, so that a message stays one short line.
QString shown(const QByteArray& bytes)
{
    constexpr qsizetype kShownBytes = 40;
    QString field = QString::fromUtf8(bytes.left(kShownBytes));
    if (bytes.size() > kShownBytes && field.endsWith(QChar::ReplacementCharacter))
        field.chop(1); // a character cut in two
    QString out = QStringLiteral("'");
    for (const QChar c : field) {
        if (c == u'\0')
            out += QLatin1String("\\0");
        else if (c == u'\t')
            out += QLatin1String("\\t");
        else if (c == u'\r')
            out += QLatin1String("\\r");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    if (bytes.size() > kShownBytes)
        return out + QStringLiteral("...' (%1 bytes)").arg(bytes.size());
    return out + u'\'';
}

// The number in a field, blanks and a leading '+' allowed, nothing after it.
template <typename T>
std::optional<T> numberIn(const QByteArray& field)
{
    QByteArrayView text = QByteArrayView(field).trimmed();
    if (text.startsWith('+'))
        text = text.sliced(1);
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.isEmpty() || end != text.data() + text.size())
        return std::nullopt;
    if (error == std::errc::result_out_of_range && std::is_floating_point_v<T>)
        return std::numeric_limits<T>::infinity();
    if (error != std::errc())
        return std::nullopt;
    return value;
}

quint64 count(const QList<QByteArray>& f, Column c)
{
    if (f[c].isEmpty())
        return 0;
    const std::optional<quint64> value = numberIn<quint64>(f[c]);
    if (!value)
        throw RowError{QStringLiteral("%1 %2 is not a whole number").arg(QLatin1String(kColumnNames[c]), shown(f[c]))};
    return *value;
}

// A count of the report, which carries it in a field of `bits` bits: a row
// with a wider one was never a report, and would overflow the run's totals.
quint64 reportCount(const QList<QByteArray>& f, Column c, int bits)
{
    const quint64 value = count(f, c);
    const quint64 most = (quint64(1) << bits) - 1;
    if (value > most)
        throw RowError{QStringLiteral("%1 %2 does not fit the report's %3-bit field (at most %4)")
                           .arg(QLatin1String(kColumnNames[c]))
                           .arg(value)
                           .arg(bits)
                           .arg(most)};
    return value;
}

double rate(const QList<QByteArray>& f, Column c)
{
    if (f[c].isEmpty() || f[c] == "N/A")
        return std::nan("");
    const std::optional<double> value = numberIn<double>(f[c]);
    if (!value)
        throw RowError{QStringLiteral("%1 %2 is not a number").arg(QLatin1String(kColumnNames[c]), shown(f[c]))};
    // A value too large for a double (1e999) is, like N/A, no rate a chart can show: a gap.
    return std::isfinite(*value) ? *value : std::nan("");
}

// "2026-01-02T03:04:05.678Z" as the recorder writes it, read without the
// cost of a general ISO 8601 parser; any other form goes to that parser.
QDateTime timeOf(const QByteArray& field)
{
    const char* t = field.constData();
    const auto digits = [t](int from, int n) {
        int value = 0;
        for (int i = from; i < from + n; ++i) {
            if (t[i] < '0' || t[i] > '9')
                return -1;
            value = value * 10 + (t[i] - '0');
        }
        return value;
    };
    if (field.size() == 24 && t[4] == '-' && t[7] == '-' && t[10] == 'T' && t[13] == ':' && t[16] == ':' && t[19] == '.'
        && t[23] == 'Z') {
        const QDate date(digits(0, 4), digits(5, 2), digits(8, 2));
        const QTime time(digits(11, 2), digits(14, 2), digits(17, 2), digits(20, 3));
        if (date.isValid() && time.isValid())
            return QDateTime(date, time, Qt::UTC);
    }
    return QDateTime::fromString(QString::fromUtf8(field), Qt::ISODateWithMs).toUTC();
}

ReadRow parseRow(const QList<QByteArray>& f)
{
    if (f.size() != ColumnCount)
        throw RowError{QStringLiteral("%1 fields where a row has %2").arg(f.size()).arg(int(ColumnCount))};
    ReadRow row;
    row.time = timeOf(f[Time]);
    if (!row.time.isValid())
        throw RowError{QStringLiteral("time %1 is not an ISO 8601 time").arg(shown(f[Time]))};
    row.elapsed = rate(f, Elapsed);
    if (!(row.elapsed >= 0 && row.elapsed <= kMaxElapsedSeconds))
        throw RowError{QStringLiteral("%1 %2 is not a number of seconds from 0 to %3")
                           .arg(QLatin1String(kColumnNames[Elapsed]), shown(f[Elapsed]))
                           .arg(kMaxElapsedSeconds)};
    row.event = QString::fromUtf8(f[Event]);
    if (row.event.isEmpty() && f[RecvFrames].isEmpty())
        throw RowError{QStringLiteral("a report row without ") + QLatin1String(kColumnNames[RecvFrames])};
    // Bytes [1:2], [3:4], [5:6] and [7:10] of the report.
    row.recvFrames = reportCount(f, RecvFrames, 16);
    row.lossFrames = reportCount(f, LossFrames, 16);
    row.errorFrames = reportCount(f, ErrorFrames, 16);
    row.errorBits = reportCount(f, ErrorBits, 32);
    row.ber = rate(f, Ber);
    row.berLoss = rate(f, BerLoss);
    row.per = rate(f, Per);
    row.perLoss = rate(f, PerLoss);
    row.runBits = count(f, RunBits);
    count(f, RunErrorBits);
    row.runBer = rate(f, RunBer);
    row.runBerUpper = rate(f, RunBerUpper);
    count(f, RunFrames);
    count(f, RunLostFrames);
    count(f, RunErrorFrames);
    row.detail = QString::fromUtf8(f[Detail]);
    return row;
}

} // namespace

RecordingParser::RecordingParser(const QString& name, RowSink sink)
    : m_name(name)
    , m_sink(std::move(sink))
{
}

bool RecordingParser::fail(qint64 line, const QString& why)
{
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1:%2: %3").arg(m_name).arg(line).arg(why);
    return false;
}

bool RecordingParser::addLine(const QByteArray& line)
{
    return add(line, false);
}

bool RecordingParser::addLastUnended(const QByteArray& line)
{
    return add(line, true);
}

bool RecordingParser::add(const QByteArray& line, bool unended)
{
    if (!m_error.isEmpty())
        return false;
    const qint64 lineNumber = ++m_lines;
    if (lineNumber == 1) {
        // A recording of the version before has no run_frames, run_lost_frames or run_error_frames.
        m_former = line + '\n' == formerCsvHeader();
        if (!m_former && line + '\n' != csvHeader())
            return fail(1, QStringLiteral("not a bermon-log recording: the header is not bermon-log's"));
        return true;
    }
    ReadRow row;
    try {
        std::optional<QList<QByteArray>> fields = csvFields(line);
        if (!fields)
            throw RowError{QStringLiteral("a quote is not closed")};
        if (m_former && fields->size() == Detail - 2)
            fields->insert(RunFrames, 3, QByteArray());
        row = parseRow(*fields);
    } catch (const RowError& error) {
        if (unended) {
            m_warnings
                << QStringLiteral("%1:%2: torn last line skipped (%3)").arg(m_name).arg(lineNumber).arg(error.message);
            return true;
        }
        return fail(lineNumber, QStringLiteral("bad row: ") + error.message);
    }
    row.line = lineNumber;
    if (row.is(RowEvent::Started)) {
        const measurement::StartedSettings settings = measurement::readStartedDetail(row.detail);
        if (!settings.error.isEmpty())
            return fail(lineNumber, settings.error);
        for (const QString& warning : settings.warnings)
            m_warnings << QStringLiteral("%1:%2: %3").arg(m_name).arg(lineNumber).arg(warning);
        ++m_runs;
        m_outOfOrder = false;
        m_clockStepped = false;
    } else if (m_runs == 0) {
        return fail(lineNumber, QStringLiteral("a row before the first 'started' row"));
    } else if (row.time < m_lastTime && !m_outOfOrder) {
        // A clock set back: the rows stay in the order the recorder wrote them.
        m_outOfOrder = true;
        m_clockStepped = true; // said here
        m_warnings << QStringLiteral("%1:%2: time %3 is before the row above (%4): the clock was set back? "
                                     "Rows are drawn in the order written")
                          .arg(m_name)
                          .arg(lineNumber)
                          .arg(row.time.toString(Qt::ISODateWithMs), m_lastTime.toString(Qt::ISODateWithMs));
    }
    noteClockStep(row);
    m_lastTime = row.time;
    m_reports += row.isReport();
    try {
        m_sink(row, m_runs);
    } catch (const std::overflow_error& error) {
        return fail(lineNumber, QString::fromStdString(error.what()));
    }
    return true;
}

// The row's time and elapsed time go on together but for a clock set: a
// step is told once a run, and marked on its row, so that no one takes the
// time across it as measured.
void RecordingParser::noteClockStep(ReadRow& row)
{
    const qint64 elapsedMs = qRound64(row.elapsed * 1000);
    const qint64 offsetMs = row.time.toMSecsSinceEpoch() - elapsedMs;
    if (!row.is(RowEvent::Started)
        && measurement::clockStepped(m_clockOffsetMs, offsetMs, elapsedMs - m_lastElapsedMs)) {
        row.clockStep = double(offsetMs - m_clockOffsetMs) / 1000;
        if (!m_clockStepped)
            m_warnings << QStringLiteral("%1:%2: time %3 is %4 %5 of the run's elapsed time: the clock was set, "
                                         "or the host slept; no report tells of the time across it")
                              .arg(m_name)
                              .arg(row.line)
                              .arg(row.time.toString(Qt::ISODateWithMs),
                                   measurement::clockText(qint64(std::min(std::abs(row.clockStep), 1e15) * 1000)),
                                   row.clockStep > 0 ? "ahead" : "behind");
        m_clockStepped = true;
    }
    m_clockOffsetMs = offsetMs;
    m_lastElapsedMs = elapsedMs;
}

bool RecordingParser::refuseLongLine()
{
    return fail(
        m_lines + 1,
        QStringLiteral("a line of more than %1 bytes, longer than any row; reading stops here").arg(kMaxLineBytes));
}

bool RecordingParser::finish()
{
    if (!m_error.isEmpty())
        return false;
    if (m_lines == 0)
        return fail(1, QStringLiteral("empty file, not a recording"));
    if (m_reports == 0)
        return fail(m_lines, QStringLiteral("the recording holds no report"));
    return true;
}

RecordingScan readRecording(const QString& path, const RowSink& sink)
{
    RecordingScan scan;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        scan.error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return scan;
    }
    RecordingParser parser(path, sink);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    LineSplitter lines;
    const auto take = [&parser](const QByteArray& line) { return parser.addLine(line); };
    bool good = true;
    while (good) {
        const QByteArray chunk = file.read(1 << 20);
        if (chunk.isEmpty()) {
            if (file.error() != QFileDevice::NoError) {
                scan.error = QStringLiteral("%1: %2").arg(path, file.errorString());
                return scan;
            }
            break;
        }
        hash.addData(chunk);
        good = lines.add(chunk, take);
    }
    if (lines.tooLong())
        parser.refuseLongLine();
    const QByteArray& pending = lines.pending();
    if (good && !pending.isEmpty())
        good = parser.addLastUnended(pending);
    if (good)
        parser.finish();
    scan.error = parser.error();
    scan.warnings = parser.warnings();
    scan.runs = parser.runs();
    scan.lines = parser.lines();
    scan.sha256 = hash.result().toHex();
    return scan;
}
