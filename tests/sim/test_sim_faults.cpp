#include "emulator/CounterReportEncoding.h"
#include "emulator/Faults.h"
#include "emulator/LineEnd.h"
#include "emulator/UnitEmulator.h"

#include <QElapsedTimer>
#include <QSet>
#include <QSignalSpy>
#include <QTest>

using emulator::EmulatorSettings;
using emulator::FaultPlan;
using emulator::ReportFault;
using emulator::UnitEmulator;

Q_DECLARE_METATYPE(emulator::ReportFault)

namespace {

const QByteArray FirstReport = QByteArray::fromHex("F103E8000A0002000000057F");
const QByteArray SecondReport = QByteArray::fromHex("F103F4000A00020000000580");

// One letter a fault, '-' for none: plans and expected sequences read at a glance.
ReportFault faultOfLetter(QChar letter)
{
    switch (letter.toLatin1()) {
    case 'W':
        return ReportFault::WrongMarker;
    case 'S':
        return ReportFault::Short;
    case 'D':
        return ReportFault::Double;
    case 'G':
        return ReportFault::Garbage;
    case 'Y':
        return ReportFault::Stray;
    default:
        return ReportFault::None;
    }
}

// A line that takes everything and notes when each write came.
struct RecordingLine final : emulator::LineEnd
{
    RecordingLine() { clock.start(); }
    bool write(const QByteArray& bytes) override
    {
        writes.append({double(clock.nsecsElapsed()) / 1e9, bytes});
        return true;
    }
    void hangUp() override { }
    bool isOpen() const override { return true; }
    QString errorString() const override { return {}; }

    QElapsedTimer clock;
    QList<std::pair<double, QByteArray>> writes;
};

// Runs a unit with a `count` to its end; what it transmitted, or nothing if it never finished.
QList<QByteArray> runToTheEnd(RecordingLine& line, const EmulatorSettings& settings)
{
    UnitEmulator unit(line, settings);
    QSignalSpy transmitted(&unit, &UnitEmulator::transmitted);
    QSignalSpy finished(&unit, &UnitEmulator::finished);
    unit.start();
    if (!finished.wait(20000))
        return {};
    QList<QByteArray> all;
    for (const QList<QVariant>& arguments : transmitted)
        all.append(arguments.at(0).toByteArray());
    return all;
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void shapesTransmission_data();
    void shapesTransmission();
    void garbageNeverPassesForAReport();
    void strayByteIsSometimesTheMarker();
    void splitsIntoPieces_data();
    void splitsIntoPieces();
    void faultyTransmissionsTakeTurns_data();
    void faultyTransmissionsTakeTurns();
    void piecesKeepTheLinesPace_data();
    void piecesKeepTheLinesPace();
    void markerCountsGoBackToBack();
    void drawnIntervalsKeepToTheirBounds();
};

void TestFaults::shapesTransmission_data()
{
    QTest::addColumn<ReportFault>("fault");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("none") << ReportFault::None << FirstReport;
    QTest::newRow("wrong marker") << ReportFault::WrongMarker << QByteArray::fromHex("F003E8000A0002000000057F");
    QTest::newRow("short") << ReportFault::Short << QByteArray::fromHex("F103E8000A00");
    QTest::newRow("double") << ReportFault::Double << FirstReport + SecondReport;
}

void TestFaults::shapesTransmission()
{
    QFETCH(ReportFault, fault);
    QFETCH(QByteArray, expected);
    QList<QByteArray> reports{FirstReport};
    if (emulator::reportsCarried(fault) == 2)
        reports.append(SecondReport);
    std::mt19937 random(1);
    QCOMPARE(emulator::shapeTransmission(fault, reports, random).toHex(' '), expected.toHex(' '));
}

void TestFaults::garbageNeverPassesForAReport()
{
    QSet<qsizetype> lengths;
    for (quint32 seed = 0; seed < 200; ++seed) {
        std::mt19937 random(seed);
        const QByteArray bytes = emulator::shapeTransmission(ReportFault::Garbage, {FirstReport}, random);
        QVERIFY(bytes.endsWith(FirstReport));
        const QByteArray garbage = bytes.chopped(FirstReport.size());
        QVERIFY(garbage.size() >= 1 && garbage.size() <= emulator::kMaxGarbageLength);
        QVERIFY2(!garbage.contains(char(emulator::kReportMarker)), garbage.toHex(' '));
        lengths.insert(garbage.size());
    }
    QVERIFY(lengths.size() > 10);
}

void TestFaults::strayByteIsSometimesTheMarker()
{
    int markers = 0;
    const int runs = 400;
    for (quint32 seed = 0; seed < runs; ++seed) {
        std::mt19937 random(seed);
        const QByteArray bytes = emulator::shapeTransmission(ReportFault::Stray, {FirstReport}, random);
        QCOMPARE(bytes.size(), FirstReport.size() + 1);
        QVERIFY(bytes.endsWith(FirstReport));
        markers += quint8(bytes[0]) == emulator::kReportMarker;
    }
    // One time in four: 100 expected, and far outside this band only when the draw is broken.
    QVERIFY2(markers > 60 && markers < 140, QByteArray::number(markers));
}

void TestFaults::splitsIntoPieces_data()
{
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("pieces");
    QTest::addColumn<QList<int>>("lengths");

    QTest::newRow("byte by byte") << 12 << 12 << QList<int>(12, 1);
    QTest::newRow("uneven, longer first") << 12 << 5 << QList<int>{3, 3, 2, 2, 2};
    QTest::newRow("short report, fewer bytes than pieces") << 6 << 12 << QList<int>(6, 1);
    QTest::newRow("pieces out of range clamped") << 24 << 40 << QList<int>(12, 2);
}

void TestFaults::splitsIntoPieces()
{
    QFETCH(int, length);
    QFETCH(int, pieces);
    QFETCH(QList<int>, lengths);
    const QByteArray bytes = (FirstReport + SecondReport + FirstReport).left(length);
    const QList<QByteArray> split = emulator::splitIntoPieces(bytes, pieces);
    QList<int> actual;
    for (const QByteArray& piece : split)
        actual.append(int(piece.size()));
    QCOMPARE(actual, lengths);
    QCOMPARE(split.join(), bytes);
}

void TestFaults::faultyTransmissionsTakeTurns_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<int>("every");
    QTest::addColumn<QString>("expected"); // transmissions 1, 2, 3 ...

