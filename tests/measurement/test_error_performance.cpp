// Errored seconds, severely errored seconds and unavailable time, against figures worked out by hand.

#include "emulator/LinkRun.h"
#include "measurement/ErrorPerformance.h"

#include <QtTest>

#include <random>

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

// The figures a run's own per-second counts give, and the class of each second.
struct Truth
{
    measurement::ErrorPerformanceFigures figures;
    std::vector<measurement::SecondClass> classes;
};

Truth truthOf(const std::vector<emulator::SecondTruth>& seconds)
{
    using measurement::SecondClass;
    struct Second
    {
        bool errored, severe;
        quint64 erroredBlocks, blocks;
    };
    std::vector<Second> kinds;
    for (const emulator::SecondTruth& s : seconds)
        kinds.push_back({s.erroredBlocks > 0 || s.lostFrames > 0,
                         s.lostFrames > 0 || (s.blocks > 0 && s.erroredBlocks * 100 >= 30 * s.blocks), s.erroredBlocks,
                         s.blocks});
    std::vector<bool> available;
    measurement::AvailabilityTracker tracker;
    const auto decided = [&](qint64 count, bool isAvailable) { available.insert(available.end(), count, isAvailable); };
    for (const Second& s : kinds)
        tracker.add(s.severe, decided);
    tracker.finish(decided);
    Truth truth;
    measurement::ErrorPerformanceFigures& f = truth.figures;
    double es = 0, ses = 0, efs = 0, bbe = 0, up = 0;
    for (size_t i = 0; i < kinds.size(); ++i) {
        const Second& s = kinds[i];
        up += available[i];
        es += available[i] && s.errored;
        ses += available[i] && s.severe;
        efs += available[i] && !s.errored;
        bbe += available[i] && !s.severe ? double(s.erroredBlocks) : 0;
        truth.classes.push_back(!available[i] ? SecondClass::Unavailable
                                : s.severe    ? SecondClass::Severe
                                : s.errored   ? SecondClass::Errored
                                              : SecondClass::ErrorFree);
    }
    f.seconds = qint64(kinds.size());
    f.available = {up, up};
    f.unavailable = {f.seconds - up, f.seconds - up};
    f.es = {es, es};
    f.ses = {ses, ses};
    f.efs = {efs, efs};
    f.bbe = {bbe, bbe};
    return truth;
}

struct PropertyRun
{
    int seconds = 0;
    int exact = 0;   // seconds whose least and most agree
    QString outside; // the first figure or second whose truth lies outside its bounds
};

