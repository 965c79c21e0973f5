// The cluster test and the verdict, against figures worked out by hand.

#include "measurement/ErrorClusters.h"
#include "measurement/RunAnalysis.h"

#include <QtTest>

#include <algorithm>

using measurement::ErrorInterval;
using measurement::Outcome;
using measurement::ReportCounts;
using measurement::RunAnalysis;
using measurement::RunSettings;

Q_DECLARE_METATYPE(std::vector<ErrorInterval>)

using Reports = QList<std::pair<quint64, quint64>>; // recv_frames and error_bits of each

class TestRunAnalysis : public QObject
{
    Q_OBJECT
private slots:
    void clusterTest_data();
    void clusterTest();
    void aRestartInsideTheRunLeavesItsIntervalOut();
    void theIntervalLogKeepsEveryBitWhenItPools();
    void verdicts_data();
    void verdicts();
    void criteriaOfErrorPerformance_data();
    void criteriaOfErrorPerformance();
    void totalsThatWouldOverflowAreRefused_data();
    void totalsThatWouldOverflowAreRefused();
};

void TestRunAnalysis::clusterTest_data()
{
    QTest::addColumn<std::vector<ErrorInterval>>("intervals");
    QTest::addColumn<int>("groups");
    QTest::addColumn<double>("dispersion");
    QTest::addColumn<bool>("clustered");
    QTest::addColumn<double>("robustLower");
    QTest::addColumn<double>("robustUpper");
    // p = 0.005, X² = (9 + 9) / 5 = 3.6 over 3 degrees of freedom; SE = √(4/3 · 18) / 4000, t(3) = 2.35336
    QTest::newRow("equal lengths") << std::vector<ErrorInterval>{{1000, 2}, {1000, 8}, {1000, 5}, {1000, 5}} << 4 << 1.2
                                   << false << 0.00211773 << 0.00788227;
    QTest::newRow("equal lengths, one burst")
        << std::vector<ErrorInterval>{{1000, 0}, {1000, 0}, {1000, 20}, {1000, 0}} << 4 << 20.0 << true << 0.0
        << 0.0167668; // SE = √(4/3 · 300) / 4000 = 0.005
    // The first three pool to 10000 bits (50 expected); X² = 25/5 + 25/45 over 2; SE = √(3/2 · 50) / 20000
    QTest::newRow("very different lengths")
        << std::vector<ErrorInterval>{{100, 0}, {100, 1}, {9800, 49}, {1000, 0}, {9000, 50}} << 3 << 2.77778 << false
        << 0.00373561 << 0.00626439;
    QTest::newRow("a short last group joins the one before")
        << std::vector<ErrorInterval>{{1000, 5}, {1000, 5}, {100, 0}} << 1 << qQNaN() << false << qQNaN() << qQNaN();
}

void TestRunAnalysis::clusterTest()
{
    QFETCH(std::vector<ErrorInterval>, intervals);
    QFETCH(int, groups);
    QFETCH(double, dispersion);
    QFETCH(bool, clustered);
    QFETCH(double, robustLower);
    QFETCH(double, robustUpper);
    const measurement::ClusterTest test = measurement::testClusters(intervals, 0.95);
    QCOMPARE(test.groups, groups);
    QCOMPARE(test.tested, groups > 1);
    QCOMPARE(test.clustered, clustered);
    if (!test.tested)
        return;
    QVERIFY2(qAbs(test.dispersion - dispersion) < 1e-5, qPrintable(QString::number(test.dispersion)));
    const double tolerance = 1e-7;
    QVERIFY2(qAbs(test.robustLower - robustLower) < tolerance, qPrintable(QString::number(test.robustLower, 'g', 9)));
    QVERIFY2(qAbs(test.robustUpper - robustUpper) < tolerance, qPrintable(QString::number(test.robustUpper, 'g', 9)));
}

