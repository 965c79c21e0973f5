#include "Recording.h"

#include "Record.h"

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

qint64 RecordingRun::reports() const
{
    return std::count_if(rows.begin(), rows.end(), [](const RecordingRow& r) { return r.event.isEmpty(); });
}

measurement::RunAnalysis analyseRun(const RecordingRun& run, std::optional<double> maxBer)
{
    measurement::RunSettings settings = run.settings;
    if (maxBer)
        settings.maxBer = maxBer;
    measurement::RunAnalysis analysis(settings);
    for (const RecordingRow& row : run.rows) {
        if (row.event.isEmpty())
            analysis.add(row.time.toMSecsSinceEpoch(),
                         {row.recvFrames, row.lossFrames, row.errorFrames, row.errorBits});
        else if (row.event == QLatin1String("device lost"))
            analysis.deviceLost();
        else if (row.event == QLatin1String("stopped"))
            analysis.setReachedDuration(row.detail.startsWith(QLatin1String(measurement::kDurationReached)));
    }
    return analysis;
}

Recording parseRecording(const QByteArray& bytes, const QString& name)
{
    Recording recording;
    const auto fail = [&](qint64 line, const QString& why) {
        recording.error = QStringLiteral("%1:%2: %3").arg(name).arg(line).arg(why);
        recording.runs.clear();
        return recording;
    };
    if (bytes.isEmpty())
        return fail(1, QStringLiteral("empty file, not a recording"));
    QList<QByteArray> lines = bytes.split('\n');
    const bool tornLast = !bytes.endsWith('\n');
    if (!tornLast)
        lines.removeLast(); // after the last newline
    // A recording of the version before has no run_frames, run_lost_frames or run_error_frames.
    const bool former = lines.first() + '\n' == formerCsvHeader();
    if (!former && lines.first() + '\n' != csvHeader())
        return fail(1, QStringLiteral("not a bermon-log recording: the header is not bermon-log's"));

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qint64 lineNumber = i + 1;
        const bool last = i == lines.size() - 1;
        RecordingRow row;
        try {
            std::optional<QStringList> fields = csvFields(QString::fromUtf8(lines[i]));
            if (!fields)
                throw RowError{QStringLiteral("a quote is not closed")};
            if (former && fields->size() == Detail - 2)
                fields->insert(RunFrames, 3, QString());
            row = parseRow(*fields);
        } catch (const RowError& error) {
            // A recorder killed mid-write leaves a torn last line; the rest stands.
            if (last && tornLast) {
                recording.warnings << QStringLiteral("%1:%2: torn last line skipped (%3)")
                                          .arg(name)
                                          .arg(lineNumber)
                                          .arg(error.message);
                break;
            }
            return fail(lineNumber, QStringLiteral("bad row: ") + error.message);
        }
        row.line = lineNumber;
        if (row.event == QLatin1String("started")) {
            recording.runs.emplace_back();
            recording.runs.back().settings = measurement::settingsFromStartedDetail(row.detail);
        } else if (recording.runs.empty()) {
            return fail(lineNumber, QStringLiteral("a row before the first 'started' row"));
        }
        recording.runs.back().rows.push_back(std::move(row));
    }
    const bool anyReport = std::any_of(recording.runs.begin(), recording.runs.end(),
                                       [](const RecordingRun& run) { return run.reports() > 0; });
    if (!anyReport)
        return fail(lines.size(), QStringLiteral("the recording holds no report"));
    return recording;
}

Recording readRecording(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        Recording recording;
        recording.error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return recording;
    }
    return parseRecording(file.readAll(), path);
}

QList<QList<QPointF>> drawableStretches(const QList<QPointF>& points, bool logAxis)
{
    QList<QList<QPointF>> stretches;
    bool open = false;
    for (const QPointF& p : points) {
        if (!std::isfinite(p.y()) || (logAxis && p.y() <= 0)) {
            open = false;
            continue;
        }
        if (!open)
            stretches.emplace_back();
        stretches.last() << p;
        open = true;
    }
    return stretches;
}
