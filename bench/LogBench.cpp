#include "LogBench.h"

#include "ReportWriter.h"

#include "emulator/PseudoTerminal.h"
#include "measurement/CounterReport.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

#include <unistd.h>

namespace bench {

namespace {

// Whether report i of the numbered reports holds the marker in its counts.
// Back to back with the next report, such bytes also read as stray bytes, a
// report starting at the inner marker, and the next report's tail: the
// framer cannot tell which, and by its rule shows neither report.
bool markerInCounts(quint32 i)
{
    return (i & 0xFF) == measurement::kReportMarker || ((i >> 8) & 0xFF) == measurement::kReportMarker;
}

bool ambiguous(quint32 i)
{
    return markerInCounts(i) || markerInCounts(i - 1);
}

struct Missed
{
    qsizetype plain = 0;  // reports that any reading of the bytes makes whole
    qsizetype marked = 0; // reports with the marker in their counts, and the one after each
};

// The numbered reports that have no row in the recording.
Missed missedReports(const QString& csvPath)
{
    QFile file(csvPath);
    file.open(QIODevice::ReadOnly);
    std::vector<bool> recorded(kNumberedReports + 1);
    // A report row has an empty event, the third field; report i counts i bit errors.
    for (const QByteArray& row : file.readAll().split('\n')) {
        const QList<QByteArray> fields = row.split(',');
        const quint32 i = fields.size() > 6 && fields[2].isEmpty() ? fields[6].toUInt() : 0;
        if (i >= 1 && i <= quint32(kNumberedReports))
            recorded[i] = true;
    }
    Missed missed;
    for (quint32 i = 1; i <= quint32(kNumberedReports); ++i) {
        if (!recorded[i])
            ++(ambiguous(i) ? missed.marked : missed.plain);
    }
    return missed;
}

struct UnitRun
{
    double cpuSeconds = 0;
    double peakMiB = 0;
    Missed missed;
};

// `units` recorders, each on a line of its own that carries the numbered reports.
std::vector<UnitRun> record(const QString& logPath, int units)
{
    QTemporaryDir dir;
    std::vector<std::unique_ptr<emulator::PseudoTerminal>> lines;
    std::vector<std::unique_ptr<QProcess>> logs;
    for (int i = 0; i < units; ++i) {
        lines.push_back(std::make_unique<emulator::PseudoTerminal>());
        logs.push_back(std::make_unique<QProcess>());
        logs.back()->start(logPath, {"--device", lines.back()->slavePath(), "--baud", "115200", "--quiet", "--csv",
                                     dir.filePath(QString::number(i))});
    }
    // A recorder that never starts shows up as reports not recorded.
    for (int i = 0; i < units; ++i)
        (void)QTest::qWaitFor([&] { return QFile(dir.filePath(QString::number(i))).size() > 300; }, 10000);
    QTest::qWait(200); // the ports opened and quiet
    std::vector<double> cpuAtStart;
    for (const auto& log : logs)
        cpuAtStart.push_back(scheduledSecondsOfProcess(log->processId()));

    std::vector<std::thread> writers;
    std::vector<std::vector<std::atomic<double>>> writtenAt;
    writtenAt.reserve(size_t(units));
    for (int i = 0; i < units; ++i) {
        writtenAt.emplace_back(kNumberedReports + 1);
        writers.emplace_back([&, i] { writeNumberedReports(*lines[size_t(i)], writtenAt[size_t(i)]); });
    }
    for (std::thread& writer : writers)
        writer.join();
    QTest::qWait(500); // the last reports settled by the quiet line

    std::vector<UnitRun> runs(static_cast<size_t>(units));
    for (int i = 0; i < units; ++i) {
        QProcess& log = *logs[size_t(i)];
        runs[size_t(i)].cpuSeconds = scheduledSecondsOfProcess(log.processId()) - cpuAtStart[size_t(i)];
        runs[size_t(i)].peakMiB = peakResidentKiB(QString::number(log.processId())) / 1024;
        log.terminate();
    }
    for (int i = 0; i < units; ++i) {
        logs[size_t(i)]->waitForFinished(10000);
        runs[size_t(i)].missed = missedReports(dir.filePath(QString::number(i)));
    }
    return runs;
}

QString microseconds(double seconds)
{
    return QString::number(seconds * 1e6, 'f', 1) + QStringLiteral(" us");
}

Figure missedFigure(const QString& who, qsizetype missed, int sent)
{
    return {QStringLiteral("%1: whole reports not recorded (of %2)").arg(who).arg(sent), QString::number(missed), "0",
            missed == 0, Figure::Correctness};
}

// Counted apart: what the framer does with them is its own rule, the same for the window.
Figure markedFigure(const QString& who, qsizetype missed)
{
    return {QStringLiteral("%1: reports left ambiguous by a marker in the counts, back to back, not framed").arg(who),
            QString::number(missed), "(the framer's rule)", true};
}

} // namespace

namespace {

// The bare reader on a line of its own while the numbered reports go by, its
// CPU counted as the recorder's is: the whole process, over the same span.
double floorCpuSeconds(const QString& floorPath)
{
    emulator::PseudoTerminal line;
    QProcess reader;
    reader.start(floorPath, {line.slavePath()});
    (void)reader.waitForReadyRead(10000); // "ready": the line is open
    QTest::qWait(200);
    const double before = scheduledSecondsOfProcess(reader.processId());
    std::vector<std::atomic<double>> writtenAt(kNumberedReports + 1);
    writeNumberedReports(line, writtenAt);
    QTest::qWait(500);
    const double cpu = scheduledSecondsOfProcess(reader.processId()) - before;
    reader.terminate();
    reader.waitForFinished(10000);
    return cpu;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

std::vector<Figure> benchLogOneUnit(const QString& logPath, const QString& floorPath)
{
    // The recorder and the bare reader take turns, so that a load on the
    // machine weighs on both alike; the ratio is taken within each turn.
    constexpr int kRounds = 3;
    std::vector<double> logCpu, floorCpu, ratios;
    double peakMiB = 0;
    Missed missed;
    for (int round = 0; round < kRounds; ++round) {
        floorCpu.push_back(floorCpuSeconds(floorPath) / kNumberedReports);
        const UnitRun run = record(logPath, 1).front();
        logCpu.push_back(run.cpuSeconds / kNumberedReports);
        ratios.push_back(logCpu.back() / floorCpu.back());
        peakMiB = std::max(peakMiB, run.peakMiB);
        missed.plain = std::max(missed.plain, run.missed.plain);
        missed.marked = std::max(missed.marked, run.missed.marked);
    }
    const double ratio = median(ratios);
    return {
        {QStringLiteral("bermon-log CPU per report at 960 reports/s, its writing thread counted (median of %1, taking "
                        "turns with the floor)")
             .arg(kRounds),
         QStringLiteral("%1 (%2 x floor)").arg(microseconds(median(logCpu))).arg(ratio, 0, 'f', 2),
         "<= 3 x floor", ratio <= 3},
        {QStringLiteral("Floor beside it: bare poll/read process on the same line, CPU per report (median of %1)")
             .arg(kRounds),
         microseconds(median(floorCpu)), "(reference)", true},
        {QStringLiteral("bermon-log peak memory at 960 reports/s"), QString::number(peakMiB, 'f', 1) + " MiB",
         "< 40 MiB", peakMiB < 40},
        missedFigure(QStringLiteral("bermon-log"), missed.plain, kNumberedReports),
        markedFigure(QStringLiteral("bermon-log"), missed.marked),
    };
}

std::vector<Figure> benchLogSixteenUnits(const QString& logPath)
{
    constexpr int kUnits = 16;
    const std::vector<UnitRun> runs = record(logPath, kUnits);
    double cpu = 0;
    double peak = 0;
    Missed missed;
    for (const UnitRun& run : runs) {
        cpu = std::max(cpu, run.cpuSeconds);
        peak = std::max(peak, run.peakMiB);
        missed.plain += run.missed.plain;
        missed.marked += run.missed.marked;
    }
    const double seconds = kNumberedReports / 960.0;
    return {
        {QStringLiteral("16 recorders at 960 reports/s each: CPU share of the busiest unit"),
         QString::number(100 * cpu / seconds, 'f', 1) + " %", "< 10 %", cpu / seconds < 0.1},
        {QStringLiteral("16 recorders: peak memory of the largest unit"), QString::number(peak, 'f', 1) + " MiB",
         "< 40 MiB", peak < 40},
        missedFigure(QStringLiteral("16 recorders"), missed.plain, kUnits * kNumberedReports),
        markedFigure(QStringLiteral("16 recorders"), missed.marked),
    };
}

namespace {

// Runs bermon-log on a line of its own, recording into `csv`, while `write`
// sends on that line; returns the recorder's CPU seconds meanwhile.
double recordWhile(const QString& logPath, const QString& csv,
                   const std::function<void(emulator::PseudoTerminal&)>& write)
{
    emulator::PseudoTerminal line;
    QProcess log;
    log.start(logPath, {"--device", line.slavePath(), "--baud", "115200", "--quiet", "--csv", csv});
    (void)QTest::qWaitFor([&] { return QFile(csv).size() > 300; }, 10000);
    QTest::qWait(200);
    const double before = cpuSecondsOfProcess(log.processId());
    write(line);
    QTest::qWait(500);
    const double cpu = cpuSecondsOfProcess(log.processId()) - before;
    log.terminate();
    log.waitForFinished(10000);
    return cpu;
}

// CPU seconds per report of one recorder run on the link stream.
double linkStreamCpuPerReport(const QString& logPath, double perSecond, int reports)
{
    QTemporaryDir dir;
    const auto write = [&](emulator::PseudoTerminal& line) { writeLinkReports(line, perSecond, reports); };
    return recordWhile(logPath, dir.filePath(QStringLiteral("run.csv")), write) / reports;
}

QString runsText(const std::vector<double>& runs)
{
    const auto [low, high] = std::minmax_element(runs.begin(), runs.end());
    return QStringLiteral("%1 (%2 to %3)").arg(microseconds(median(runs)), microseconds(*low), microseconds(*high));
}

} // namespace

std::vector<Figure> benchLogErrorPerformance(const QString& logPath, const QString& beforePath)
{
    constexpr int kRuns = 3;
    struct Rate
    {
        double perSecond;
        int reports;
    };
    std::vector<Figure> figures;
    for (const Rate rate : {Rate{960, kNumberedReports}, Rate{10, 300}}) {
        std::vector<double> after, before;
        for (int i = 0; i < kRuns; ++i) {
            after.push_back(linkStreamCpuPerReport(logPath, rate.perSecond, rate.reports));
            if (!beforePath.isEmpty())
                before.push_back(linkStreamCpuPerReport(beforePath, rate.perSecond, rate.reports));
        }
        const QString name = QStringLiteral("bermon-log CPU per report, link with outage and restarts, %1 reports/s")
                                 .arg(rate.perSecond);
        if (before.empty()) {
            figures.push_back({name, runsText(after), "(see with an earlier build)", true});
            continue;
        }
        const auto [low, high] = std::minmax_element(before.begin(), before.end());
        const double limit = median(before) + (*high - *low) + 0.1 * median(before);
        figures.push_back({name + QStringLiteral(", earlier build"), runsText(before), "(reference)", true});
        figures.push_back({name, runsText(after), "<= " + microseconds(limit), median(after) <= limit});
    }
    return figures;
}

namespace {

struct Accounted
{
    int recorded = 0;         // report rows
    qint64 unframedBytes = 0; // counted in unframed rows
    double cpuPerReport = 0;
};

Accounted recordNumbered(const QString& logPath, double perSecond, int reports)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath(QStringLiteral("run.csv"));
    const auto write = [&](emulator::PseudoTerminal& line) {
        std::vector<std::atomic<double>> writtenAt(size_t(reports) + 1);
        writeNumberedReports(line, writtenAt, Writes::WholeReports, perSecond, reports);
    };
    Accounted accounted;
    accounted.cpuPerReport = recordWhile(logPath, csv, write) / reports;
    QFile file(csv);
    file.open(QIODevice::ReadOnly);
    for (const QByteArray& row : file.readAll().split('\n')) {
        const QList<QByteArray> fields = row.split(',');
        if (fields.size() > 6 && fields[2].isEmpty())
            ++accounted.recorded;
        else if (fields.size() > 2 && fields[2] == "unframed")
            accounted.unframedBytes +=
                fields.last().mid(fields.last().startsWith('"') ? 1 : 0).split(' ').value(0).toLongLong();
    }
    return accounted;
}

QString accountedText(const Accounted& a, int reports)
{
    const qint64 neither = reports - a.recorded - a.unframedBytes / 12;
    return QStringLiteral("%1 rows, %2 in unframed rows, %3 neither")
        .arg(a.recorded)
        .arg(a.unframedBytes / 12)
        .arg(neither);
}

} // namespace

std::vector<Figure> benchLogUnframed(const QString& logPath, const QString& beforePath)
{
    struct Rate
    {
        double perSecond;
        int reports;
    };
    std::vector<Figure> figures;
    for (const Rate rate : {Rate{960, kNumberedReports}, Rate{200, 4000}, Rate{50, 1000}, Rate{10, 300}}) {
        const QString name =
            QStringLiteral("bermon-log, %1 numbered reports at %2/s").arg(rate.reports).arg(rate.perSecond);
        if (!beforePath.isEmpty()) {
            const Accounted before = recordNumbered(beforePath, rate.perSecond, rate.reports);
            figures.push_back(
                {name + QStringLiteral(", earlier build"), accountedText(before, rate.reports), "(reference)", true});
            if (rate.perSecond == 960)
                figures.push_back({QStringLiteral("bermon-log CPU per report at 960/s, earlier build"),
                                   microseconds(before.cpuPerReport), "(reference)", true});
        }
        const Accounted after = recordNumbered(logPath, rate.perSecond, rate.reports);
        const bool whole = after.recorded + after.unframedBytes / 12 == rate.reports && after.unframedBytes % 12 == 0;
        figures.push_back({name, accountedText(after, rate.reports), "0 neither", whole, Figure::Correctness});
        if (rate.perSecond == 960)
            figures.push_back({QStringLiteral("bermon-log CPU per report at 960/s"), microseconds(after.cpuPerReport),
                               "< 100 us", after.cpuPerReport < 100e-6});
    }
    return figures;
}

} // namespace bench