void TestRunAnalysis::aRestartInsideTheRunLeavesItsIntervalOut()
{
    RunSettings settings;
    settings.counters = measurement::CounterModel::Restart;
    RunAnalysis run(settings);
    // The first period counts from 0; the third report begins a new period.
    for (const ReportCounts& counts : {ReportCounts{100, 0, 0, 0}, ReportCounts{300, 0, 20, 20},
                                       ReportCounts{50, 1, 1, 3}, ReportCounts{150, 1, 30, 60}})
        run.add(0, counts);
    QCOMPARE(run.bits(), quint64(450 * 512));
    QCOMPARE(run.bitErrors(), quint64(80));
    QCOMPARE(run.lostFrames(), quint64(1));
    QCOMPARE(run.totals().errorFrame, quint64(50));
    // Intervals 51200/0, 102400/20, 51200/57: p = 77/204800, X² = 102.169 over 2
    const measurement::ClusterTest test = run.clusters();
    QCOMPARE(test.groups, 3);
    QVERIFY(qAbs(test.dispersion - 51.0844) < 1e-3);
    QVERIFY(test.clustered);
    QCOMPARE(test.robustLower, 0.0);
    QVERIFY(qAbs(test.robustUpper - 0.00118337) < 1e-7);
}

void TestRunAnalysis::theIntervalLogKeepsEveryBitWhenItPools()
{
    measurement::IntervalLog log;
    quint64 bits = 0, errors = 0;
    const size_t count = 3 * measurement::IntervalLog::kCapacity + 7;
    for (size_t i = 0; i < count; ++i) {
        log.add({i % 5 + 1, i % 3});
        bits += i % 5 + 1;
        errors += i % 3;
    }
    const std::vector<ErrorInterval> kept = log.intervals();
    QVERIFY(kept.size() <= measurement::IntervalLog::kCapacity + 1);
    QVERIFY(kept.size() > measurement::IntervalLog::kCapacity / 2);
    quint64 keptBits = 0, keptErrors = 0;
    for (const ErrorInterval& interval : kept) {
        keptBits += interval.bits;
        keptErrors += interval.errors;
    }
    QCOMPARE(keptBits, bits);
    QCOMPARE(keptErrors, errors);
}

void TestRunAnalysis::verdicts_data()
{
    QTest::addColumn<double>("maxBer");
    QTest::addColumn<QList<int>>("errors"); // bit errors of each report's 100 frames
    QTest::addColumn<int>("lost");
    QTest::addColumn<int>("outcome");
    QTest::addColumn<QString>("head");
    QList<int> steady, bursts, fewBursts;
    for (int i = 0; i < 40; ++i) {
        steady << 10;
        bursts << (i % 4 == 3 ? 40 : 0);
    }
    fewBursts = bursts.mid(0, 8);
    // 400 errors in 40 · 51200 bits either way: the Poisson bound alone is 2.12e-4 for both
    QTest::newRow("independent errors pass")
        << 2.5e-4 << steady << 0 << int(Outcome::Pass) << "pass: BER below 0.000212, at or below 0.00025 (";
    QTest::newRow("the same errors in bursts are not decided")
        << 2.5e-4 << bursts << 0 << int(Outcome::NotDecided)
        << "not decided: the limit 0.00025 lies between the bounds 0.000104 and 0.000287 allowing for clusters";
    QTest::newRow("bursts pass a wider limit")
        << 3e-4 << bursts << 0 << int(Outcome::Pass) << "pass: BER below 0.000212 and below 0.000287 allowing";
    QTest::newRow("bursts in too few intervals")
        << 3e-4 << fewBursts << 0 << int(Outcome::NotDecided)
        << "not decided: errors come in bursts in too few intervals (2 of the 10 needed hold errors); a decision "
           "needs 8 more intervals with errors";
    QTest::newRow("one lost frame fails")
        << 1.0 << steady << 1 << int(Outcome::Fail) << "fail: 1 frame lost, more than the 0 allowed (";
}

