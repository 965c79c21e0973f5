// bermon-log as a program, on pseudo-terminals fed by the emulated unit.

#include "emulator/CounterReportEncoding.h"
#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"
#include "measurement/CounterReport.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <csignal>

#include <fcntl.h>
#include <unistd.h>

using emulator::EmulatorSettings;
using emulator::PseudoTerminal;
using emulator::UnitEmulator;

Q_DECLARE_METATYPE(emulator::CountOverflow)
Q_DECLARE_METATYPE(emulator::EmulatorSettings)

namespace {

// The fields of one CSV line, quotes undone.
QStringList csvFields(const QString& line)
{
    QStringList fields{QString()};
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const QChar c = line[i];
        if (c == '"' && quoted && i + 1 < line.size() && line[i + 1] == '"')
            fields.last() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields << QString();
        else
            fields.last() += c;
    }
    return fields;
}

struct Csv
{
    QStringList header;
    QList<QStringList> rows;
    bool whole = true; // every line ends with a newline and has every column

    explicit Csv(const QString& path)
    {
        QFile file(path);
        file.open(QIODevice::ReadOnly);
        const QByteArray bytes = file.readAll();
        whole = bytes.endsWith('\n');
        const QList<QByteArray> lines = bytes.trimmed().split('\n');
        header = csvFields(QString::fromUtf8(lines.first()));
        for (const QByteArray& line : lines.mid(1)) {
            rows << csvFields(QString::fromUtf8(line));
            whole = whole && rows.last().size() == header.size();
        }
    }
    QString at(const QStringList& row, const char* column) const { return row.value(header.indexOf(column)); }
    QList<QStringList> events(const char* name) const
    {
        QList<QStringList> found;
        for (const QStringList& row : rows)
            if (at(row, "event") == name)
                found << row;
        return found;
    }
    QList<QStringList> reports() const { return events(""); }
};

// The emulated unit on a pseudo-terminal, and bermon-log recording it into a CSV file.
struct Rig
{
    explicit Rig(EmulatorSettings settings)
        : unit(line, settings)
    {
        QObject::connect(&unit, &UnitEmulator::transmitted, [this](const QByteArray& bytes) { sent << bytes; });
    }
    // Starts the recorder, and the unit once the recorder listens.
    void start(const QStringList& options)
    {
        log.start(BERMON_LOG_PATH, QStringList{"--device", line.slavePath(), "--csv", csv()} + options);
        QVERIFY(
            QTest::qWaitFor([&] { return QFile(csv()).size() > 300 || log.state() == QProcess::NotRunning; }, 20000));
        QTest::qWait(100);
        unit.start();
    }
    int finish()
    {
        if (!QTest::qWaitFor([&] { return log.state() == QProcess::NotRunning; }, 30000))
            return -1;
        return log.exitStatus() == QProcess::NormalExit ? log.exitCode() : -1;
    }
    QString csv() const { return dir.filePath("run.csv"); }
    QString errors() { return QString::fromLocal8Bit(log.readAllStandardError()); }

    QTemporaryDir dir;
    PseudoTerminal line;
    UnitEmulator unit;
    QList<QByteArray> sent;
    QProcess log;
};

EmulatorSettings fastUnit(double ber, emulator::CountOverflow overflow = emulator::CountOverflow::RestartPeriod)
{
    EmulatorSettings settings;
    // A pause longer than the quiet line after each report, so that every
    // report settles whatever its counts hold: back to back, a report with
    // the marker in its counts may stay ambiguous.
    settings.intervalMs = 80;
    settings.link.frameRate = 2.5e5; // 20000 frames a report: a new period or a wrap every few reports
    settings.link.bitErrorRate = ber;
    settings.link.frameLossRate = 1e-4;
    settings.overflow = overflow;
    return settings;
}

// The least and the most of a figure of the stopped row's detail, "es=3" or "es=[2,5]".
std::pair<int, int> figureBounds(const QString& stopped, const char* key)
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral(" %1=\\[?(\\d+),?(\\d*)\\]? ").arg(key)).match(stopped);
    return {m.captured(1).toInt(), m.captured(2).isEmpty() ? m.captured(1).toInt() : m.captured(2).toInt()};
}

QString jsonText(const QJsonValue& value)
{
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact)).mid(1).chopped(1);
}

// Whether an error-performance figure in JSON is the one the stopped row's detail gives as
// `3`, `[2,5]` or `N/A`.
bool sameFigure(const QJsonValue& value, const QString& text)
{
    if (text == "N/A")
        return value.isNull();
    if (text.startsWith('[')) {
        const QStringList bounds = text.mid(1).chopped(1).split(',');
        const QJsonArray pair = value.toArray();
        return value.isArray() && pair.size() == 2 && bounds.size() == 2 && pair[0].isDouble() && pair[1].isDouble()
               && pair[0].toDouble() == bounds[0].toDouble() && pair[1].toDouble() == bounds[1].toDouble();
    }
    bool ok = false;
    const double number = text.toDouble(&ok);
    return ok && value.isDouble() && value.toDouble() == number;
}

} // namespace

