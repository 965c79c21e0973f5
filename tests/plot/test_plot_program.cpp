// bermon-plot on a real recording of the emulated unit, and on files that are not good recordings.

#include "charts/ColumnReducer.h"
#include "recording/RecordingWriter.h"

#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"
#include "support/ProgramRun.h"

#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimeZone>
#include <QDir>
#include <QRegularExpression>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

using emulator::EmulatorSettings;
using emulator::PseudoTerminal;
using emulator::UnitEmulator;

namespace {

ProgramRun plot(const QStringList& arguments)
{
    return runProgram(BERMON_PLOT_PATH, arguments);
}

// One run of bermon-log on the emulated unit, appended to `csv`.
void record(const QString& csv, int reports, double ber)
{
    PseudoTerminal line;
    EmulatorSettings settings;
    settings.intervalMs = 20;
    settings.link.frameRate = 1e6;
    settings.link.bitErrorRate = ber;
    settings.link.frameLossRate = 1e-4;
    UnitEmulator unit(line, settings);
    QProcess log;
    const qint64 before = QFile(csv).size();
    log.start(BERMON_LOG_PATH,
              {"--device", line.slavePath(), "--csv", csv, "--reports", QString::number(reports), "--quiet"});
    QVERIFY(QTest::qWaitFor([&] { return QFile(csv).size() > before + 100; }, 20000));
    unit.start();
    // The unit transmits from this event loop: wait in it.
    QVERIFY(QTest::qWaitFor([&] { return log.state() == QProcess::NotRunning; }, 30000));
    QCOMPARE(log.exitCode(), 0);
}

// Rows as the recorder writes them.
QByteArray row(double elapsed, const QString& event, std::optional<measurement::ReportCounts> counts = {})
{
    WrittenRow record;
    record.time = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc()).addMSecs(qint64(elapsed * 1000));
    record.elapsedSeconds = elapsed;
    record.event = event;
    if (event == QLatin1String("started"))
        record.detail = QStringLiteral("/dev/ttyUSB0, 9600 baud, counters restart, confidence 0.95");
    if (counts) {
        describeReport(*counts, record);
        record.run.bits = counts->recvFrame * 512;
        record.run.errorBits = counts->errorBit;
        record.run.berUpper = 1e-6;
    }
    return csvLine(record);
}

} // namespace

class TestPlotProgram : public QObject
{
    Q_OBJECT

private slots:
    void drawsARealRecording();
    void badFilesAndCommandLines_data();
    void badFilesAndCommandLines();
    void stretchesLeaveGaps_data();
    void stretchesLeaveGaps();
    void reductionKeepsPeaksAndGaps();
    void stripShowsAnOutage();
    void aFullDiskLeavesTheFileAsItWas_data();
    void aFullDiskLeavesTheFileAsItWas();
};