void TestRunAnalysis::verdicts()
{
    QFETCH(double, maxBer);
    QFETCH(QList<int>, errors);
    QFETCH(int, lost);
    QFETCH(int, outcome);
    QFETCH(QString, head);
    RunSettings settings;
    settings.maxBer = maxBer;
    RunAnalysis run(settings);
    ReportCounts counts;
    for (qsizetype i = 0; i < errors.size(); ++i) {
        counts.recvFrame += 100;
        counts.errorFrame += errors[i] > 0 ? 10 : 0;
        counts.errorBit += errors[i];
        counts.lossFrame += i + 1 == errors.size() ? lost : 0;
        run.add(1000 * i, counts);
    }
    const measurement::Verdict verdict = measurement::decide(run);
    QVERIFY2(verdict.line.startsWith(head), qPrintable(verdict.line));
    QCOMPARE(int(verdict.outcome), outcome);
    QVERIFY(verdict.figures.contains(outcome == int(Outcome::Pass) ? "verdict=pass" : "verdict="));
    // The criteria one by one come to the same verdict.
    const std::vector<measurement::Criterion> criteria = measurement::criteria(run, double(errors.size()));
    QCOMPARE(criteria.size(), size_t(2)); // the BER and the lost frames
    QCOMPARE(verdict.outcome == Outcome::Fail,
             std::any_of(criteria.begin(), criteria.end(), [](const auto& c) { return c.outcome == Outcome::Fail; }));
    QCOMPARE(verdict.outcome == Outcome::Pass,
             std::all_of(criteria.begin(), criteria.end(), [](const auto& c) { return c.outcome == Outcome::Pass; }));
}

void TestRunAnalysis::criteriaOfErrorPerformance_data()
{
    QTest::addColumn<int>("maxEs");
    QTest::addColumn<bool>("reached");        // the run lasted its --duration of 30 s
    QTest::addColumn<QStringList>("results"); // of ES, then of the duration
    QTest::newRow("within, whole run") << 100 << true << QStringList{"PASS", "PASS"};
    QTest::newRow("within, stopped early") << 100 << false
                                           << QStringList{"NOT DECIDED: within the limit, but the run ended early",
                                                          "NOT DECIDED: stopped 0:00:10 before its end"};
    QTest::newRow("over") << 0 << true << QStringList{"FAIL", "PASS"};
}

// A run of 20 reports a second apart, each with an errored frame.
void TestRunAnalysis::criteriaOfErrorPerformance()
{
    QFETCH(int, maxEs);
    QFETCH(bool, reached);
    QFETCH(QStringList, results);
    RunSettings settings;
    settings.maxEs = maxEs;
    settings.durationSeconds = 30;
    RunAnalysis run(settings);
    ReportCounts counts;
    for (int i = 0; i < 20; ++i) {
        counts.recvFrame += 100;
        counts.errorFrame += 1;
        counts.errorBit += 1;
        run.add(1'800'000'000'000 + 1000 * i, counts);
    }
    run.setReachedDuration(reached);
    QStringList got;
    for (const measurement::Criterion& c : measurement::criteria(run, reached ? 30 : 20))
        got << measurement::outcomeWord(c.outcome) + (c.reason.isEmpty() ? QString() : ": " + c.reason);
    QCOMPARE(got, results);
}

void TestRunAnalysis::totalsThatWouldOverflowAreRefused_data()
{
    // The reports in turn; the last one is refused.
    QTest::addColumn<Reports>("reports");
    const quint64 most = std::numeric_limits<quint64>::max();
    const quint64 bitsFull = most / measurement::kBitsPerFrame; // frames whose bits just fit
    QTest::newRow("one report's bits") << Reports{{bitsFull + 1, 0}};
    QTest::newRow("two periods' bits") << Reports{{bitsFull, 0}, {1, 0}};
    QTest::newRow("two periods' bit errors") << Reports{{2, most}, {1, 0}, {0, 1}};
}

void TestRunAnalysis::totalsThatWouldOverflowAreRefused()
{
    QFETCH(Reports, reports);
    measurement::RunTotals totals(measurement::CounterModel::Restart);
    for (qsizetype i = 0; i + 1 < reports.size(); ++i)
        totals.add({reports[i].first, 0, 0, reports[i].second});
    const ReportCounts before = totals.totals();
    QVERIFY_THROWS_EXCEPTION(std::overflow_error, totals.add({reports.last().first, 0, 0, reports.last().second}));
    QCOMPARE(totals.totals().recvFrame, before.recvFrame); // the totals as they were
    QCOMPARE(totals.totals().errorBit, before.errorBit);
}

QTEST_GUILESS_MAIN(TestRunAnalysis)
#include "test_run_analysis.moc"