class TestLogProgram : public QObject
{
    Q_OBJECT

private slots:
    void rowsAndTotalsFollowTheReports_data();
    void rowsAndTotalsFollowTheReports();
    void verdicts_data();
    void verdicts();
    void errorPerformanceVerdicts_data();
    void errorPerformanceVerdicts();
    void anOutageIsUnavailableTime();
    void timedRunsOnRealLines();
    void jsonLinesAreTheCsvRows_data();
    void jsonLinesAreTheCsvRows();
    void everyByteIsARowOrUnframed();
    void theFirstReportRightAfterOpening();
    void clusteredErrorsWidenTheBound();
    void oldFormatFileIsRenamedAndANewOneBegun();
    void killNineLeavesWholeRowsAndTheTornLineIsCut();
    void fileWithAnotherHeaderIsRefused();
    void reconnectsAfterAHangUp();
    void badCommandLinesAndMissingDevices_data();
    void badCommandLinesAndMissingDevices();
};

void TestLogProgram::rowsAndTotalsFollowTheReports_data()
{
    QTest::addColumn<emulator::CountOverflow>("overflow");
    QTest::newRow("restart") << emulator::CountOverflow::RestartPeriod;
    QTest::newRow("wrap") << emulator::CountOverflow::Wrap;
}

void TestLogProgram::rowsAndTotalsFollowTheReports()
{
    QFETCH(emulator::CountOverflow, overflow);
    const bool wrap = overflow == emulator::CountOverflow::Wrap;
    Rig rig(fastUnit(1e-6, overflow));
    rig.start({"--reports", "30", "--counters", wrap ? "wrap" : "restart"});
    QCOMPARE(rig.finish(), 0);
    const Csv csv(rig.csv());
    QVERIFY(csv.whole);
    const QList<QStringList> reports = csv.reports();
    QCOMPARE(reports.size(), 30);
    QVERIFY(rig.sent.size() >= 30);

    // The totals by the rule of each model, from the reports as sent.
    quint64 fields[4] = {};
    quint64 last[4] = {};
    quint64 totals[4] = {};
    const quint64 modulus[4] = {1 << 16, 1 << 16, 1 << 16, 1ull << 32};
    int decreases = 0;
    for (int i = 0; i < 30; ++i) {
        const QByteArray& sent = rig.sent[i];
        const QStringList& row = reports[i];
        int f = 0;
        for (const auto& [column, first, width] :
             {std::tuple{"recv_frames", 1, 2}, {"loss_frames", 3, 2}, {"error_frames", 5, 2}, {"error_bits", 7, 4}}) {
            fields[f] = *measurement::reportField(sent, first, width);
            QCOMPARE(csv.at(row, column).toULongLong(), fields[f]);
            ++f;
        }
        const float ber = float(fields[3]) / float(fields[0] * 512);
        QCOMPARE(csv.at(row, "ber"), QString::number(ber, 'g', 9));
        const bool newPeriod = !wrap && i > 0 && fields[0] < last[0];
        const bool down =
            i > 0 && (fields[0] < last[0] || fields[3] < last[3] || fields[1] < last[1] || fields[2] < last[2]);
        decreases += down;
        for (int k = 0; k < 4; ++k) {
            if (wrap && i > 0)
                totals[k] += (fields[k] + modulus[k] - last[k]) % modulus[k];
            else if (newPeriod)
                totals[k] += last[k];
            last[k] = fields[k];
        }
        const quint64 bits = (wrap ? totals[0] : totals[0] + fields[0]) * 512;
        const quint64 errors = wrap ? totals[3] : totals[3] + fields[3];
        QCOMPARE(csv.at(row, "run_bits").toULongLong(), bits);
        QCOMPARE(csv.at(row, "run_error_bits").toULongLong(), errors);
    }
    QVERIFY(decreases >= 5);
    QCOMPARE(csv.events("counts went down").size(), decreases);
    QCOMPARE(csv.events("stopped").size(), 1);
    QVERIFY(csv.at(csv.events("started").first(), "detail").contains(wrap ? "counters wrap" : "counters restart"));
}

