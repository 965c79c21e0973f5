#include "Benches.h"
#include "XServer.h"

#include "emulator/CounterReportEncoding.h"
#include "emulator/PseudoTerminal.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QThread>

#include <memory>
#include <thread>

namespace bench {

namespace {

constexpr int kRuns = 3;
constexpr double kReportsPerSecond = 10;

// Seconds each run lasts: 60, or BERMON_BENCH_SECONDS for a quick look.
int runSeconds()
{
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("BERMON_BENCH_SECONDS", &ok);
    return ok && seconds > 0 ? seconds : 60;
}

// One process reading the stream on a pseudo-terminal of its own.
struct Reader
{
    Reader(QString name, QString program, QStringList arguments)
        : name(std::move(name))
        , program(std::move(program))
        , arguments(std::move(arguments))
    {
    }

    QString name;
    QString program;
    QStringList arguments; // "%1" stands for the device
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    bool stdinIsDevice = false;
    std::vector<double> cpuPerReport;

    std::unique_ptr<emulator::PseudoTerminal> line;
    std::unique_ptr<QProcess> process;
    double cpuAtStart = 0;

    void start()
    {
        line = std::make_unique<emulator::PseudoTerminal>();
        process = std::make_unique<QProcess>();
        process->setProcessEnvironment(environment);
        process->setStandardOutputFile(QProcess::nullDevice());
        process->setStandardErrorFile(QProcess::nullDevice());
        if (stdinIsDevice)
            process->setStandardInputFile(line->slavePath());
        QStringList args;
        for (const QString& argument : arguments)
            args << (argument == QLatin1String("%1") ? line->slavePath() : argument);
        process->start(program, args);
        process->waitForStarted();
    }
    void beginCounting() { cpuAtStart = scheduledSecondsOfProcess(process->processId()); }
    void endCounting(int reports)
    {
        cpuPerReport.push_back((scheduledSecondsOfProcess(process->processId()) - cpuAtStart) / reports);
        process->terminate();
        if (!process->waitForFinished(3000))
            process->kill();
        process->waitForFinished();
    }
};

QString perReport(double seconds)
{
    return QString::number(seconds * 1e6, 'f', 1) + QStringLiteral(" us");
}

} // namespace

std::vector<Figure> benchPaintCost(const QString& probePath, const QString& toolkitFloorPath)
{
    const int seconds = runSeconds();
    XServer xServer;

    // Per platform: the monitor, then a bare Qt window that shows each read,
    // the least any Qt widget window spends on a repaint there.
    QStringList platforms{QStringLiteral("offscreen")};
    if (!xServer.display().isEmpty())
        platforms << QStringLiteral("xcb");
    std::vector<Reader> readers;
    for (const QString& platform : platforms) {
        const QString where =
            platform == QLatin1String("xcb") ? QStringLiteral("X server (Xvfb)") : QStringLiteral("offscreen");
        for (const bool monitor : {true, false}) {
            Reader reader{monitor ? where : QStringLiteral("bare Qt window (one label), %1").arg(where),
                          monitor ? probePath : toolkitFloorPath,
                          monitor ? QStringList{QStringLiteral("--device"), QStringLiteral("%1")}
                                  : QStringList{QStringLiteral("%1")}};
            reader.environment.insert(QStringLiteral("QT_QPA_PLATFORM"), platform);
            if (platform == QLatin1String("xcb"))
                reader.environment.insert(QStringLiteral("DISPLAY"), xServer.display());
            readers.push_back(std::move(reader));
        }
    }
    Reader floor{QStringLiteral("bare reader (cat)"), QStringLiteral("cat"), {}};
    floor.stdinIsDevice = true;
    readers.push_back(std::move(floor));

    // The readers take the same stream at once; at 10 reports a second they
    // leave the machine all but idle, so they do not disturb each other.
    for (int run = 0; run < kRuns; ++run) {
        for (Reader& reader : readers)
            reader.start();
        QThread::sleep(2); // past start-up
        for (Reader& reader : readers)
            reader.beginCounting();
        const int reports = int(seconds * kReportsPerSecond);
        const double start = monotonicSeconds();
        for (int i = 1; i <= reports; ++i) {
            const double due = start + i / kReportsPerSecond;
            const timespec until{time_t(due), long((due - time_t(due)) * 1e9)};
            clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
            const QByteArray report =
                emulator::encodeReport({quint16(i), quint16(i % 7), quint16(i % 5), quint32(i) * 3}, quint8(i));
            for (Reader& reader : readers)
                reader.line->write(report);
        }
        QThread::msleep(200);
        for (Reader& reader : readers)
            reader.endCounting(reports);
    }

    // The readers are in pairs per platform, the monitor and then its toolkit
    // floor, with cat last.
    auto median = [](Reader& reader) { return quantile(reader.cpuPerReport, 0.5); };
    const double floorCpu = median(readers.back());
    std::vector<Figure> figures;
    for (size_t i = 0; i < readers.size(); ++i) {
        Reader& reader = readers[i];
        const double cpu = median(reader);
        const QString name = QStringLiteral("10 reports/s, %1: CPU per report (median of %2 x %3 s)")
                                 .arg(reader.name)
                                 .arg(kRuns)
                                 .arg(seconds);
        const QString timesFloor = QStringLiteral("%1 x floor").arg(cpu / floorCpu, 0, 'f', 0);
        if (i + 1 == readers.size()) {
            figures.push_back({name, perReport(cpu), QStringLiteral("(floor)"), true});
        } else if (i % 2 == 1) {
            figures.push_back({name, QStringLiteral("%1 (%2)").arg(perReport(cpu), timesFloor),
                               QStringLiteral("(toolkit floor)"), true});
        } else {
            const double toolkitFloor = median(readers[i + 1]);
            figures.push_back({name,
                               QStringLiteral("%1 (%2, %3 x toolkit floor)")
                                   .arg(perReport(cpu), timesFloor)
                                   .arg(cpu / toolkitFloor, 0, 'f', 2),
                               QStringLiteral("<= 250 us"), cpu <= 250e-6});
        }
    }
    return figures;
}

} // namespace bench
