#include "PlotBench.h"

#include "FollowWindow.h"
#include "recording/RecordingWriter.h"
#include "XServer.h"

#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>
#include <QTemporaryDir>
#include <QTimeZone>

#include <QEventLoop>
#include <QThread>
#include <QTimer>

#include <random>

#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char** environ;

namespace bench {

namespace {

// What a synthetic recording holds besides its reports: a new test period
// every `restartMs` (the unit's counts start again from 0, and the recorder
// writes `counts went down`), and every `outageEveryS` an outage of 12 s whose
// frames are all lost, after a burst of errored seconds.
struct Happenings
{
    int restartMs = 0;    // 0: the counts restart only when they fill
    int outageEveryS = 0; // 0: none
};

// `rows` reports `stepMs` apart: a link near 1e-7 with bursts, lost frames,
// rates of 0 now and then, and a new test period when the counts fill.
bool writeRecording(const QString& path, int rows, int stepMs, const Happenings& happenings = {})
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    std::mt19937 random(1);
    std::poisson_distribution<int> errors(2.0);
    const QDateTime start(QDate(2026, 1, 1), QTime(0, 0), QTimeZone::utc());
    QByteArray bytes = csvHeader();
    WrittenRow started;
    started.time = start;
    started.event = QStringLiteral("started");
    started.detail = QStringLiteral("/dev/ttyUSB0, 9600 baud, counters restart, confidence 0.95");
    bytes += csvLine(started);
    measurement::ReportCounts counts;
    quint64 runBits = 0, runErrors = 0;
    const quint64 frames = quint64(stepMs) * 400 / 864; // about 460 frames a second
    for (int i = 0; i < rows; ++i) {
        const qint64 ms = qint64(i) * stepMs;
        WrittenRow record;
        record.time = start.addMSecs(ms);
        record.elapsedSeconds = double(ms) / 1000;
        const bool restart = happenings.restartMs > 0 && i > 0
                             && ms / happenings.restartMs != (ms - stepMs) / happenings.restartMs;
        if (restart) {
            counts = {};
            WrittenRow wentDown = record;
            wentDown.event = QStringLiteral("counts went down");
            wentDown.detail = QStringLiteral("recv_frames went down");
            bytes += csvLine(wentDown);
        }
        const qint64 intoOutage = happenings.outageEveryS > 0 ? ms % (qint64(happenings.outageEveryS) * 1000) : -1;
        const bool outage = intoOutage >= 60000 && intoOutage < 72000;
        const bool burst = intoOutage >= 50000 && intoOutage < 55000;
        if (outage) {
            counts.lossFrame += frames;
        } else {
            counts.recvFrame += frames;
            if (counts.recvFrame > 65535)
                counts = {};
            counts.errorBit += quint64(errors(random) * (i % 5000 < 50 || burst ? 20 : 1));
            counts.errorFrame = std::min(counts.errorBit, counts.recvFrame);
            counts.lossFrame += i % 7 == 0;
        }
        describeReport(counts, record);
        runBits += outage ? 0 : frames * 512;
        runErrors += counts.errorBit;
        record.run.bits = runBits;
        record.run.errorBits = runErrors;
        record.run.berUpper = double(runErrors + 3) / double(std::max<quint64>(runBits, 1));
        bytes += csvLine(record);
        if (bytes.size() > (1 << 24)) {
            if (file.write(bytes) != bytes.size())
                return false;
            bytes.clear();
        }
    }
    WrittenRow stopped;
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
    // The peak from the child's own /proc, watched every 2 ms while it runs:
    // the maximum resident set that wait4 gives counts this process's
    // memory too, which a spawned child shares until it has started.
    int status = 0;
    double peakKiB = 0;
    for (;;) {
        const pid_t ended = waitpid(pid, &status, WNOHANG);
        if (ended == pid)
            break;
        if (ended < 0)
            return run;
        peakKiB = std::max(peakKiB, peakResidentKiB(QString::number(pid)));
        QThread::usleep(2000);
    }
    run.seconds = monotonicSeconds() - begin;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.peakMiB = peakKiB / 1024;
    return run;
}

// CPU shares of the following window and of the recorder it follows, over
// `seconds` of the emulated unit reporting every `intervalMs` at `baud`.
struct Following
{
    double windowShare = NAN, recorderShare = NAN, floorShare = NAN, reportsPerSecond = 0;
};

// Runs the event loop for `ms`: the emulated unit transmits from it. (QTest's
// wait sleeps between its turns, which would hold a fast unit back.)
void runEvents(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

qint64 linesIn(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll().count('\n') : 0;
}

Following followRecorder(const QString& plotPath, const QString& logPath, const QString& floorPath,
                         const QString& display, int intervalMs, int baud, double seconds)
{
    Following out;
    QTemporaryDir dir;
    const QString csv = dir.filePath("live.csv");
    emulator::PseudoTerminal line;
    emulator::EmulatorSettings settings;
    settings.intervalMs = intervalMs;
    settings.baudRate = baud;
    settings.link.frameRate = 2e4;
    settings.link.bitErrorRate = 1e-7;
    emulator::UnitEmulator unit(line, settings);
    QProcess log;
    log.start(logPath, {"--device", line.slavePath(), "--baud", QString::number(baud), "--csv", csv, "--quiet"});
    if (!QTest::qWaitFor([&] { return QFile(csv).size() > 100; }, 20000))
        return out;
    unit.start();
    QProcess window;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("DISPLAY", display);
    environment.insert("QT_QPA_PLATFORM", "xcb");
    window.setProcessEnvironment(environment);
    window.start(plotPath, {"--follow", csv});
    // The floor: a bare window following the same file, over the same span.
    QProcess floor;
    floor.setProcessEnvironment(environment);
    floor.start(floorPath, {csv});
    runEvents(3000); // started, and the file so far drawn
    const double windowStart = cpuSecondsOfProcess(window.processId());
    const double floorStart = cpuSecondsOfProcess(floor.processId());
    const double logStart = cpuSecondsOfProcess(log.processId());
    const qint64 rowsStart = linesIn(csv);
    const double wallStart = monotonicSeconds();
    runEvents(int(seconds * 1000));
    const double wall = monotonicSeconds() - wallStart;
    out.windowShare = (cpuSecondsOfProcess(window.processId()) - windowStart) / wall;
    out.recorderShare = (cpuSecondsOfProcess(log.processId()) - logStart) / wall;
    out.floorShare = (cpuSecondsOfProcess(floor.processId()) - floorStart) / wall;
    out.reportsPerSecond = double(linesIn(csv) - rowsStart) / wall;
    window.terminate();
    floor.terminate();
    log.terminate();
    window.waitForFinished();
    floor.waitForFinished();
    log.waitForFinished();
    return out;
}

} // namespace

std::vector<Figure> benchFollow(const QString& plotPath, const QString& logPath, const QString& floorPath)
{
    XServer xServer;
    if (xServer.display().isEmpty())
        return {{QStringLiteral("bermon-plot --follow (needs Xvfb)"), "not run", "(Xvfb)", true}};
    const Following slow = followRecorder(plotPath, logPath, floorPath, xServer.display(), 100, 9600, 30);
    const Following fast = followRecorder(plotPath, logPath, floorPath, xServer.display(), 1, 115200, 20);

    // A day's recording opened: the time to the first frame, here in this
    // process (the window says when it has drawn one); the time until the
    // window as a process of its own has read and drawn the whole day (its CPU
    // time then stands still) and its peak memory.
    QTemporaryDir dir;
    const QString csv = dir.filePath("day.csv");
    double firstFrame = NAN, wholeDay = NAN, peakMiB = NAN;
    if (writeRecording(csv, 864000, 100)) {
        {
            PlotOptions options;
            options.input = csv;
            options.follow = true;
            const double start = monotonicSeconds();
            FollowWindow window(options);
            QObject::connect(&window, &FollowWindow::frameDrawn, [&] {
                if (std::isnan(firstFrame))
                    firstFrame = monotonicSeconds() - start;
            });
            window.show();
            if (!QTest::qWaitFor([&] { return !std::isnan(firstFrame); }, 60000))
                qWarning("the window drew no frame within a minute");
        }
        QProcess window;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("DISPLAY", xServer.display());
        environment.insert("QT_QPA_PLATFORM", "xcb");
        window.setProcessEnvironment(environment);
        const double start = monotonicSeconds();
        window.start(plotPath, {"--follow", csv});
        double cpu = 0, busy = start;
        for (int idle = 0; idle < 10 && monotonicSeconds() - start < 60;) {
            QThread::msleep(50);
            const double now = cpuSecondsOfProcess(window.processId());
            idle = now > cpu + 0.005 ? 0 : idle + 1;
            if (idle == 0)
                busy = monotonicSeconds();
            cpu = std::max(cpu, now);
        }
        wholeDay = busy - start;
        peakMiB = peakResidentKiB(QString::number(window.processId())) / 1024;
        window.terminate();
        window.waitForFinished();
    }
    const auto percent = [](double share) { return QString::number(share * 100, 'f', 2) + " %"; };
    const auto beside = [&](const Following& f) {
        return percent(f.windowShare) + " (recorder " + percent(f.recorderShare) + ", floor " + percent(f.floorShare)
               + ", " + QString::number(f.windowShare / f.floorShare, 'f', 1) + " x floor)";
    };
    return {
        {QStringLiteral("bermon-plot --follow, recorder at %1 reports/s, X server (Xvfb): CPU of the window")
             .arg(slow.reportsPerSecond, 0, 'f', 0),
         beside(slow), "< 1 %",
         slow.windowShare < 0.01},
        {QStringLiteral("bermon-plot --follow, recorder at %1 reports/s, X server (Xvfb): CPU of the window")
             .arg(fast.reportsPerSecond, 0, 'f', 0),
         beside(fast), "< 10 %, at most the recorder's", fast.windowShare < 0.10 && fast.windowShare <= fast.recorderShare},
        {QStringLiteral("bermon-plot --follow, 864,000-row day opened (offscreen): time to the first frame drawn"),
         QString::number(firstFrame, 'f', 2) + " s", "< 3 s", firstFrame < 3},
        {QStringLiteral(
             "bermon-plot --follow, 864,000-row day opened, X server (Xvfb): time to the whole day read and drawn"),
         QString::number(wholeDay, 'f', 2) + " s", "(information)", true},
        {QStringLiteral("bermon-plot --follow, 864,000-row day opened, X server (Xvfb): peak memory"),
         QString::number(peakMiB, 'f', 0) + " MiB", "< 300 MiB", peakMiB < 300},
    };
}

// The live view on a run at 10 reports a second, in this process on the
// offscreen platform: an hour of rows appended a minute at a time, and at 5
// minutes and at the hour 30 frames of a second's rows each. A frame costs the
// process's CPU from the append until the window has drawn it and painted it.
std::vector<Figure> benchLiveFrames()
{
    QTemporaryDir dir;
    const QString whole = dir.filePath("hour.csv"), live = dir.filePath("live.csv");
    QFile source(whole);
    if (!writeRecording(whole, 36000 + 300, 100) || !source.open(QIODevice::ReadOnly))
        return {{QStringLiteral("live view frames"), "not run", "(a recording)", false}};
    QList<QByteArray> lines = source.readAll().split('\n');
    lines.resize(lines.size() - 2); // the run goes on: no `stopped` row
    qsizetype next = 0;
    const auto append = [&](qsizetype rows) {
        QFile file(live);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
            return;
        for (const qsizetype end = std::min(lines.size(), next + rows); next < end; ++next)
            file.write(lines[next] + '\n');
    };
    append(2 + 10); // the header, `started` and a second of reports
    PlotOptions options;
    options.input = live;
    options.follow = true;
    FollowWindow window(options);
    window.setFramePeriod(0);
    // A frame ends 30 ms after it was drawn, with its paint; the event loop waits without polling.
    QEventLoop loop;
    QTimer ended;
    ended.setSingleShot(true);
    QObject::connect(&ended, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&window, &FollowWindow::frameDrawn, [&] { ended.start(30); });
    window.show();
    const auto frame = [&](qsizetype rows) {
        const double cpu = processCpuSeconds();
        append(rows);
        ended.start(10000);
        loop.exec();
        return (processCpuSeconds() - cpu) * 1000;
    };
    const auto secondByFrame = [&] {
        std::vector<double> costs;
        for (int i = 0; i < 30; ++i)
            costs.push_back(frame(10));
        return quantile(costs, 0.5);
    };
    while (next < 3000)
        frame(600);
    const double atFive = secondByFrame();
    double residentAtTen = NAN;
    while (next < 36000) {
        frame(std::min<qsizetype>(600, 36000 - next));
        if (next >= 6000 && std::isnan(residentAtTen))
            residentAtTen = residentKiB("self") / 1024;
    }
    const double residentAtHour = residentKiB("self") / 1024;
    const double atHour = secondByFrame();
    // At a frame a second, 10 ms a frame is 1 % of a core before the X server's share.
    const auto ms = [](double v) { return QString::number(v, 'f', 2) + " ms"; };
    return {
        {QStringLiteral("live view, a frame of a second's 10 rows 5 min into a run (offscreen): CPU"), ms(atFive),
         "< 10 ms", atFive < 10},
        {QStringLiteral("live view, a frame of a second's 10 rows an hour into a run (offscreen): CPU"), ms(atHour),
         "< 10 ms", atHour < 10},
        {QStringLiteral("live view, resident memory after 10 min and after an hour of rows fed fast"),
         QStringLiteral("%1 MiB, %2 MiB").arg(residentAtTen, 0, 'f', 1).arg(residentAtHour, 0, 'f', 1),
         "flat (within 10 %)", residentAtHour <= residentAtTen * 1.1},
    };
}

std::vector<Figure> benchPlot(const QString& plotPath)
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("day.csv");
    const bool written = writeRecording(csv, 100000, 864);
    const ChildRun png = written ? runChild({plotPath, csv, "-o", dir.filePath("day.png")}) : ChildRun{};
    const ChildRun svg = written ? runChild({plotPath, csv, "-o", dir.filePath("day.svg")}) : ChildRun{};
    // 30 s of reports every 3 ms, the counts restarting every 6 ms: 5,000 restarts.
    const QString restarts = dir.filePath("restarts.csv");
    const bool restartsWritten = writeRecording(restarts, 10000, 3, {6, 0});
    const ChildRun busy = restartsWritten ? runChild({plotPath, restarts, "-o", dir.filePath("restarts.png")}) : ChildRun{};
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
        {QStringLiteral("bermon-plot, 30 s recording with 5,000 restarts to PNG: time"), seconds(busy.seconds),
         "< 2 s", busy.status == 0 && busy.seconds < 2},
        {QStringLiteral("bermon-plot, 30 s recording with 5,000 restarts to PNG: peak memory"), mib(busy.peakMiB),
         "< 150 MiB", busy.status == 0 && busy.peakMiB < 150},
        {QStringLiteral("bermon-plot draws the 100,000-row recording"),
         png.status == 0 && svg.status == 0 ? "yes" : "no", "yes", png.status == 0 && svg.status == 0,
         Figure::Correctness},
    };
}