void TestLogProgram::verdicts_data()
{
    QTest::addColumn<double>("ber");
    QTest::addColumn<double>("loss");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("verdict");
    const QStringList autoBits{"--max-ber", "1e-6", "--bits", "auto"};
    QTest::newRow("pass") << 0.0 << 0.0 << autoBits << 0 << "pass:";
    QTest::newRow("fail") << 1e-4 << 0.0 << QStringList{"--max-ber", "1e-6", "--reports", "3"} << 1 << "fail:";
    QTest::newRow("not decided") << 1e-6 << 0.0
                                 << QStringList{"--max-ber", "1e-6", "--confidence", "0.999", "--reports", "3"} << 4
                                 << "not decided: ";
    QTest::newRow("lost frames fail a clean link") << 0.0 << 1e-3 << autoBits << 1 << "fail: ";
    QTest::newRow("lost frames allowed") << 0.0 << 1e-3 << autoBits + QStringList{"--max-lost-frames", "100000"} << 0
                                         << "pass:";
    QTest::newRow("lost frames alone") << 0.0 << 0.0 << QStringList{"--max-lost-frames", "0", "--reports", "3"} << 0
                                       << "pass: 0 frames lost, at most the 0 allowed";
}

void TestLogProgram::verdicts()
{
    QFETCH(double, ber);
    QFETCH(double, loss);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, verdict);
    EmulatorSettings settings = fastUnit(ber);
    settings.link.frameLossRate = loss;
    Rig rig(settings);
    rig.start(options << "--quiet");
    QCOMPARE(rig.finish(), status);
    const QStringList lines = rig.errors().split('\n', Qt::SkipEmptyParts);
    QVERIFY2(lines.last().startsWith(verdict), qPrintable(lines.join('\n')));
    if (ber == 0 && status == 0
        && options.contains("auto")) // -ln(0.05)/1e-6 = 2995733 bits, the first report's 1e7 pass
        QVERIFY(lines.first().contains("2995733 bits"));
    if (status == 4)
        QVERIFY2(lines.last().contains("; a decision needs "), qPrintable(lines.last()));
    const Csv csv(rig.csv());
    const QString stopped = csv.at(csv.events("stopped").value(0), "detail");
    QVERIFY2(stopped.contains(lines.last()), qPrintable(stopped));
    if (loss > 0) {
        const QStringList last = csv.reports().last();
        QVERIFY(csv.at(last, "run_lost_frames").toULongLong() > 0);
        if (status == 1)
            QVERIFY2(
                lines.last().contains(
                    QStringLiteral("%1 frames lost, more than the 0 allowed").arg(csv.at(last, "run_lost_frames"))),
                qPrintable(lines.last()));
    }
}

void TestLogProgram::errorPerformanceVerdicts_data()
{
    QTest::addColumn<double>("loss");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("verdict");
    const QStringList limits{"--max-es", "0", "--max-ses", "0", "--max-unavailable", "0"};
    QTest::newRow("a clean link passes its duration") << 0.0 << limits + QStringList{"--duration", "3s"} << 0
                                                      << "pass: 0 errored seconds, at most the 0 allowed; 0 severely";
    // 50 lost frames a second: every second is severely errored, fewer than 10 of them.
    QTest::newRow("lost frames fail") << 1e-2 << QStringList{"--max-ses", "0", "--duration", "3s"} << 1 << "fail: ";
    QTest::newRow("no pass before the duration")
        << 0.0 << limits + QStringList{"--reports", "10"} << 4 << "not decided: 0 errored seconds";
}

void TestLogProgram::errorPerformanceVerdicts()
{
    QFETCH(double, loss);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, verdict);
    EmulatorSettings settings = fastUnit(0);
    settings.link.frameRate = 5000; // 400 frames a report: no new test period within the run
    settings.link.frameLossRate = loss;
    Rig rig(settings);
    rig.start(options << "--quiet");
    QCOMPARE(rig.finish(), status);
    const QString last = rig.errors().split('\n', Qt::SkipEmptyParts).last();
    QVERIFY2(last.startsWith(verdict), qPrintable(last));
    if (status == 1)
        QVERIFY2(last.contains(" severely errored seconds, more than the 0 allowed"), qPrintable(last));
    if (status == 4)
        QVERIFY2(last.contains("a pass on error performance needs a --duration"), qPrintable(last));
    const Csv csv(rig.csv());
    const QString stopped = csv.at(csv.events("stopped").value(0), "detail");
    QVERIFY2(stopped.contains(" unknown_s=0 ") && stopped.contains(" es="), qPrintable(stopped));
}

void TestLogProgram::anOutageIsUnavailableTime()
{
    // Sync lost for seconds 1 to 12 of the unit's run, then 12 good seconds: 12 SES, all of them
    // unavailable time, which ends with the first good second. A report belongs to the moment it
    // arrived, so the recorder's seconds may hold one more at each edge of the outage.
    EmulatorSettings settings = fastUnit(0);
    settings.link.frameRate = 1000;
    settings.link.frameLossRate = 0;
    settings.conditions.outages = {{1, 12}};
    Rig rig(settings);
    rig.start({"--duration", "25s", "--max-unavailable", "0", "--jsonl", "--quiet"});
    QCOMPARE(rig.finish(), 1);
    const QString last = rig.errors().split('\n', Qt::SkipEmptyParts).last();
    QVERIFY2(last.startsWith("fail: ") && last.contains(" unavailable seconds, more than the 0 allowed"),
             qPrintable(last));
    const QString stopped = Csv(rig.csv()).events("stopped").value(0).join(',');
    const auto bounds = [&](const char* key) { return figureBounds(stopped, key); };
    const auto [unavailableLeast, unavailableMost] = bounds("unavailable_s");
    QVERIFY2(unavailableLeast >= 11 && unavailableMost <= 14, qPrintable(stopped));
    QVERIFY2(bounds("es").first == 0 && bounds("ses").second <= 2, qPrintable(stopped));
    QVERIFY2(bounds("unknown_s").first == 0, qPrintable(stopped));
    // The same figures in the stopped JSON line.
    const QString json = QString::fromUtf8(rig.log.readAllStandardOutput()).trimmed().split('\n').last();
    QVERIFY2(json.contains("\"error_performance\":{\"seconds\":"), qPrintable(json));
}

