// Errored seconds, severely errored seconds and unavailable time, against figures worked out by hand.

#include "measurement/ErrorPerformance.h"

#include <QtTest>

using measurement::CounterModel;
using measurement::ErrorPerformance;
using measurement::ReportCounts;
using measurement::RunTotals;

namespace {

// A run of seconds written one letter each, reported every 100 ms from a second's start, 100
// frames a report: '.' clean, 'E' one errored frame, 'H' half the frames errored, 'S' one lost frame.
ErrorPerformance runOf(const QString& seconds)
{
    ErrorPerformance performance(CounterModel::Wrap);
    RunTotals totals(CounterModel::Wrap);
    ReportCounts counts;
    const qint64 start = 1'800'000'000'000;
    const auto report = [&](qint64 ms) { performance.add(ms, counts, totals.add(counts)); };
    report(start);
    for (qint64 ms = 100; ms <= seconds.size() * 1000; ms += 100) {
        const QChar kind = seconds[(ms - 1) / 1000];
        const bool firstOfSecond = ms % 1000 == 100;
        counts.recvFrame = (counts.recvFrame + 100) % 65536;
        counts.errorFrame = (counts.errorFrame + (kind == 'H' ? 50 : kind == 'E' && firstOfSecond)) % 65536;
        counts.lossFrame = (counts.lossFrame + (kind == 'S' && firstOfSecond)) % 65536;
        report(start + ms);
    }
    return performance;
}

} // namespace

class TestErrorPerformance : public QObject
{
    Q_OBJECT
private slots:
    void exactSeconds_data();
    void exactSeconds();
    void anErrorBetweenTwoSecondsIsBounded();
    void aLostDeviceLeavesUnknownSeconds();
};

void TestErrorPerformance::exactSeconds_data()
{
    QTest::addColumn<QString>("seconds");
    QTest::addColumn<int>("unavailable");
    QTest::addColumn<int>("es");
    QTest::addColumn<int>("ses");
    QTest::addColumn<int>("bbe");
    QTest::addColumn<int>("efs");
    QTest::newRow("errored, not severely") << "E.EH." << 0 << 3 << 1 << 2 << 2;
    QTest::newRow("exactly 10 SES, then 10 good") << "..SSSSSSSSSS.........." << 10 << 0 << 0 << 0 << 12;
    QTest::newRow("9 SES stay available") << ".SSSSSSSSS." << 0 << 9 << 9 << 0 << 2;
    // Unavailable from the first of the 10 SES until the first of 10 good seconds: the 9 good
    // seconds inside are unavailable, and so are the 4 SES after them.
    QTest::newRow("9 good seconds inside an outage") << "SSSSSSSSSS.........HHHH..........E" << 23 << 1 << 0 << 1 << 10;
    QTest::newRow("an outage at the end") << "..E.SSSSSSSSSSSS" << 12 << 1 << 0 << 1 << 3;
    QTest::newRow("fewer than 10 SES at the end") << "..E.SSSSS" << 0 << 6 << 5 << 1 << 3;
}

void TestErrorPerformance::exactSeconds()
{
    QFETCH(QString, seconds);
    const measurement::ErrorPerformanceFigures f = runOf(seconds).figures();
    QCOMPARE(f.seconds, seconds.size());
    QCOMPARE(f.unknown, 0);
    for (const measurement::Bounded& figure : {f.available, f.unavailable, f.es, f.ses, f.bbe, f.efs})
        QVERIFY2(figure.exact(), qPrintable(figure.text()));
    QTEST(int(f.unavailable.least), "unavailable");
    QTEST(int(f.es.least), "es");
    QTEST(int(f.ses.least), "ses");
    QTEST(int(f.bbe.least), "bbe");
    QTEST(int(f.efs.least), "efs");
    QCOMPARE(f.available.least + f.unavailable.least, double(seconds.size()));
}

void TestErrorPerformance::anErrorBetweenTwoSecondsIsBounded()
{
    // Reports 1.5 s apart: the errored frame of the first interval lies in its first second or
    // its second, the lost frame of the second interval in its second or its third.
    ErrorPerformance performance(CounterModel::Restart);
    RunTotals totals(CounterModel::Restart);
    const auto report = [&](qint64 ms, ReportCounts counts) { performance.add(ms, counts, totals.add(counts)); };
    report(0, {});
    report(1500, {150, 0, 1, 1});
    report(3000, {300, 1, 1, 1});
    const measurement::ErrorPerformanceFigures f = performance.figures();
    QCOMPARE(f.seconds, 3);
    QCOMPARE(f.es.text(), QStringLiteral("[0,3]"));
    QCOMPARE(f.ses.text(), QStringLiteral("[0,2]"));
    QCOMPARE(f.efs.text(), QStringLiteral("[0,3]"));
    QCOMPARE(f.unavailable.text(), QStringLiteral("0"));
    QCOMPARE(f.esr.text(), QStringLiteral("[0,1]"));
}

void TestErrorPerformance::aLostDeviceLeavesUnknownSeconds()
{
    ErrorPerformance performance(CounterModel::Restart);
    RunTotals totals(CounterModel::Restart);
    ReportCounts counts;
    const auto report = [&](qint64 ms) { performance.add(ms, counts, totals.add(counts)); };
    report(0);
    counts.recvFrame = 100;
    report(1000);
    performance.deviceLost();
    counts.recvFrame = 50000; // whatever it says, it may be another unit's
    report(13000);
    counts.recvFrame = 50100;
    report(14000);
    const measurement::ErrorPerformanceFigures f = performance.figures();
    QCOMPARE(f.seconds, 14);
    QCOMPARE(f.unknown, 12);
    // At the most, the 12 unknown seconds are severely errored, and the good second after them
    // does not end the unavailable time; at the least they are all available and errored.
    QCOMPARE(f.unavailable.text(), QStringLiteral("[0,13]"));
    QCOMPARE(f.es.text(), QStringLiteral("[0,12]"));
    QCOMPARE(f.efs.text(), QStringLiteral("[1,2]"));
}

QTEST_GUILESS_MAIN(TestErrorPerformance)
#include "test_error_performance.moc"