    QTest::newRow("no fault") << "" << 1 << "------";
    QTest::newRow("every one") << "G" << 1 << "GGGGGG";
    QTest::newRow("every second, in turn") << "WS" << 2 << "-W-S-W";
    QTest::newRow("every third, three in turn") << "DGS" << 3 << "--D--G--S--D";
    QTest::newRow("short and stray, every fourth") << "SY" << 4 << "---S---Y---S";
}

void TestFaults::faultyTransmissionsTakeTurns()
{
    QFETCH(QString, faults);
    QFETCH(int, every);
    QFETCH(QString, expected);
    FaultPlan plan;
    for (QChar letter : faults)
        plan.reportFaults.append(faultOfLetter(letter));
    plan.faultEvery = every;
    for (int number = 1; number <= expected.size(); ++number)
        QVERIFY2(plan.faultFor(number) == faultOfLetter(expected.at(number - 1)),
                 qPrintable(QStringLiteral("transmission %1").arg(number)));
}

void TestFaults::piecesKeepTheLinesPace_data()
{
    QTest::addColumn<int>("pieces");
    QTest::addColumn<int>("baudRate");
    QTest::addColumn<QChar>("fault"); // a letter as above, or B for a burst

    QTest::newRow("4 pieces at 9600") << 4 << 9600 << QChar('-');
    QTest::newRow("byte by byte in a burst at 115200") << 12 << 115200 << QChar('B');
    QTest::newRow("double report in 5") << 5 << 19200 << QChar('D');
    QTest::newRow("short report in 12") << 12 << 9600 << QChar('S');
}

void TestFaults::piecesKeepTheLinesPace()
{
    QFETCH(int, pieces);
    QFETCH(int, baudRate);
    QFETCH(QChar, fault);
    RecordingLine line;
    EmulatorSettings settings;
    settings.baudRate = baudRate;
    settings.intervalMs = 30;
    settings.pieces = pieces;
    settings.count = 4;
    settings.faults.reportFaults = {faultOfLetter(fault)};
    settings.faults.burst = fault == 'B';

    // Each transmission arrives whole, in its pieces, and none mixes with the next.
    const QList<QByteArray> sent = runToTheEnd(line, settings);
    QCOMPARE(sent.size(), 4);
    QList<QByteArray> expected, written;
    for (const QByteArray& bytes : sent)
        expected += emulator::splitIntoPieces(bytes, pieces);
    for (const auto& write : line.writes)
        written.append(write.second);
    QCOMPARE(written, expected);

    // No piece leaves before the one ahead of it is off the wire (a busy machine only makes the
    // gaps longer); the slack covers the moments between the clock readings.
    const qsizetype perTransmission = expected.size() / sent.size();
    for (qsizetype i = 1; i < line.writes.size(); ++i) {
        if (!settings.faults.burst && i % perTransmission == 0)
            continue; // a new transmission, an interval later
        const double gap = line.writes[i].first - line.writes[i - 1].first;
        QVERIFY2(gap >= line.writes[i - 1].second.size() * 10.0 / baudRate - 50e-6, qPrintable(QString::number(gap)));
    }
}

void TestFaults::markerCountsGoBackToBack()
{
    RecordingLine line;
    EmulatorSettings settings;
    settings.baudRate = 115200;
    settings.intervalMs = 1;
    settings.count = 300; // byte 11 passes 0xF1 too
    settings.link.bitErrorRate = 1e-3;
    settings.faults.markerCounts = true;
    const QList<QByteArray> sent = runToTheEnd(line, settings);
    QCOMPARE(sent.size(), 300);
    for (int i = 0; i < sent.size(); ++i)
        QCOMPARE(sent[i].toHex(' '), emulator::encodeReport(emulator::kMarkerCounts, quint8(i + 1)).toHex(' '));
    QCOMPARE(emulator::encodeReport(emulator::kMarkerCounts).count(char(emulator::kReportMarker)), 7);
}

void TestFaults::drawnIntervalsKeepToTheirBounds()
{
    RecordingLine line;
    EmulatorSettings settings;
    settings.intervalMs = 20;
    settings.intervalMaxMs = 60;
    settings.count = 10;
    settings.link = {.frameRate = 5e4, .bitErrorRate = 0, .frameLossRate = 0}; // 30000 frames at most, on time
    const QList<QByteArray> sent = runToTheEnd(line, settings);
    QCOMPARE(sent.size(), 10);

    // Each report counts the frames of its interval: 1000 to 3000, more only after a late timer.
    QSet<int> increments;
    int before = 0;
    for (const QByteArray& report : sent) {
        const int frames = quint8(report[1]) << 8 | quint8(report[2]);
        QVERIFY2(frames - before >= 999, qPrintable(QString::number(frames - before)));
        increments.insert(frames - before);
        before = frames;
    }
    QVERIFY(increments.size() > 3);
}

QTEST_GUILESS_MAIN(TestFaults)
#include "test_sim_faults.moc"