// Timed runs side by side, each with a latency generous enough for a busy
// machine: what the reports cannot show is never passed, and what they show
// plainly is decided.
void TestLogProgram::timedRunsOnRealLines()
{
    EmulatorSettings clean = fastUnit(0, emulator::CountOverflow::Wrap);
    clean.intervalMs = 100;
    clean.link.frameRate = 1000;
    clean.link.frameLossRate = 0;
    const QStringList zeroLimits{"--max-es", "0", "--max-ses", "0", "--max-unavailable", "0", "--counters", "wrap",
                                 "--duration", "15s", "--latency", "200", "--quiet"};
    Rig passing(clean), hanging(clean);
    // A 12 s outage at 10,000 frames a second, reports every 200 ms.
    EmulatorSettings outage = clean;
    outage.baudRate = 115200;
    outage.intervalMs = 200;
    outage.link.frameRate = 10000;
    outage.conditions.outages = {{5, 12}};
    Rig outaged(outage);
    // A report a second, with many errored seconds.
    EmulatorSettings errored = clean;
    errored.intervalMs = 1000;
    errored.conditions.erroredSecondChance = 0.4;
    errored.conditions.erroredShare = 0.1;
    errored.seed = 5;
    Rig erroring(errored);
    // A new test period every 2.2 s.
    EmulatorSettings restarting = clean;
    restarting.overflow = emulator::CountOverflow::RestartPeriod;
    restarting.link.frameRate = 30000;
    restarting.intervalMs = 500;
    Rig restarts(restarting);
    // JSON lines into a pipe of one page that nobody reads for the first 15 s.
    Rig stalled(clean);
    int pipe[2];
    QVERIFY(::pipe2(pipe, O_CLOEXEC | O_NONBLOCK) == 0);
    QVERIFY(::fcntl(pipe[1], F_SETFL, 0) == 0 && ::fcntl(pipe[1], F_SETPIPE_SZ, 4096) > 0);
    stalled.log.setStandardOutputFile(QStringLiteral("/dev/fd/%1").arg(pipe[1]));

    passing.start(zeroLimits);
    hanging.start(zeroLimits);
    QTimer::singleShot(2000, &hanging.unit, &UnitEmulator::stop); // the line stays open
    outaged.start({"--baud", "115200", "--counters", "wrap", "--max-unavailable", "12s", "--duration", "30s",
                   "--latency", "200", "--quiet"});
    erroring.start({"--counters", "wrap", "--max-es", "2", "--duration", "20s", "--latency", "200", "--quiet"});
    restarts.start({"--max-es", "0", "--duration", "12s", "--quiet"});
    stalled.start({"--counters", "wrap", "--jsonl", "--duration", "20s", "--quiet"});
    ::close(pipe[1]);
    QTest::qWait(15000);
    QByteArray json;
    QVERIFY(QTest::qWaitFor(
        [&] {
            char buffer[65536];
            for (ssize_t n; (n = ::read(pipe[0], buffer, sizeof buffer)) > 0;)
                json.append(buffer, n);
            return stalled.log.state() == QProcess::NotRunning;
        },
        30000));
    ::close(pipe[0]);

    const auto stoppedDetail = [](Rig& rig) { return Csv(rig.csv()).events("stopped").value(0).join(','); };
    QCOMPARE(passing.finish(), 0);
    QCOMPARE(hanging.finish(), 4);
    const QString hung = stoppedDetail(hanging);
    QVERIFY2(figureBounds(hung, "unknown_s").first >= 10 && figureBounds(hung, "es").second >= 10, qPrintable(hung));
    QVERIFY(!Csv(hanging.csv()).events("silent").isEmpty());
    // The seconds beside the outage may hold its lost frames: not decided, and never a fail.
    QCOMPARE(outaged.finish(), 4);
    const auto [unavailableLeast, unavailableMost] = figureBounds(stoppedDetail(outaged), "unavailable_s");
    QVERIFY2(unavailableLeast <= 12 && unavailableMost >= 12, qPrintable(stoppedDetail(outaged)));
    QCOMPARE(erroring.finish(), 1);
    QCOMPARE(restarts.finish(), 4);
    const Csv restarted(restarts.csv());
    QVERIFY(!restarted.events("settings").isEmpty() && restarted.events("counts went down").size() >= 3);
    for (qsizetype i = 1; i < restarted.rows.size(); ++i)
        QVERIFY2(restarted.rows[i][0] >= restarted.rows[i - 1][0]
                     && restarted.rows[i][1].toDouble() >= restarted.rows[i - 1][1].toDouble(),
                 qPrintable(restarted.rows[i].join(',')));
    // Stamped as they came while standard output stood still: no gap in the reports' times.
    QCOMPARE(stalled.finish(), 0);
    QList<double> times;
    for (const QByteArray& line : json.trimmed().split('\n')) {
        const QJsonObject row = QJsonDocument::fromJson(line).object();
        if (row.value("event").toString().isEmpty())
            times << row.value("elapsed_s").toDouble();
    }
    QVERIFY2(times.size() >= 150, qPrintable(QString::number(times.size())));
    for (qsizetype i = 1; i < times.size(); ++i)
        QVERIFY2(times[i] - times[i - 1] < 1, qPrintable(QStringLiteral("%1 after %2").arg(times[i]).arg(times[i - 1])));
}