void TestPlotProgram::drawsARealRecording()
{
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    record(csv, 20, 1e-6);
    record(csv, 10, 1e-5);

    // Both runs along wall-clock time, at the size asked for, with the BER's colour drawn.
    const QString png = dir.filePath("all.png");
    ProgramRun outcome = plot({csv, "-o", png, "--width", "900", "--height", "600"});
    QVERIFY2(outcome.status == 0, qPrintable(outcome.err));
    const QImage image(png);
    QCOMPARE(image.size(), QSize(900, 600));
    int berPixels = 0;
    for (int y = 0; y < image.height() * 3 / 5; ++y)
        for (int x = 0; x < image.width(); ++x)
            berPixels += image.pixelColor(x, y) == QColor(31, 119, 180);
    QVERIFY2(berPixels > 100, qPrintable(QString::number(berPixels)));

    // One run alone as SVG, titled from the recording unless told otherwise.
    const QString svg = dir.filePath("second.svg");
    QCOMPARE(plot({csv, "-o", svg, "--run", "2"}).status, 0);
    const auto contents = [](const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    const QByteArray text = contents(svg);
    QVERIFY(text.contains("<svg") && text.contains("/dev/pts/") && text.contains("BER"));
    QCOMPARE(plot({csv, "-o", svg, "--run", "2", "--title", "soak of unit 7"}).status, 0);
    QVERIFY(contents(svg).contains("soak of unit 7"));
    // A title too long for a narrow plot wraps onto more lines, never cut short.
    const QString longTitle = "soak of unit 7 on bench three, the night before its delivery, with its title on many lines";
    QCOMPARE(plot({csv, "-o", svg, "--run", "2", "--width", "500", "--height", "500", "--title", longTitle}).status, 0);
    QStringList titleLines; // the picture's texts of the title, not the SVG's own <title>
    const QRegularExpression texts(">([^<]+)<");
    for (auto match = texts.globalMatch(QString::fromUtf8(contents(svg))); match.hasNext();) {
        const QString text = match.next().captured(1);
        if (text.contains(QRegularExpression("unit 7|delivery|lines")) && !text.contains(" — "))
            titleLines << text;
    }
    QVERIFY2(titleLines.size() >= 2 && titleLines.last().endsWith("many lines")
                 && !titleLines.join(u'|').contains("..."),
             qPrintable(titleLines.join(" | ")));
    // A limit of our own: the verdict joins the title, and lost frames alone fail the run.
    QCOMPARE(plot({csv, "-o", svg, "--run", "2", "--max-ber", "1e-9"}).status, 0);
    QVERIFY(contents(svg).contains(" — fail: "));

    outcome = plot({csv, "-o", svg, "--run", "3"});
    QCOMPARE(outcome.status, 2);
    QVERIFY2(outcome.err.contains("--run 3: " + csv + " holds 2 run(s)"), qPrintable(outcome.err));
}

void TestPlotProgram::badFilesAndCommandLines_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("message");
    const QByteArray head = csvHeader() + row(0, "started");
    const QByteArray report = row(1, {}, measurement::ReportCounts{40000, 2, 3, 4});
    const QByteArray zeros = row(2, {}, measurement::ReportCounts{40000, 0, 0, 0});
    const QByteArray nothing = row(3, {}, measurement::ReportCounts{0, 0, 0, 0}); // every rate N/A
    const QStringList png{"-o", "plot.png"};
    QTest::newRow("gaps for 0 and N/A") << head + zeros + nothing + report + nothing << png << 0 << "";
    QTest::newRow("events") << head + report + row(2, "device lost") + row(3, "device back") + zeros
                                   + row(4, "counts went down") + report
                            << png << 0 << "";
    // The previous version's rows: no run_frames, run_lost_frames, run_error_frames.
    QByteArray former = report;
    qsizetype cut = former.lastIndexOf(',');
    const qsizetype end = cut;
    for (int i = 0; i < 3; ++i)
        cut = former.lastIndexOf(',', cut - 1);
    former.remove(cut, end - cut);
    QTest::newRow("earlier format") << formerCsvHeader() + "2026-01-02T03:04:05.000Z,0.000,started"
                                           + QByteArray(16, ',') + ",\"/dev/ttyUSB0, 9600 baud\"\n" + former + former
                                    << png << 0 << "";
    QTest::newRow("torn last line") << head + report + report.left(30) << png << 0
                                    << "run.csv:4: torn last line skipped (";
    QByteArray back = row(3, {}, measurement::ReportCounts{40000, 0, 0, 0});
    back.replace(0, back.indexOf(','), "2026-01-02T03:00:00.000Z");
    QTest::newRow("clock set back") << head + report + back + report << png << 0
                                    << "run.csv:4: time 2026-01-02T03:00:00.000Z is before the row above";
    QTest::newRow("empty file") << QByteArray() << png << 2 << "run.csv:1: empty file, not a recording";
    QTest::newRow("other header") << QByteArray("time,value\n1,2\n") << png << 2
                                  << "run.csv:1: not a bermon-log recording";
    QTest::newRow("header only") << csvHeader() << png << 2 << "run.csv:1: the recording holds no report";
    QTest::newRow("no report") << head + row(5, "stopped") << png << 2 << "run.csv:3: the recording holds no report";
    QTest::newRow("short row") << head + "2026-01-02T03:04:05.000Z,1\n" + report << png << 2
                               << "run.csv:3: bad row: 2 fields where a row has 23";
    QByteArray badCount = report;
    badCount.replace(",40000,", ",4e4,");
    QTest::newRow("bad count") << head + badCount << png << 2
                               << "run.csv:3: bad row: recv_frames '4e4' is not a whole number";
    QByteArray nul = report;
    nul.replace(",40000,", QByteArray(",40\0,", 5));
    QTest::newRow("NUL in a field") << head + nul << png << 2
                                    << "run.csv:3: bad row: recv_frames '40\\0' is not a whole number";
    QByteArray huge = report;
    huge.replace(",1.95312495e-07,", ",1e999,"); // ber overflows: a gap, like N/A
    QTest::newRow("rate too large") << head + huge << png << 0 << "";
    QByteArray badTime = report;
    badTime.replace(0, 4, "yyyy");
    QTest::newRow("bad time") << head + badTime << png << 2 << "run.csv:3: bad row: time 'yyyy";
    QTest::newRow("open quote") << head + "\"x\n" + report << png << 2 << "run.csv:3: bad row: a quote is not closed";
    QTest::newRow("before started") << csvHeader() + report << png << 2
                                    << "run.csv:2: a row before the first 'started' row";
    // Hostile files cost little and say why, in one short line.
    QTest::newRow("endless line") << head + QByteArray(300'000, '\0') << png << 2
                                  << "run.csv:3: a line of more than 65536 bytes, longer than any row";
    QByteArray longField = report;
    longField.replace(",40000,", "," + QByteArray(30'000, '9') + ",");
    QTest::newRow("long bad field") << head + longField << png << 2
                                    << "run.csv:3: bad row: recv_frames '9999999999999999999999999999999999999999...' "
                                       "(30000 bytes) is not a whole number";
    QByteArray badWord = head;
    badWord.replace("confidence 0.95", "confidence 1.5");
    QTest::newRow("setting out of range in the words")
        << badWord + report << png << 0
        << "run.csv:2: 'started' row: confidence '1.5' is not a number above 0 and below 1; that setting is left out";
    QByteArray badPair = head;
    badPair.replace("confidence 0.95", "confidence 0.95; max_es=1e300 confidence=0.9");
    QTest::newRow("setting out of range in the pairs")
        << badPair + report << png << 2
        << "run.csv:2: bad 'started' row: max_es '1e300' is not a whole number from 0 to 2147483647";
    QByteArray wideCount = report;
    wideCount.replace(",40000,", ",18446744073709551615,");
    QTest::newRow("count wider than its field") << head + wideCount << png << 2
                                                << "run.csv:3: bad row: recv_frames 18446744073709551615 does not "
                                                   "fit the report's 16-bit field (at most 65535)";
    QByteArray wideBits = report;
    wideBits.replace(",3,4,", ",3,4294967296,");
    QTest::newRow("bit errors wider than their field") << head + wideBits << png << 2
                                                       << "run.csv:3: bad row: error_bits 4294967296 does not fit "
                                                          "the report's 32-bit field";
    QByteArray ahead = zeros;
    ahead.replace(0, 4, "2027");
    QTest::newRow("a row a year ahead") << head + report + ahead + report << png << 0
                                        << "run.csv:4: time 2027-01-02T03:04:07.000Z is 365d 0:00:00 ahead of the "
                                           "run's elapsed time";
    QTest::newRow("no output") << head + report << QStringList{} << 2 << "give the plot's file with -o";
    QTest::newRow("jpeg") << head + report << QStringList{"-o", "plot.jpg"} << 2
                          << "-o 'plot.jpg': the name must end in .png or .svg";
    QTest::newRow("width") << head + report << png + QStringList{"--width", "9"} << 2
                           << "--width '9': out of range (200 to 10000)";
    QTest::newRow("max-ber") << head + report << png + QStringList{"--max-ber", "2"} << 2
                             << "--max-ber '2': must be above 0 and below 1";
    QTest::newRow("unwritable") << head + report << QStringList{"-o", "/no-such-dir/plot.png"} << 2
                                << "-o '/no-such-dir/plot.png': cannot be written";
}

void TestPlotProgram::badFilesAndCommandLines()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, options);
    QFETCH(int, status);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    QFile file("run.csv");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();
    const ProgramRun outcome = plot(QStringList{"run.csv"} + options);
    QVERIFY2(outcome.status == status, qPrintable(outcome.err));
    QVERIFY2(outcome.err.contains(message), qPrintable(outcome.err));
    QVERIFY2(outcome.err.size() < 1000, qPrintable(outcome.err.left(1000)));
    if (status == 0)
        QVERIFY(!QImage("plot.png").isNull());
}

void TestPlotProgram::stretchesLeaveGaps_data()
{
    QTest::addColumn<QList<double>>("values");
    QTest::addColumn<bool>("logAxis");
    QTest::addColumn<QList<int>>("lengths");
    const double nan = std::nan("");
    QTest::newRow("log: zero and NaN cut")
        << QList<double>{1e-6, 0, 2e-6, 3e-6, nan, 4e-6} << true << QList<int>{1, 2, 1};
    QTest::newRow("linear: zero stays") << QList<double>{0, 0, nan, 1} << false << QList<int>{2, 1};
    QTest::newRow("log: nothing drawable") << QList<double>{0, nan, -1} << true << QList<int>{};
    QTest::newRow("infinity cuts") << QList<double>{1, INFINITY, 1} << false << QList<int>{1, 1};
}

void TestPlotProgram::stretchesLeaveGaps()
{
    QFETCH(QList<double>, values);
    QFETCH(bool, logAxis);
    QFETCH(QList<int>, lengths);
    ColumnReducer curve(100, logAxis);
    for (qsizetype i = 0; i < values.size(); ++i)
        curve.add(double(i), values[i]);
    QList<int> found;
    for (const QList<QPointF>& stretch : curve.stretches())
        found << int(stretch.size());
    QCOMPARE(found, lengths);
}

void TestPlotProgram::reductionKeepsPeaksAndGaps()
{
    // A day of a report a second into 200 columns: the one peak and the
    // hour without a drawable rate survive, the points do not.
    ColumnReducer curve(200, true);
    for (int second = 0; second < 86400; ++second) {
        const bool outage = second >= 36000 && second < 39600;
        curve.add(second, outage ? 0.0 : second == 50001 ? 1e-3 : 1e-7 * (1 + second % 7));
    }
    const QList<QList<QPointF>> stretches = curve.stretches();
    QCOMPARE(stretches.size(), 2);
    QVERIFY(stretches[0].last().x() < 36000 && stretches[1].first().x() >= 39600);
    qsizetype points = 0;
    double peak = 0;
    for (const QList<QPointF>& stretch : stretches)
        for (const QPointF& p : stretch) {
            ++points;
            QVERIFY(p.x() >= 0 && p.x() < 86400);
            peak = std::max(peak, p.y());
        }
    QVERIFY2(points <= 4 * 200, qPrintable(QString::number(points)));
    QCOMPARE(peak, 1e-3);
}

void TestPlotProgram::stripShowsAnOutage()
{
    // A report a second, its counts taken on the second (it arrives after
    // its 12.5 ms on the wire at 9600 baud); every frame of seconds 20 to 35
    // lost. The millisecond the row's time rounds to leaves a frame of the
    // outage possibly in the second before or after it.
    QByteArray csv = csvHeader() + row(0, "started");
    measurement::ReportCounts counts;
    for (int second = 1; second <= 60; ++second) {
        (second > 20 && second <= 36 ? counts.lossFrame : counts.recvFrame) += 1000;
        csv += row(second + 0.013, {}, counts);
    }
    QTemporaryDir dir;
    QFile file(dir.filePath("run.csv"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size());
    file.close();
    const QString png = dir.filePath("run.png"), svg = dir.filePath("run.svg");
    QCOMPARE(plot({file.fileName(), "-o", png, "--width", "1000", "--height", "640"}).status, 0);
    QCOMPARE(plot({file.fileName(), "-o", svg}).status, 0);
    QFile text(svg);
    QVERIFY(text.open(QIODevice::ReadOnly));
    const QByteArray contents = text.readAll();
    for (const char* entry : {"error-free [43,44] s", "errored [0,1] s", "severely errored [0,1] s",
                              "unavailable [16,17] s", "unknown 0 s"})
        QVERIFY2(contents.contains(entry), entry);

    // In the strip's band, above its legend, the outage among the error-free
    // seconds 1 to 59, where its seconds fall.
    const QImage image(png);
    int greenLeft = image.width(), greenRight = 0, darkLeft = image.width(), darkRight = 0;
    for (int y = image.height() * 85 / 100; y < image.height() * 91 / 100; ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            int& left = c == QColor(44, 160, 44) ? greenLeft : darkLeft;
            int& right = c == QColor(44, 160, 44) ? greenRight : darkRight;
            if (c == QColor(44, 160, 44) || c == QColor(45, 45, 45)) {
                left = std::min(left, x);
                right = std::max(right, x);
            }
        }
    QVERIFY(greenRight > greenLeft + 500);
    const double span = greenRight + 1 - greenLeft;
    QVERIFY2(std::abs((darkLeft - greenLeft) / span - 19.0 / 59) < 0.01, qPrintable(QString::number(darkLeft)));
    QVERIFY2(std::abs((darkRight + 1 - greenLeft) / span - 35.0 / 59) < 0.01, qPrintable(QString::number(darkRight)));
}

void TestPlotProgram::aFullDiskLeavesTheFileAsItWas_data()
{
    QTest::addColumn<QString>("output");
    QTest::newRow("SVG") << "plot.svg";
    QTest::newRow("PNG") << "plot.png";
}

// A file-size limit stands in for a full disk: the drawing fails part-way.
void TestPlotProgram::aFullDiskLeavesTheFileAsItWas()
{
    QFETCH(QString, output);
    QByteArray csv = csvHeader() + row(0, "started");
    for (int second = 1; second <= 60; ++second)
        csv += row(second, {}, measurement::ReportCounts{quint64(1000 * second), 0, quint64(second), 0});
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    QFile file("run.csv");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(csv) == csv.size());
    file.close();
    QFile before(output);
    QVERIFY(before.open(QIODevice::WriteOnly) && before.write("the plot of yesterday") > 0);
    before.close();
    QProcess process;
    process.setChildProcessModifier([] {
        const rlimit fileSize{16384, 16384};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        std::signal(SIGXFSZ, SIG_DFL); // as a shell leaves it
    });
    process.start(BERMON_PLOT_PATH, {"run.csv", "-o", output});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 2);
    const QString errors = QString::fromLocal8Bit(process.readAllStandardError());
    QVERIFY2(errors.contains("-o '" + output + "': File too large"), qPrintable(errors));
    QCOMPARE(QDir().entryList(QDir::Files | QDir::Hidden), QStringList({output, "run.csv"}));
    QVERIFY(before.open(QIODevice::ReadOnly));
    QCOMPARE(before.readAll(), QByteArray("the plot of yesterday"));
}

QTEST_MAIN(TestPlotProgram)
#include "test_plot_program.moc"
