// Following a recording while it grows: the reader alone, on every way a file
// can grow, and the window on a recorder fed by the emulated unit.

#include "FollowWindow.h"
#include "recording/RecordingWriter.h"
#include "recording/RecordingFollower.h"
#include "charts/RunCharts.h"
#include "charts/RunDigest.h"

#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"

#include <QFile>
#include <QImage>
#include <QLabel>
#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <atomic>
#include <memory>
#include <set>

// Qt's hooks for debugging tools, called as each QObject is made and destroyed.
extern Q_DECL_IMPORT quintptr qtHookData[];

namespace {

QByteArray row(int elapsed, const QString& event = {})
{
    WrittenRow record;
    record.time = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc()).addSecs(elapsed);
    record.elapsedSeconds = elapsed;
    record.event = event;
    if (event.isEmpty())
        describeReport({quint64(elapsed % 65536), 0, 0, 0}, record); // a count within its 16 bits
    return csvLine(record);
}

QByteArray rows(int from, int to)
{
    QByteArray out;
    for (int e = from; e <= to; ++e)
        out += row(e);
    return out;
}

// The QObjects alive, counted from the moment the first counter is made.
class ObjectCount
{
public:
    ObjectCount()
    {
        qtHookData[kAddQObject] = reinterpret_cast<quintptr>(&added);
        qtHookData[kRemoveQObject] = reinterpret_cast<quintptr>(&removed);
    }
    ~ObjectCount() { qtHookData[kAddQObject] = qtHookData[kRemoveQObject] = 0; }
    qint64 alive() const { return s_alive; }

private:
    // The hooks' places in qtHookData, as Qt 6 numbers them.
    static constexpr int kAddQObject = 3, kRemoveQObject = 4;
    static inline std::atomic<qint64> s_alive = 0;
    static void added(QObject*) { ++s_alive; }
    static void removed(QObject*) { --s_alive; }
};

bool write(const QString& path, const QByteArray& bytes, QIODevice::OpenMode mode = QIODevice::Append)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | mode) && file.write(bytes) == bytes.size();
}

} // namespace

class TestFollow : public QObject
{
    Q_OBJECT

private slots:
    void readsEveryRowOnce_data();
    void readsEveryRowOnce();
    void windowEndsAtTheLastRow();
    void windowSaysWhenItsFileIsGone();
    void framesLeaveNoObjectBehind();
    void eventsCostNoSeriesEach();
    void wordsAndPicturesAgreeAtEveryFrame();
    void axisStaysWhileTheRunGrows();
};

// Each step appends, truncates or replaces, then the follower polls; `expected`
// is every row's elapsed time in the order read, -1 for an event row other
// than started, and `restarts` how often the file was read from its start.
void TestFollow::readsEveryRowOnce_data()
{
    QTest::addColumn<int>("scenario");
    QTest::addColumn<QList<int>>("expected");
    QTest::addColumn<int>("restarts");
    QList<int> oneToForty;
    for (int e = 1; e <= 40; ++e)
        oneToForty << e;
    QTest::newRow("appended in pieces cut anywhere") << 0 << oneToForty << 0;
    QTest::newRow("replaced under the same name") << 1 << QList<int>{1, 2, 3, 101, 102} << 1;
    QTest::newRow("torn line cut, a new recorder appends") << 2 << QList<int>{1, 2, 3, -1, 5, 6} << 0;
    QList<int> many;
    for (int e = 1; e <= 120000; ++e)
        many << e;
    QTest::newRow("10 MB at once") << 3 << many << 0;
    QTest::newRow("shrunk, written anew") << 4 << QList<int>{1, 2, 3, 4, 5, 7} << 1;
}

