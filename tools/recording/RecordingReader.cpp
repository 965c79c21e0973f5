#include "RecordingReader.h"

#include "Record.h"

#include <QCryptographicHash>
#include <QFile>

#include <cmath>

namespace {

enum Column {
    Time,
    Elapsed,
    Event,
    RecvFrames,
    LossFrames,
    ErrorFrames,
    ErrorBits,
    Ber,
    BerLoss,
    Per,
    PerLoss,
    BerText,
    BerLossText,
    PerText,
    PerLossText,
    RunBits,
    RunErrorBits,
    RunBer,
    RunBerUpper,
    RunFrames,
    RunLostFrames,
    RunErrorFrames,
    Detail,
    ColumnCount
};

// The fields of one CSV line, quotes undone; empty when the quoting is broken.
std::optional<QStringList> csvFields(const QString& line)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == u'"' && quoted && i + 1 < line.size() && line[i + 1] == u'"')
            fields.last() += line[++i];
        else if (c == u'"')
            quoted = !quoted;
        else if (c == u',' && !quoted)
            fields << QString();
        else
            fields.last() += c;
    }
    if (quoted)
        return std::nullopt;
    return fields;
}

struct RowError
{
    QString message;
};

// A field as a message shows it: a control character, a NUL above all, would
// end or garble the line it is printed on, so it is spelled out.
QString shown(const QString& field)
{
    QString out;
    out.reserve(field.size());
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
    return out;
}

quint64 count(const QStringList& f, Column c, const char* name)
{
    if (f[c].isEmpty())
        return 0;
    bool ok = false;
    const quint64 value = f[c].toULongLong(&ok);
    // Qt reads a number up to a NUL and takes it: "40\0" is no count.
    if (!ok || f[c].contains(QChar(0)))
        throw RowError{QStringLiteral("%1 '%2' is not a whole number").arg(QLatin1String(name), shown(f[c]))};
    return value;
}

double rate(const QStringList& f, Column c, const char* name)
{
    if (f[c].isEmpty() || f[c] == QLatin1String("N/A"))
        return std::nan("");
    bool ok = false;
    const double value = f[c].toDouble(&ok);
    // A value too large for a double (1e999) reads as infinity, not ok: like
    // N/A it is no rate a chart can show, and a gap.
    if (std::isinf(value))
        return std::nan("");
    if (!ok)
        throw RowError{QStringLiteral("%1 '%2' is not a number").arg(QLatin1String(name), shown(f[c]))};
    return value;
}

RecordingRow parseRow(const QStringList& f)
{
    if (f.size() != ColumnCount)
        throw RowError{QStringLiteral("%1 fields where a row has %2").arg(f.size()).arg(int(ColumnCount))};
    RecordingRow row;
    row.time = QDateTime::fromString(f[Time], Qt::ISODateWithMs);
    if (!row.time.isValid())
        throw RowError{QStringLiteral("time '%1' is not an ISO 8601 time").arg(shown(f[Time]))};
    row.elapsed = rate(f, Elapsed, "elapsed_s");
    if (!std::isfinite(row.elapsed))
        throw RowError{QStringLiteral("elapsed_s '%1' is not a number").arg(shown(f[Elapsed]))};
    row.event = f[Event];
    if (row.event.isEmpty() && f[RecvFrames].isEmpty())
        throw RowError{QStringLiteral("a report row without recv_frames")};
    row.recvFrames = count(f, RecvFrames, "recv_frames");
    row.lossFrames = count(f, LossFrames, "loss_frames");
    row.errorFrames = count(f, ErrorFrames, "error_frames");
    row.errorBits = count(f, ErrorBits, "error_bits");
    row.ber = rate(f, Ber, "ber");
    row.berLoss = rate(f, BerLoss, "ber_loss");
    row.per = rate(f, Per, "per");
    row.perLoss = rate(f, PerLoss, "per_loss");
    row.runBits = count(f, RunBits, "run_bits");
    count(f, RunErrorBits, "run_error_bits");
    row.runBer = rate(f, RunBer, "run_ber");
    row.runBerUpper = rate(f, RunBerUpper, "run_ber_upper");
    count(f, RunFrames, "run_frames");
    count(f, RunLostFrames, "run_lost_frames");
    count(f, RunErrorFrames, "run_error_frames");
    row.detail = f[Detail];
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
    RecordingRow row;
    try {
        std::optional<QStringList> fields = csvFields(QString::fromUtf8(line));
        if (!fields)
            throw RowError{QStringLiteral("a quote is not closed")};
        if (m_former && fields->size() == Detail - 2)
            fields->insert(RunFrames, 3, QString());
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
    if (row.event == QLatin1String("started")) {
        ++m_runs;
        m_outOfOrder = false;
    } else if (m_runs == 0) {
        return fail(lineNumber, QStringLiteral("a row before the first 'started' row"));
    } else if (row.time < m_lastTime && !m_outOfOrder) {
        // A clock set back: the rows stay in the order the recorder wrote them.
        m_outOfOrder = true;
        m_warnings << QStringLiteral("%1:%2: time %3 is before the row above (%4): the clock was set back? "
                                     "Rows are drawn in the order written")
                          .arg(m_name)
                          .arg(lineNumber)
                          .arg(row.time.toString(Qt::ISODateWithMs), m_lastTime.toString(Qt::ISODateWithMs));
    }
    m_lastTime = row.time;
    m_reports += row.isReport();
    m_sink(row, m_runs);
    return true;
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
    QByteArray pending; // the start of a line the next chunk ends
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
        qsizetype from = 0;
        for (qsizetype end = chunk.indexOf('\n'); end >= 0 && good; end = chunk.indexOf('\n', from)) {
            if (pending.isEmpty()) {
                good = parser.addLine(QByteArray::fromRawData(chunk.constData() + from, end - from));
            } else {
                pending.append(chunk.constData() + from, end - from);
                good = parser.addLine(pending);
                pending.clear();
            }
            from = end + 1;
        }
        pending.append(chunk.constData() + from, chunk.size() - from);
    }
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
