#include "emulator/CounterReportEncoding.h"
#include "emulator/Faults.h"

#include <QSet>
#include <QTest>

using emulator::FaultPlan;
using emulator::ReportFault;

Q_DECLARE_METATYPE(emulator::ReportFault)

namespace {

const QByteArray FirstReport = QByteArray::fromHex("F103E8000A0002000000057F");
const QByteArray SecondReport = QByteArray::fromHex("F103F4000A00020000000580");

// One letter a fault, '-' for none: plans and expected sequences read at a glance.
ReportFault faultOfLetter(QChar letter)
{
    switch (letter.toLatin1()) {
    case 'W': return ReportFault::WrongMarker;
    case 'S': return ReportFault::Short;
    case 'D': return ReportFault::Double;
    case 'G': return ReportFault::Garbage;
    default: return ReportFault::None;
    }
}

} // namespace

class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void shapesTransmission_data();
    void shapesTransmission();
    void garbageNeverPassesForAReport();
    void faultyTransmissionsTakeTurns_data();
    void faultyTransmissionsTakeTurns();
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
    QList<QByteArray> reports { FirstReport };
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
        const QByteArray bytes = emulator::shapeTransmission(ReportFault::Garbage, { FirstReport }, random);
        QVERIFY(bytes.endsWith(FirstReport));
        const QByteArray garbage = bytes.chopped(FirstReport.size());
        QVERIFY(garbage.size() >= 1 && garbage.size() <= emulator::MaxGarbageLength);
        QVERIFY2(!garbage.contains(char(emulator::ReportMarker)), garbage.toHex(' '));
        lengths.insert(garbage.size());
    }
    QVERIFY(lengths.size() > 10);
}

void TestFaults::faultyTransmissionsTakeTurns_data()
{
    QTest::addColumn<QString>("faults");
    QTest::addColumn<int>("every");
    QTest::addColumn<QString>("expected");  // transmissions 1, 2, 3 ...

    QTest::newRow("no fault") << "" << 1 << "------";
    QTest::newRow("every one") << "G" << 1 << "GGGGGG";
    QTest::newRow("every second, in turn") << "WS" << 2 << "-W-S-W";
    QTest::newRow("every third, three in turn") << "DGS" << 3 << "--D--G--S--D";
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

QTEST_GUILESS_MAIN(TestFaults)
#include "test_sim_faults.moc"