void TestFollow::readsEveryRowOnce()
{
    QFETCH(int, scenario);
    QFETCH(QList<int>, expected);
    QFETCH(int, restarts);
    QTemporaryDir dir;
    const QString path = dir.filePath("run.csv");
    QList<int> read;
    int restarted = 0;
    RecordingFollower follower(
        path,
        [&](const ReadRow& r, int) {
            if (r.event != QLatin1String("started"))
                read << (r.isReport() ? int(r.elapsed) : -1);
        },
        [&] { ++restarted; });
    const QByteArray head = csvHeader() + row(0, "started");
    QCOMPARE(follower.poll(), 0); // no file yet
    switch (scenario) {
    case 0: {
        const QByteArray all = head + rows(1, 40);
        for (qsizetype at = 0; at < all.size(); at += 37) {
            QVERIFY(write(path, all.mid(at, 37)));
            follower.poll();
        }
        break;
    }
    case 1:
        QVERIFY(write(path, head + rows(1, 3)));
        follower.poll();
        QVERIFY(write(dir.filePath("new.csv"), head + row(101) + row(102)));
        QVERIFY(QFile::remove(path) && QFile::rename(dir.filePath("new.csv"), path));
        follower.poll();
        break;
    case 2: {
        const QByteArray whole = head + rows(1, 3);
        QVERIFY(write(path, whole + row(4).left(20)));
        follower.poll();
        QVERIFY(QFile::resize(path, whole.size()));
        QVERIFY(write(path, row(4, "torn line cut") + rows(5, 6)));
        follower.poll();
        break;
    }
    case 3:
        QVERIFY(write(path, head + rows(1, 120000)));
        QVERIFY(QFileInfo(path).size() > 10'000'000);
        follower.poll();
        break;
    case 4:
        QVERIFY(write(path, head + rows(1, 5)));
        follower.poll();
        QVERIFY(write(path, head + row(7), QIODevice::Truncate));
        follower.poll();
        break;
    }
    follower.poll(); // nothing new: nothing read twice
    QVERIFY2(follower.error().isEmpty(), qPrintable(follower.error()));
    QCOMPARE(read, expected);
    QCOMPARE(restarted, restarts);
}

void TestFollow::windowEndsAtTheLastRow()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    PlotOptions options;
    options.input = csv;
    options.follow = true;
    FollowWindow window(options);
    window.show();

    emulator::PseudoTerminal line;
    emulator::EmulatorSettings settings;
    settings.intervalMs = 20;
    settings.link.frameRate = 1e5;
    settings.link.bitErrorRate = 1e-6;
    emulator::UnitEmulator unit(line, settings);
    QProcess log;
    log.start(BERMON_LOG_PATH, {"--device", line.slavePath(), "--csv", csv, "--reports", "150", "--quiet"});
    QVERIFY(QTest::qWaitFor([&] { return QFile(csv).size() > 100; }, 20000));
    unit.start();
    QVERIFY(QTest::qWaitFor([&] { return log.state() == QProcess::NotRunning; }, 30000));
    double last = NAN;
    QVERIFY(readRecording(csv, [&](const ReadRow& r, int) {
                if (r.isReport())
                    last = r.elapsed;
            }).ok());
    QVERIFY(QTest::qWaitFor([&] { return window.drawnUntil() == last; }, 20000));
    QVERIFY(window.following());
}

void TestFollow::windowSaysWhenItsFileIsGone()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    QVERIFY(write(csv, csvHeader() + row(0, "started") + rows(1, 5)));
    PlotOptions options;
    options.input = csv;
    options.follow = true;
    FollowWindow window(options);
    window.show();
    const auto header = [&] { return window.findChild<QLabel*>()->text(); };
    QVERIFY(QTest::qWaitFor([&] { return window.drawnUntil() == 5; }, 20000));
    QVERIFY(QFile::remove(csv));
    QVERIFY(QTest::qWaitFor([&] { return header().contains(csv + " is gone: waiting for it"); }, 20000));
    QCOMPARE(window.drawnUntil(), 5); // the run shown stays
    QVERIFY(write(csv, csvHeader() + row(0, "started") + rows(1, 8)));
    QVERIFY(QTest::qWaitFor([&] { return window.drawnUntil() == 8; }, 20000));
    QVERIFY(!header().contains("is gone"));
}