// A random link over 300 s, reported at random intervals from `fromMs` to `toMs`, held against
// what the link did in each second. A quiet link has few errors outside its errored seconds and
// outages, and starts a new test period about once a minute at most.
PropertyRun runAgainstTheTruth(quint32 seed, int fromMs, int toMs, bool quiet = false, int severePercent = 30)
{
    std::mt19937 random(seed);
    const auto uniform = [&](double low, double high) { return std::uniform_real_distribution<>(low, high)(random); };
    emulator::EmulatorSettings settings;
    settings.seed = seed;
    // At most 60000 frames in 5 s: no period passes unseen.
    settings.link.frameRate = quiet ? uniform(200, 1000) : uniform(200, 12000);
    settings.link.bitErrorRate = std::pow(10, quiet ? uniform(-10, -8) : uniform(-8, -5));
    settings.link.clusterBits = random() % 2 ? 1 : 1 + int(random() % 64);
    settings.conditions.erroredSecondChance = uniform(0, 0.03);
    settings.conditions.erroredShare = uniform(0.05, 0.6);
    settings.conditions.outageChance = uniform(0, 0.01);
    settings.conditions.outageSeconds = 5 + int(random() % 20);
    const qint64 start = 1'800'000'000'000 + qint64(random() % 1000);
    emulator::LinkRun link(settings, start);
    ErrorPerformance performance(CounterModel::Restart, severePercent);
    RunTotals totals(CounterModel::Restart);
    const auto report = [&](qint64 ms) {
        const emulator::LinkCounts c = link.advanceTo(ms);
        const ReportCounts counts{c.recvFrame, c.lossFrame, c.errorFrame, c.errorBit};
        performance.add(ms, counts, totals.add(counts));
    };
    qint64 now = start;
    report(now);
    while (now < start + 300'000) {
        now += std::uniform_int_distribution<qint64>(fromMs, toMs)(random);
        report(now);
    }

    std::vector<emulator::SecondTruth> seconds = link.truth();
    if (!seconds.empty() && seconds.back().second * 1000 == now)
        seconds.pop_back(); // the run ended as this second began
    const Truth truth = truthOf(seconds);
    const measurement::ErrorPerformanceFigures f = performance.figures();
    PropertyRun run;
    run.seconds = int(f.seconds);
    if (f.seconds != truth.figures.seconds)
        run.outside = QStringLiteral("seconds %1, truly %2").arg(f.seconds).arg(truth.figures.seconds);
    const auto check = [&](const char* name, const measurement::Bounded& bounds, double value) {
        if (run.outside.isEmpty() && !(bounds.least <= value && value <= bounds.most))
            run.outside = QStringLiteral("%1 %2, truly %3").arg(QLatin1String(name), bounds.text()).arg(value);
    };
    check("available", f.available, truth.figures.available.least);
    check("unavailable", f.unavailable, truth.figures.unavailable.least);
    check("es", f.es, truth.figures.es.least);
    check("ses", f.ses, truth.figures.ses.least);
    check("efs", f.efs, truth.figures.efs.least);
    check("bbe", f.bbe, truth.figures.bbe.least);
    size_t i = 0;
    for (const measurement::SecondSpan& span : performance.spans()) {
        for (qint64 k = 0; k < span.seconds && i < truth.classes.size(); ++k, ++i) {
            run.exact += span.least == span.most && !span.unknown;
            if (run.outside.isEmpty() && (truth.classes[i] < span.least || truth.classes[i] > span.most))
                run.outside = QStringLiteral("second %1 outside its classes").arg(i);
        }
    }
    return run;
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
    void randomLinksAgainstTheTruth();
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
    // does not end the unavailable time; at the least they are all available, and may be clean.
    QCOMPARE(f.unavailable.text(), QStringLiteral("[0,13]"));
    QCOMPARE(f.es.text(), QStringLiteral("[0,12]"));
    QCOMPARE(f.efs.text(), QStringLiteral("[1,14]"));
}

void TestErrorPerformance::randomLinksAgainstTheTruth()
{
    int exact = 0, seconds = 0;
    for (quint32 seed = 1; seed <= 40; ++seed) {
        // Reports from 50 ms to 5 s apart, each link its own range.
        const int fromMs = 50 + int(seed * 7919 % 2000);
        const PropertyRun run = runAgainstTheTruth(seed, fromMs, std::min(5000, fromMs * (1 + int(seed % 4))));
        QVERIFY2(run.outside.isEmpty(), qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(run.outside)));
        // Reports 100 ms apart on a quiet link: nearly every second exact.
        const PropertyRun tight = runAgainstTheTruth(seed + 1000, 100, 100, true);
        QVERIFY2(tight.outside.isEmpty(),
                 qPrintable(QStringLiteral("seed %1: %2").arg(seed + 1000).arg(tight.outside)));
        exact += tight.exact;
        seconds += tight.seconds;
    }
    qInfo("%d of %d seconds exact", exact, seconds);
    QVERIFY2(exact >= 0.95 * seconds, qPrintable(QStringLiteral("%1 of %2 seconds exact").arg(exact).arg(seconds)));

    // Severely errored at 20 % instead of 30 %: the truth falls outside somewhere.
    bool caught = false;
    for (quint32 seed = 1; seed <= 40 && !caught; ++seed)
        caught = !runAgainstTheTruth(seed, 100, 100, true, 20).outside.isEmpty();
    QVERIFY(caught);
}

QTEST_GUILESS_MAIN(TestErrorPerformance)
#include "test_error_performance.moc"
