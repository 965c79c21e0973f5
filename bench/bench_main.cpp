// Runs every benchmark and prints one table, with a description of the
// machine, in Markdown so that it can go into BENCHMARKS.md as it stands.
#include "Benches.h"
#include "LogBench.h"
#include "PlotBench.h"

#include <QApplication>
#include <QDate>
#include <QFile>
#include <QSysInfo>
#include <QThread>

#include <cstdio>

namespace {

QString cpuModel()
{
    QFile info(QStringLiteral("/proc/cpuinfo"));
    if (!info.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown CPU");
    for (const QByteArray& line : info.readAll().split('\n')) {
        if (line.startsWith("model name"))
            return QString::fromLatin1(line.mid(line.indexOf(':') + 1).trimmed());
    }
    return QStringLiteral("unknown CPU");
}

QString probe()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bermon-startup-probe");
}

QString bareReader()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bermon-bare-reader");
}

// BERMON_BENCH_LOG names another build of bermon-log for `log` to measure,
// an earlier one for a before and after on the same benchmark.
QString logUnderTest()
{
    const QString other = qEnvironmentVariable("BERMON_BENCH_LOG");
    return other.isEmpty() ? QStringLiteral(BERMON_LOG_PATH) : other;
}

// BERMON_BENCH_PLOT likewise names another build of bermon-plot for `follow`.
QString plotUnderTest()
{
    const QString other = qEnvironmentVariable("BERMON_BENCH_PLOT");
    return other.isEmpty() ? QStringLiteral(BERMON_PLOT_PATH) : other;
}

QString toolkitFloor()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bermon-paint-floor");
}

void print(const QString& text)
{
    std::fputs(qPrintable(text), stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);

    print(QStringLiteral("Measured %1 on %2, %3 cores, %4, Qt %5, %6 (%7 platform).\n\n")
              .arg(QDate::currentDate().toString(Qt::ISODate), cpuModel())
              .arg(QThread::idealThreadCount())
              .arg(QSysInfo::prettyProductName(), QString::fromLatin1(qVersion()), QStringLiteral("g++ " __VERSION__),
                   QGuiApplication::platformName()));
    print(QStringLiteral("| Figure | Measured | Target | Met |\n|---|---|---|---|\n"));
    // An argument picks one benchmark by name, for profiling it alone.
    using Bench = std::vector<bench::Figure> (*)();
    const std::pair<const char*, Bench> benches[] = {
        {"report-path", bench::benchReportPath},
        {"end-to-end", bench::benchEndToEnd},
        {"floor", bench::benchPtyFloor},
        {"idle", bench::benchIdleCpu},
        {"start-up", [] { return bench::benchStartup(probe()); }},
        {"log", [] { return bench::benchLogOneUnit(logUnderTest(), bareReader()); }},
        {"log-16", [] { return bench::benchLogSixteenUnits(BERMON_LOG_PATH); }},
        // BERMON_BENCH_BEFORE_LOG names an earlier build of bermon-log to compare with.
        {"log-ep",
         [] {
             return bench::benchLogErrorPerformance(BERMON_LOG_PATH, qEnvironmentVariable("BERMON_BENCH_BEFORE_LOG"));
         }},
        {"widths", bench::benchErrorPerformanceWidths},
        {"bound", bench::benchUpperBound},
        {"log-unframed",
         [] { return bench::benchLogUnframed(BERMON_LOG_PATH, qEnvironmentVariable("BERMON_BENCH_BEFORE_LOG")); }},
        {"paint", [] { return bench::benchPaintCost(probe(), toolkitFloor()); }},
        {"plot", [] { return bench::benchPlot(BERMON_PLOT_PATH); }},
        {"day", [] { return bench::benchDayTools(BERMON_PLOT_PATH, BERMON_REPORT_PATH); }},
        {"live-frames", bench::benchLiveFrames},
        {"follow", [] { return bench::benchFollow(plotUnderTest(), BERMON_LOG_PATH, BERMON_FOLLOW_FLOOR_PATH); }},
    };
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    bool correct = true;
    auto report = [&](const std::vector<bench::Figure>& figures) {
        for (const bench::Figure& figure : figures) {
            correct = correct && (figure.met || figure.kind != bench::Figure::Correctness);
            print(QStringLiteral("| %1 | %2 | %3 | %4 |\n")
                      .arg(figure.name, figure.value, figure.target, figure.met ? "yes" : "**no**"));
        }
    };
    for (const auto& [name, run] : benches) {
        if (only.isEmpty() || only == QLatin1String(name))
            report(run());
    }
    // Speed depends on the machine's state; a wrong result never does.
    return correct ? 0 : 1;
}