void TestLogProgram::jsonLinesAreTheCsvRows_data()
{
    QTest::addColumn<EmulatorSettings>("settings");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QStringList>("events"); // the run has at least these
    const QStringList all{"started", "counts went down", "unframed", "device lost", "stopped"};
    // Noise ahead of every third report, new periods or wraps every few reports, and the
    // line hung up after 20.
    for (const auto overflow : {emulator::CountOverflow::RestartPeriod, emulator::CountOverflow::Wrap}) {
        EmulatorSettings settings = fastUnit(1e-6, overflow);
        settings.faults.reportFaults = {emulator::ReportFault::Garbage, emulator::ReportFault::Stray};
        settings.faults.faultEvery = 3;
        settings.faults.hangUpAfter = 20;
        const bool wrap = overflow == emulator::CountOverflow::Wrap;
        QTest::newRow(wrap ? "wrap, noise, hang-up" : "restart, noise, hang-up")
            << settings << QStringList{"--counters", wrap ? "wrap" : "restart"} << 3 << all;
    }
    // Every frame lost: no BER, no PER, no run BER, but a BER with loss.
    EmulatorSettings outage = fastUnit(0);
    outage.conditions.outages = {{0, 3600}};
    QTest::newRow("no frame received") << outage << QStringList{"--reports", "5"} << 0
                                       << QStringList{"started", "stopped"};
    EmulatorSettings silent = fastUnit(0);
    silent.faults.hangUpAfter = 0;
    QTest::newRow("hang-up before any report")
        << silent << QStringList{} << 3 << QStringList{"started", "device lost", "stopped"};
}

void TestLogProgram::jsonLinesAreTheCsvRows()
{
    QFETCH(EmulatorSettings, settings);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QStringList, events);
    Rig rig(settings);
    rig.start(options + QStringList{"--jsonl", "--quiet"});
    QCOMPARE(rig.finish(), status);
    const Csv csv(rig.csv());
    QVERIFY(csv.whole);
    QByteArray out = rig.log.readAllStandardOutput();
    QVERIFY(out.endsWith('\n'));
    out.chop(1);
    const QList<QByteArray> lines = out.split('\n');
    QCOMPARE(lines.size(), csv.rows.size());
    for (const QString& event : events)
        QVERIFY2(!csv.events(qPrintable(event)).isEmpty(), qPrintable(event));

    // An empty cell is null, a number a number of the same value, a text a string; the event
    // and its detail are strings even when empty.
    const QRegularExpression textColumn("^(time|event|detail|.*_text)$");
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(lines[i], &error);
        QVERIFY2(error.error == QJsonParseError::NoError && document.isObject(),
                 qPrintable(error.errorString() + ": " + lines[i]));
        const QJsonObject object = document.object();
        const QStringList& row = csv.rows[i];
        const bool stopped = csv.at(row, "event") == "stopped";
        QStringList keys = object.keys();
        QStringList columns = csv.header;
        if (stopped)
            columns << "error_performance";
        keys.sort();
        columns.sort();
        QCOMPARE(keys, columns);
        for (qsizetype c = 0; c < csv.header.size(); ++c) {
            const QString& name = csv.header[c];
            const QString& cell = row[c];
            const QJsonValue value = object.value(name);
            const QString where =
                QStringLiteral("line %1, %2: CSV '%3', JSON %4").arg(i + 1).arg(name, cell, jsonText(value));
            bool number = false;
            const double cellNumber = cell.toDouble(&number);
            if (name == "event" || name == "detail" || (!cell.isEmpty() && textColumn.match(name).hasMatch()))
                QVERIFY2(value.isString() && value.toString() == cell, qPrintable(where));
            else if (cell.isEmpty())
                QVERIFY2(value.isNull(), qPrintable(where));
            else
                QVERIFY2(number && value.isDouble() && value.toDouble() == cellNumber, qPrintable(where));
        }
        if (!stopped)
            continue;
        // The error performance, figure by figure as the detail gives it.
        const QJsonValue performance = object.value("error_performance");
        QVERIFY(performance.isObject());
        const QString detail = csv.at(row, "detail");
        QStringList names = performance.toObject().keys();
        QStringList documented{"seconds", "unknown_s", "available_s", "unavailable_s", "es",  "ses",
                               "bbe",     "efs",       "esr",         "sesr",          "bber"};
        names.sort();
        documented.sort();
        QCOMPARE(names, documented);
        for (const QString& name : names) {
            const QString text = QRegularExpression(QStringLiteral(" %1=(\\S+)").arg(name)).match(detail).captured(1);
            const QJsonValue figure = performance.toObject().value(name);
            QVERIFY2(sameFigure(figure, text),
                     qPrintable(QStringLiteral("%1: detail '%2', JSON %3").arg(name, text, jsonText(figure))));
        }
    }
}