// Each frame of the live view draws the charts of the run so far: every chart
// object a frame makes is gone with it, so as many are alive after 120
// frames as after 20. The run has bit errors, an outage and a counter restart,
// so that every kind of series is drawn.
void TestFollow::framesLeaveNoObjectBehind()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    QByteArray recording = csvHeader() + row(0, "started");
    measurement::ReportCounts counts;
    for (int e = 1; e <= 130; ++e) {
        if (e == 70) {
            recording += row(e, "counts went down");
            counts = {};
        }
        counts.recvFrame += 500;
        counts.lossFrame += e >= 40 && e < 55 ? 500 : 0;
        counts.errorFrame += e % 7 == 0 ? 3 : 0;
        counts.errorBit += e % 7 == 0 ? 5 : 0;
        WrittenRow record;
        record.time = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc()).addSecs(e);
        record.elapsedSeconds = e;
        describeReport(counts, record);
        recording += csvLine(record);
    }
    QVERIFY(write(csv, recording));
    std::vector<std::pair<ReadRow, int>> rows;
    QVERIFY(readRecording(csv, [&](const ReadRow& r, int run) { rows.emplace_back(r, run); }).ok());

    RunDigests::Choice choice;
    choice.keep = RunDigests::Keep::Last;
    choice.columns = 600;
    choice.limits.maxBer = 1e-6;
    choice.override = true;
    RunDigests digests(choice);
    QImage frame(600, 400, QImage::Format_ARGB32_Premultiplied);
    const ObjectCount objects;
    qint64 afterTen = 0;
    size_t next = 0;
    for (int drawn = 1; drawn <= 65; ++drawn) {
        for (; next < rows.size() && rows[next].first.elapsed <= 2 * drawn + 5; ++next)
            digests.add(rows[next].first, rows[next].second);
        QPainter painter(&frame);
        drawRunCharts(painter, QRectF(0, 0, 600, 400), {digests.runs().back().get()}, ChartLayout{600, 400, {}, {}});
        painter.end();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (drawn == 10)
            afterTen = objects.alive();
    }
    QCOMPARE(objects.alive(), afterTen);
}

// A run of `seconds` reports a second apart, the counts restarting every
// `restartEvery` reports (0: never) and every frame lost from `outageFrom`
// for `outageSeconds`, with a --duration of `duration` and limits.
QByteArray syntheticRun(int seconds, int restartEvery, int outageFrom, int outageSeconds, double duration)
{
    const QDateTime start(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc());
    measurement::RunSettings settings;
    settings.device = QStringLiteral("/dev/ttyUSB0");
    settings.durationSeconds = duration;
    settings.maxBer = 1e-6;
    settings.maxUnavailableSeconds = 0;
    WrittenRow started;
    started.time = start;
    started.event = QStringLiteral("started");
    started.detail = measurement::startedDetail(settings);
    QByteArray out = csvHeader() + csvLine(started);
    measurement::ReportCounts counts;
    for (int e = 1; e <= seconds; ++e) {
        WrittenRow record;
        record.time = start.addSecs(e);
        record.elapsedSeconds = e;
        if (restartEvery > 0 && e % restartEvery == 0) {
            counts = {};
            WrittenRow wentDown = record;
            wentDown.event = QStringLiteral("counts went down");
            out += csvLine(wentDown);
        }
        const bool outage = e >= outageFrom && e < outageFrom + outageSeconds;
        (outage ? counts.lossFrame : counts.recvFrame) += 500;
        counts.errorFrame += e % 9 == 0 ? 2 : 0;
        counts.errorBit += e % 9 == 0 ? 3 : 0;
        describeReport(counts, record);
        out += csvLine(record);
    }
    return out;
}

RunDigests digestsOf(const QByteArray& recording, const QString& path)
{
    RunDigests::Choice choice;
    choice.keep = RunDigests::Keep::Last;
    choice.columns = 600;
    RunDigests digests(choice);
    QStringList warnings;
    write(path, recording, QIODevice::Truncate);
    const QString error = digests.read(path, warnings);
    if (!error.isEmpty())
        qFatal("%s", qPrintable(error));
    return digests;
}

// A run with thousands of restarts draws as many series as one with a few:
// the marks fold into one band series, and the legend still counts them.
void TestFollow::eventsCostNoSeriesEach()
{
    QTemporaryDir dir;
    int series[2] = {};
    for (const int restartEvery : {100, 2}) {
        const RunDigests digests = digestsOf(syntheticRun(5000, restartEvery, 0, 0, 0), dir.filePath("run.csv"));
        RunCharts charts;
        charts.update({digests.runs().back().get()}, ChartLayout{600, 400, {}, {}});
        series[restartEvery == 2] = charts.seriesCount();
        QVERIFY2(charts.legend().contains(QStringLiteral("counts went down (%1)").arg(5000 / restartEvery)),
                 qPrintable(charts.legend().join(", ")));
    }
    QCOMPARE(series[1], series[0]);
}

// A small window on `csv` that draws a frame as soon as there is something
// new: the words and the axis are what is checked, not the pixels.
std::unique_ptr<FollowWindow> frameByFrame(const QString& csv)
{
    PlotOptions options;
    options.input = csv;
    options.follow = true;
    auto window = std::make_unique<FollowWindow>(options);
    window->setFramePeriod(0);
    window->resize(480, 360);
    window->show();
    return window;
}

