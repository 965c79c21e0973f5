#include "PlotBench.h"

#include "Record.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimeZone>

#include <random>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace bench {

namespace {

// `rows` reports `stepMs` apart: a link near 1e-7 with bursts, lost frames,
// rates of 0 now and then, and a new test period when the counts fill.
bool writeRecording(const QString& path, int rows, int stepMs)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 random(1);
    std::poisson_distribution<int> errors(2.0);
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc());
    QByteArray bytes = csvHeader();
    Record started;
    started.time = start;
    started.event = QStringLiteral("started");
    started.detail = QStringLiteral("/dev/ttyUSB0, 9600 baud, counters restart, confidence 0.95");
    bytes += csvLine(started);
    measurement::ReportCounts counts;
    quint64 runBits = 0, runErrors = 0;
    const quint64 frames = quint64(stepMs) * 400 / 864; // about 460 frames a second
    for (int i = 0; i < rows; ++i) {
        Record record;
        record.time = start.addMSecs(qint64(i) * stepMs);
        record.elapsedSeconds = i * stepMs / 1000.0;
        counts.recvFrame += frames;
        if (counts.recvFrame > 65535)
            counts = {};
        counts.errorBit += quint64(errors(random) * (i % 5000 < 50 ? 20 : 1));
        counts.errorFrame = std::min(counts.errorBit, counts.recvFrame);
        counts.lossFrame += i % 7 == 0;
        describeReport(counts, record);
        runBits += frames * 512;
        runErrors += counts.errorBit;
        record.runBits = runBits;
        record.runErrorBits = runErrors;
        record.runBerUpper = double(runErrors + 3) / double(runBits);
        bytes += csvLine(record);
        if (bytes.size() > (1 << 24)) {
            if (file.write(bytes) != bytes.size())
                return false;
            bytes.clear();
        }
    }
    Record stopped;
    stopped.time = start.addMSecs(qint64(rows) * stepMs);
    stopped.elapsedSeconds = rows * stepMs / 1000.0;
    stopped.event = QStringLiteral("stopped");
    stopped.detail = QStringLiteral("duration reached");
    bytes += csvLine(stopped);
    return file.write(bytes) == bytes.size();
}

struct ChildRun
{
    int status = -1;
    double seconds = 0;
    double peakMiB = 0;
};

ChildRun runChild(const QStringList& arguments)
{
    std::vector<QByteArray> texts;
    for (const QString& argument : arguments)
        texts.push_back(argument.toLocal8Bit());
    std::vector<char*> argv;
    for (QByteArray& text : texts)
        argv.push_back(text.data());
    argv.push_back(nullptr);
    ChildRun run;
    const double begin = monotonicSeconds();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        return run;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return run;
    run.seconds = monotonicSeconds() - begin;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakMiB = double(usage.ru_maxrss) / 1024; // kB on Linux
    return run;
}

} // namespace

std::vector<Figure> benchPlot(const QString& plotPath)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("day.csv");
    const bool written = writeRecording(csv, 100000, 864);
    const ChildRun png = written ? runChild({plotPath, csv, "-o", dir.filePath("day.png")}) : ChildRun{};
    const ChildRun svg = written ? runChild({plotPath, csv, "-o", dir.filePath("day.svg")}) : ChildRun{};
    const auto seconds = [](double s) { return QString::number(s, 'f', 2) + " s"; };
    const auto mib = [](double m) { return QString::number(m, 'f', 0) + " MiB"; };
    return {
        {QStringLiteral("bermon-plot, 100,000-row recording to PNG: time"), seconds(png.seconds), "< 3 s",
         png.status == 0 && png.seconds < 3},
        {QStringLiteral("bermon-plot, 100,000-row recording to PNG: peak memory"), mib(png.peakMiB), "< 150 MiB",
         png.status == 0 && png.peakMiB < 150},
        {QStringLiteral("bermon-plot, 100,000-row recording to SVG: time"), seconds(svg.seconds), "< 3 s",
         svg.status == 0 && svg.seconds < 3},
        {QStringLiteral("bermon-plot, 100,000-row recording to SVG: peak memory"), mib(svg.peakMiB), "< 150 MiB",
         svg.status == 0 && svg.peakMiB < 150},
        {QStringLiteral("bermon-plot draws the 100,000-row recording"),
         png.status == 0 && svg.status == 0 ? "yes" : "no", "yes", png.status == 0 && svg.status == 0,
         Figure::Correctness},
    };
}

std::vector<Figure> benchDayTools(const QString& plotPath, const QString& reportPath)
{
    // A day at 10 reports a second.
    QTemporaryDir dir;
    const QString csv = dir.filePath("day.csv");
    const bool written = writeRecording(csv, 864000, 100);
    const double mb = double(QFileInfo(csv).size()) / 1e6;
    const ChildRun report =
        written ? runChild({reportPath, csv, "-o", dir.filePath("day.pdf"), "--max-ber", "1e-6"}) : ChildRun{};
    const ChildRun png = written ? runChild({plotPath, csv, "-o", dir.filePath("day.png")}) : ChildRun{};
    const auto seconds = [](double s) { return QString::number(s, 'f', 2) + " s"; };
    const auto mib = [](double m) { return QString::number(m, 'f', 0) + " MiB"; };
    const QString day = QStringLiteral("864,000-row day (%1 MB)").arg(mb, 0, 'f', 0);
    return {
        {QStringLiteral("bermon-report, %1 to PDF: time").arg(day), seconds(report.seconds), "< 10 s",
         report.status == 0 && report.seconds < 10},
        {QStringLiteral("bermon-report, %1 to PDF: peak memory").arg(day), mib(report.peakMiB), "< 300 MiB",
         report.status == 0 && report.peakMiB < 300},
        {QStringLiteral("bermon-plot, %1 to PNG: time").arg(day), seconds(png.seconds), "< 10 s",
         png.status == 0 && png.seconds < 10},
        {QStringLiteral("bermon-plot, %1 to PNG: peak memory").arg(day), mib(png.peakMiB), "< 300 MiB",
         png.status == 0 && png.peakMiB < 300},
        {QStringLiteral("bermon-report and bermon-plot take the 864,000-row day"),
         report.status == 0 && png.status == 0 ? "yes" : "no", "yes", report.status == 0 && png.status == 0,
         Figure::Correctness},
    };
}

} // namespace bench