void TestLogProgram::everyByteIsARowOrUnframed()
{
    // Reports 20 ms apart, closer than the quiet line; every fifth has the marker in its counts,
    // which leaves it and the next undecided.
    Rig rig(fastUnit(0));
    rig.log.start(BERMON_LOG_PATH, {"--device", rig.line.slavePath(), "--csv", rig.csv(), "--quiet"});
    QVERIFY(QTest::qWaitFor([&] { return QFile(rig.csv()).size() > 300; }, 20000));
    QTest::qWait(200);
    QList<QByteArray> sent;
    for (quint32 i = 1; i <= 100; ++i) {
        sent << emulator::encodeReport({quint16(i * 4), 0, quint16(i % 5 == 0 ? 0xF1 : 0), i});
        rig.line.write(sent.last());
        QTest::qWait(20);
    }
    QTest::qWait(300);
    rig.log.terminate();
    QCOMPARE(rig.finish(), 0);

    const Csv csv(rig.csv());
    QSet<quint64> recorded;
    for (const QStringList& row : csv.reports())
        recorded << csv.at(row, "error_bits").toULongLong();
    QByteArray missing;
    for (const QByteArray& report : sent)
        if (!recorded.contains(*measurement::reportField(report, 7, 4)))
            missing += report;
    QVERIFY(!missing.isEmpty());
    qint64 unframed = 0;
    // Each row's bytes in hex, up to 36 of them: the missing reports' bytes, in order.
    for (const QStringList& row : csv.events("unframed")) {
        const QString detail = csv.at(row, "detail");
        const qint64 bytes = detail.section(' ', 0, 0).toLongLong();
        const QByteArray head = missing.mid(unframed, std::min<qint64>(36, bytes));
        QCOMPARE(detail.section(": ", 1).remove(" ..."), QString::fromLatin1(head.toHex(' ').toUpper()));
        unframed += bytes;
    }
    QCOMPARE(unframed, missing.size());
    QVERIFY(
        csv.at(csv.events("stopped").value(0), "detail").contains(QStringLiteral("unframed_bytes=%1").arg(unframed)));
}

void TestLogProgram::theFirstReportRightAfterOpening()
{
    // Five reports in one write the moment the recorder has the device open: all five are rows,
    // the first included.
    Rig rig(fastUnit(0));
    rig.log.start(BERMON_LOG_PATH, {"--device", rig.line.slavePath(), "--csv", rig.csv(), "--reports", "5", "--quiet"});
    const auto isOpen = [&] {
        const QDir fds(QStringLiteral("/proc/%1/fd").arg(rig.log.processId()));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::System))
            if (fd.symLinkTarget() == rig.line.slavePath())
                return true;
        return false;
    };
    QVERIFY(QTest::qWaitFor(isOpen, 20000));
    QByteArray reports;
    for (quint32 i = 1; i <= 5; ++i)
        reports += emulator::encodeReport({quint16(i * 10), 0, 0, i});
    rig.line.write(reports);
    QCOMPARE(rig.finish(), 0);
    const Csv csv(rig.csv());
    QCOMPARE(csv.reports().size(), 5);
    QCOMPARE(csv.at(csv.reports().first(), "error_bits"), "1");
    QVERIFY(csv.events("unframed").isEmpty());
}