// A file of `bytes` bytes that is one line without end, as /dev/zero or a
// recording overwritten by something else would be.
bool writeOneLine(const QString& path, qint64 bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    const QByteArray piece(1 << 20, 'x');
    for (qint64 written = 0; written < bytes; written += piece.size())
        if (file.write(piece) != piece.size())
            return false;
    return true;
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
    // The same day with a restart every 0.65 s (132,923 of them), and every
    // two hours a burst of errored seconds and a 12 s outage.
    const QString eventful = dir.filePath("eventful.csv");
    const bool eventfulWritten = writeRecording(eventful, 864000, 100, {650, 7200});
    const ChildRun eventfulReport =
        eventfulWritten ? runChild({reportPath, eventful, "-o", dir.filePath("eventful.pdf"), "--max-ber", "1e-6"})
                        : ChildRun{};
    const ChildRun eventfulPng =
        eventfulWritten ? runChild({plotPath, eventful, "-o", dir.filePath("eventful.png")}) : ChildRun{};
    QFile::remove(eventful);
    // The reader holds at most 64 KiB of a line: the report refuses the file
    // at its first line, having read a megabyte of it.
    const QString line = dir.filePath("line.csv");
    const bool lineWritten = writeOneLine(line, qint64(1) << 30);
    const ChildRun endless = lineWritten ? runChild({reportPath, line, "-o", dir.filePath("line.pdf")}) : ChildRun{};
    QFile::remove(line);
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
        {QStringLiteral("bermon-report, %1 with a restart every 0.65 s and outages to PDF: time").arg(day),
         seconds(eventfulReport.seconds), "< 10 s", eventfulReport.status == 0 && eventfulReport.seconds < 10},
        {QStringLiteral("bermon-report, %1 with a restart every 0.65 s and outages to PDF: peak memory").arg(day),
         mib(eventfulReport.peakMiB), "< 300 MiB", eventfulReport.status == 0 && eventfulReport.peakMiB < 300},
        {QStringLiteral("bermon-plot, %1 with a restart every 0.65 s and outages to PNG: time").arg(day),
         seconds(eventfulPng.seconds), "< 10 s", eventfulPng.status == 0 && eventfulPng.seconds < 10},
        {QStringLiteral("bermon-plot, %1 with a restart every 0.65 s and outages to PNG: peak memory").arg(day),
         mib(eventfulPng.peakMiB), "< 300 MiB", eventfulPng.status == 0 && eventfulPng.peakMiB < 300},
        {QStringLiteral("bermon-report, 1 GiB file of one line: time to refuse it"), seconds(endless.seconds),
         "< 1 s", endless.status == 2 && endless.seconds < 1},
        {QStringLiteral("bermon-report, 1 GiB file of one line: peak memory"), mib(endless.peakMiB), "< 100 MiB",
         endless.status == 2 && endless.peakMiB < 100},
        {QStringLiteral("bermon-report refuses the 1 GiB line with status 2"), endless.status == 2 ? "yes" : "no",
         "yes", endless.status == 2, Figure::Correctness},
        {QStringLiteral("bermon-report and bermon-plot take the 864,000-row day"),
         report.status == 0 && png.status == 0 ? "yes" : "no", "yes", report.status == 0 && png.status == 0,
         Figure::Correctness},
    };
}

} // namespace bench