// Following a run with an outage from its start to its end, fed as fast as
// the window draws: at every frame the header and the charts tell the same
// totals and the same standing, the words speak of a run under way until it
// stops, and the seconds the next ten may revise are marked so in the legend.
void TestFollow::wordsAndPicturesAgreeAtEveryFrame()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    const QByteArray recording = syntheticRun(80, 0, 30, 15, 120);
    const QList<QByteArray> lines = recording.split('\n');
    QVERIFY(write(csv, lines[0] + '\n' + lines[1] + '\n'));
    const std::unique_ptr<FollowWindow> shown = frameByFrame(csv);
    FollowWindow& window = *shown;
    const QRegularExpression bits(QStringLiteral("([0-9.e+]+) bits"));
    int frames = 0;
    for (qsizetype next = 2; next < lines.size() - 1;) {
        QByteArray piece;
        for (const qsizetype end = std::min(next + 8, lines.size() - 1); next < end; ++next)
            piece += lines[next] + '\n';
        const bool last = next == lines.size() - 1;
        if (last) {
            WrittenRow stopped;
            stopped.time = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc()).addSecs(80);
            stopped.elapsedSeconds = 80;
            stopped.event = QStringLiteral("stopped");
            stopped.detail = QStringLiteral("interrupted");
            piece += csvLine(stopped);
        }
        QVERIFY(write(csv, piece));
        QSignalSpy drawn(&window, &FollowWindow::frameDrawn);
        QVERIFY(drawn.wait(10000));
        ++frames;
        const QString header = window.header();
        const QString title = window.charts().title();
        const QString standing = header.section(u'\n', 1).section(QStringLiteral(" (stopped)"), 0, 0);
        QVERIFY2(title.endsWith(QStringLiteral(" — ") + standing), qPrintable(title + " | " + header));
        QCOMPARE(bits.match(title).captured(1), bits.match(header).captured(1));
        // And the same words drawn, not only chosen.
        const QString drawnTitle = window.charts().drawnTitle();
        QVERIFY2(drawnTitle.endsWith(standing), qPrintable(drawnTitle + " | " + header));
        QCOMPARE(bits.match(drawnTitle).captured(1), bits.match(header).captured(1));
        const bool provisional =
            window.charts().legend().join(u'|').contains(QStringLiteral("may still change"));
        if (last) {
            QVERIFY(header.contains(" (stopped)"));
            QVERIFY(!provisional);
        } else {
            QVERIFY2(!title.contains("ended") && !header.contains("ended"), qPrintable(title));
            QVERIFY2(header.contains("of --duration left"), qPrintable(header));
            QVERIFY(provisional);
        }
    }
    QVERIFY(frames >= 10);
}

// A run fed a report a frame: the time axis ends at or past the newest
// report, at most a minute or a third past the run's span, and stays put for
// most frames, which then change only the curves' points.
void TestFollow::axisStaysWhileTheRunGrows()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    // Counts start again every 120 s, before 500 frames a second pass 65535.
    const QList<QByteArray> lines = syntheticRun(320, 120, 0, 0, 0).split('\n');
    QVERIFY(write(csv, lines[0] + '\n' + lines[1] + '\n'));
    const std::unique_ptr<FollowWindow> shown = frameByFrame(csv);
    FollowWindow& window = *shown;
    std::set<double> ends;
    for (qsizetype next = 2; next < 302; next += 10) { // 30 frames of 10 reports: 0 s to 5 minutes
        QSignalSpy drawn(&window, &FollowWindow::frameDrawn);
        QVERIFY(write(csv, lines.mid(next, 10).join('\n') + '\n'));
        QVERIFY(drawn.wait(10000));
        const auto [low, high] = window.shownRange();
        const double newest = window.drawnUntil();
        QVERIFY2(high >= newest && high - low <= std::max(60.0, (newest - low) * 4 / 3),
                 qPrintable(QStringLiteral("%1 to %2 with the newest at %3").arg(low).arg(high).arg(newest)));
        ends.insert(high);
    }
    QVERIFY2(ends.size() <= 8, qPrintable(QString::number(ends.size())));
}

QTEST_MAIN(TestFollow)
#include "test_follow.moc"