void TestLogProgram::clusteredErrorsWidenTheBound()
{
    // The same mean BER, 1e-5: about 100 bit errors in each report's 1.024e7 bits, either one a
    // frame or in events of 64 bit errors (1.6 events a report). Each report is its own group.
    QString stopped[2];
    for (const int clusterBits : {1, 64}) {
        EmulatorSettings settings = fastUnit(1e-5);
        settings.link.frameLossRate = 0;
        settings.link.clusterBits = clusterBits;
        Rig rig(settings);
        // 40 groups: the clustered run's robust bound lies well below the limit, whatever the draw.
        rig.start({"--max-ber", "2e-5", "--reports", "40", "--quiet"});
        QCOMPARE(rig.finish(), 0);
        const Csv csv(rig.csv());
        stopped[clusterBits > 1] = csv.at(csv.events("stopped").value(0), "detail");
    }
    QVERIFY2(stopped[0].contains("not clustered") && !stopped[0].contains("allowing for clusters"),
             qPrintable(stopped[0]));
    QVERIFY2(stopped[1].contains(", clustered") && stopped[1].contains("allowing for clusters"),
             qPrintable(stopped[1]));
    // Independent errors: about 1 bit per errored frame. Events of 64 in one frame: 64.
    QVERIFY2(stopped[0].contains("1 bit per errored frame"), qPrintable(stopped[0]));
    QVERIFY2(stopped[1].contains("64 bits per errored frame"), qPrintable(stopped[1]));
}

void TestLogProgram::oldFormatFileIsRenamedAndANewOneBegun()
{
    Rig rig(fastUnit(1e-6));
    const QByteArray old = "time,elapsed_s,event,recv_frames,loss_frames,error_frames,error_bits,ber,ber_loss,per,"
                           "per_loss,ber_text,ber_loss_text,per_text,per_loss_text,run_bits,run_error_bits,run_ber,"
                           "run_ber_upper,detail\n2026-01-01T00:00:00.000Z,0.0,started,,,,,,,,,,,,,,,,,\"device x\"\n";
    QFile file(rig.csv());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(old);
    file.close();
    rig.start({"--reports", "2", "--quiet"});
    QCOMPARE(rig.finish(), 0);
    const QString renamed =
        rig.dir.filePath(QStringLiteral("run.%1.csv").arg(QDate::currentDate().toString(Qt::ISODate)));
    QFile kept(renamed);
    QVERIFY2(kept.open(QIODevice::ReadOnly), qPrintable(renamed));
    QCOMPARE(kept.readAll(), old);
    const Csv csv(rig.csv());
    QVERIFY(csv.header.contains("run_lost_frames"));
    QCOMPARE(csv.at(csv.rows.value(1), "event"), "earlier format renamed");
    QVERIFY(rig.errors().contains(renamed));
    QCOMPARE(csv.reports().size(), 2);
}

void TestLogProgram::killNineLeavesWholeRowsAndTheTornLineIsCut()
{
    EmulatorSettings settings = fastUnit(1e-6);
    settings.intervalMs = 1;
    Rig rig(settings);
    rig.start({"--quiet"});
    QTest::qWait(700);
    ::kill(pid_t(rig.log.processId()), SIGKILL);
    rig.finish();
    QVERIFY(Csv(rig.csv()).whole);
    const int rows = Csv(rig.csv()).rows.size();
    QVERIFY(rows > 50);

    QFile file(rig.csv());
    QVERIFY(file.open(QIODevice::Append));
    file.write("2026-01-01T00:00:00.000Z,1.5,,6553"); // a power cut mid-row
    file.close();
    Rig again(fastUnit(1e-6));
    QVERIFY(QFile::copy(rig.csv(), again.csv()));
    again.start({"--reports", "2", "--quiet"});
    QCOMPARE(again.finish(), 0);
    const Csv after(again.csv());
    QVERIFY(after.whole);
    QCOMPARE(after.rows.size(), rows + 5); // started, torn line cut, two reports, stopped
    QCOMPARE(after.at(after.events("torn line cut").first(), "detail"),
             "cut 34 bytes of a torn last line before appending");
}

void TestLogProgram::fileWithAnotherHeaderIsRefused()
{
    Rig rig(fastUnit(0));
    QFile file(rig.csv());
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("time,value\n1,2"); // someone else's file
    file.close();
    rig.log.start(BERMON_LOG_PATH, {"--device", rig.line.slavePath(), "--csv", rig.csv()});
    QCOMPARE(rig.finish(), 2);
    QVERIFY(rig.errors().contains("not this program's header"));
    QFile check(rig.csv());
    check.open(QIODevice::ReadOnly);
    QCOMPARE(check.readAll(), QByteArray("time,value\n1,2"));
}

void TestLogProgram::reconnectsAfterAHangUp()
{
    // The device is reached through a link that is pointed at a new
    // pseudo-terminal once the first hangs up, as a re-plugged adapter returns.
    EmulatorSettings settings = fastUnit(1e-6);
    settings.faults.hangUpAfter = 5;
    Rig rig(settings);
    const QString link = rig.dir.filePath("ttyUNIT");
    QVERIFY(QFile::link(rig.line.slavePath(), link));
    rig.log.start(BERMON_LOG_PATH, {"--device", link, "--csv", rig.csv(), "--reconnect", "--reports", "10", "--quiet"});
    QVERIFY(QTest::qWaitFor([&] { return QFile(rig.csv()).size() > 300; }, 20000));
    QTest::qWait(100);
    rig.unit.start();
    QVERIFY(QTest::qWaitFor([&] { return !rig.unit.isRunning(); }, 20000));

    PseudoTerminal second;
    QFile::remove(link);
    QVERIFY(QFile::link(second.slavePath(), link));
    UnitEmulator unit(second, fastUnit(1e-6));
    QVERIFY(QTest::qWaitFor([&] { return !Csv(rig.csv()).events("device back").isEmpty(); }, 20000));
    unit.start();
    QCOMPARE(rig.finish(), 0);

    const Csv csv(rig.csv());
    QCOMPARE(csv.reports().size(), 10);
    QCOMPARE(csv.events("device lost").size(), 1);
    // The totals carry on: the second unit's first report adds to the first's last.
    const QList<QStringList> reports = csv.reports();
    QVERIFY(csv.at(reports[5], "run_bits").toULongLong() > csv.at(reports[4], "run_bits").toULongLong());
}

void TestLogProgram::badCommandLinesAndMissingDevices_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QStringList pts{"--device", "/dev/ptmx"};
    QTest::newRow("no device") << QStringList{} << 2 << "either --device PATH or --port N";
    QTest::newRow("both") << QStringList{"--device", "/dev/null", "--port", "1"} << 2 << "either --device";
    QTest::newRow("unknown") << QStringList{"--speed", "9600"} << 2 << "Unknown option 'speed'";
    QTest::newRow("baud") << pts + QStringList{"--baud", "4800"} << 2 << "--baud '4800': not a supported baud rate";
    QTest::newRow("port") << QStringList{"--port", "0"} << 2 << "--port '0': out of range (1 to 256)";
    QTest::newRow("counters") << pts + QStringList{"--counters", "free"} << 2 << "--counters 'free'";
    QTest::newRow("confidence 1") << pts + QStringList{"--confidence", "1"} << 2
                                  << "--confidence '1': must be above 0 and below 1";
    QTest::newRow("confidence nan") << pts + QStringList{"--confidence", "nan"} << 2 << "--confidence 'nan'";
    QTest::newRow("max-ber") << pts + QStringList{"--max-ber", "0"} << 2 << "--max-ber '0'";
    QTest::newRow("duration") << pts + QStringList{"--duration", "8x"} << 2 << "--duration '8x'";
    QTest::newRow("max-es") << pts + QStringList{"--max-es", "-1"} << 2 << "--max-es '-1'";
    QTest::newRow("max-unavailable") << pts + QStringList{"--max-unavailable", "1500ms"} << 2
                                     << "--max-unavailable '1500ms': not a time in whole seconds";
    QTest::newRow("duration 0") << pts + QStringList{"--duration", "0h"} << 2 << "--duration '0h'";
    QTest::newRow("bits") << pts + QStringList{"--bits", "lots"} << 2 << "--bits 'lots': not a number";
    QTest::newRow("bits auto") << pts + QStringList{"--bits", "auto"} << 2 << "--bits 'auto': needs --max-ber";
    QTest::newRow("reports") << pts + QStringList{"--reports", "-1"} << 2 << "--reports '-1'";
    QTest::newRow("twice") << pts + QStringList{"--reports", "1", "--reports", "2"} << 2
                           << "--reports given more than once";
    QTest::newRow("stray") << pts + QStringList{"extra"} << 2 << "unexpected argument 'extra'";
    QTest::newRow("csv dir") << pts + QStringList{"--csv", "/"} << 2 << "--csv '/':";
    QTest::newRow("prom name") << pts + QStringList{"--prom-file", "/tmp/unit.txt"} << 2
                               << "--prom-file '/tmp/unit.txt': the node exporter reads only files named NAME.prom";
    QTest::newRow("prom dir") << pts + QStringList{"--prom-file", "/no-such-dir/unit.prom"} << 2
                              << "--prom-file '/no-such-dir/unit.prom':";
    QTest::newRow("unit") << pts + QStringList{"--unit", " "} << 2 << "--unit ' ': empty name";
    QTest::newRow("missing") << QStringList{"--device", "/dev/no-such-unit"} << 3 << "cannot open /dev/no-such-unit";
    QTest::newRow("directory") << QStringList{"--device", QDir::tempPath()} << 3 << "Is a directory";
}

void TestLogProgram::badCommandLinesAndMissingDevices()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, message);
    QProcess log;
    log.start(BERMON_LOG_PATH, arguments);
    QVERIFY(log.waitForFinished(30000));
    QCOMPARE(log.exitCode(), status);
    const QString error = QString::fromLocal8Bit(log.readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
}

QTEST_GUILESS_MAIN(TestLogProgram)
#include "test_log_program.moc"
