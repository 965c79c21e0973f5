// Errored seconds, severely errored seconds and unavailable time, against figures worked out by hand.

#include "emulator/LinkRun.h"
#include "measurement/ErrorPerformance.h"

#include <QtTest>

#include <algorithm>
#include <functional>
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
// The line: its wire time, the latency the analysis allows, and the send
// delay, up to `delayMs`, that each report truly had after its counts.
struct Line
{
    measurement::LineTiming timing;
    qint64 delayMs = 0;
};

PropertyRun runAgainstTheTruth(quint32 seed, int fromMs, int toMs, bool quiet = false, int severePercent = 30,
                               Line line = {})
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
    ErrorPerformance performance(CounterModel::Restart, line.timing, severePercent);
    RunTotals totals(CounterModel::Restart);
    const auto report = [&](qint64 ms) {
        const emulator::LinkCounts c = link.advanceTo(ms);
        const ReportCounts counts{c.recvFrame, c.lossFrame, c.errorFrame, c.errorBit};
        // Counts taken at `ms`, the report's last byte in after its wire time and delay.
        const qint64 delay = line.delayMs > 0 ? qint64(random() % quint32(line.delayMs + 1)) : 0;
        const qint64 arrived = ms + qint64(std::ceil(line.timing.wireMs)) + delay;
        performance.add(arrived, counts, totals.add(counts));
    };
    qint64 now = start;
    report(now);
    while (now < start + 300'000) {
        now += std::uniform_int_distribution<qint64>(fromMs, toMs)(random);
        report(now);
    }

    // The truth over the seconds the analysis speaks for: the window before
    // the first report may reach into a second before the link's first.
    const std::vector<measurement::SecondSpan> spans = performance.spans();
    std::vector<emulator::SecondTruth> seconds;
    for (qint64 second = spans.front().first; second < spans.back().first + spans.back().seconds; ++second)
        seconds.push_back({second, 0, 0, 0});
    for (const emulator::SecondTruth& t : link.truth())
        if (t.second >= seconds.front().second && t.second <= seconds.back().second)
            seconds[size_t(t.second - seconds.front().second)] = t;
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
    for (const measurement::SecondSpan& span : spans) {
        for (qint64 k = 0; k < span.seconds && i < truth.classes.size(); ++k, ++i) {
            run.exact += span.least == span.most && !span.unknown;
            if (run.outside.isEmpty() && (truth.classes[i] < span.least || truth.classes[i] > span.most))
                run.outside = QStringLiteral("second %1 outside its classes").arg(i);
        }
    }
    return run;
}

// A few seconds at 10 frames a second, reports on frame boundaries, each
// interval with at most two bad frames. Every placement the analysis allows
// enumerated: an interval's frames spread evenly over its seconds give or
// take one (frame clocks need not round alike), its bad frames among them.
struct Placements
{
    double esLeast = INFINITY, esMost = -INFINITY, sesLeast = INFINITY, sesMost = -INFINITY;
};

struct SmallInterval
{
    qint64 fromMs, toMs; // multiples of 100
    int errored, lost;
};

Placements everyPlacement(const std::vector<SmallInterval>& intervals, qint64 firstSecond, int seconds)
{
    Placements out;
    std::vector<int> blocks(static_cast<size_t>(seconds), 0), errored = blocks, lost = blocks;
    std::function<void(size_t)> place = [&](size_t k) {
        if (k == intervals.size()) {
            int es = 0, ses = 0;
            for (size_t s = 0; s < blocks.size(); ++s) {
                es += errored[s] + lost[s] > 0;
                ses += lost[s] > 0 || (blocks[s] > 0 && errored[s] * 100 >= 30 * blocks[s]);
            }
            out.esLeast = std::min(out.esLeast, double(es));
            out.esMost = std::max(out.esMost, double(es));
            out.sesLeast = std::min(out.sesLeast, double(ses));
            out.sesMost = std::max(out.sesMost, double(ses));
            return;
        }
        const SmallInterval& i = intervals[k];
        const size_t from = size_t(i.fromMs / 1000 - firstSecond), to = size_t((i.toMs - 1) / 1000 - firstSecond);
        std::vector<int> even;
        for (size_t s = from; s <= to; ++s) {
            const qint64 begin = std::max(i.fromMs, qint64(firstSecond + qint64(s)) * 1000);
            const qint64 end = std::min(i.toMs, qint64(firstSecond + qint64(s) + 1) * 1000);
            even.push_back(int((end - begin) / 100));
        }
        const int frames = int((i.toMs - i.fromMs) / 100);
        // The frames a second, then the errored and the lost frames among them.
        std::vector<int> share(even.size());
        std::function<void(size_t, int)> spreadFrames, spreadBad;
        int erroredLeft = 0, lostLeft = 0;
        spreadBad = [&](size_t s, int) {
            if (s == even.size()) {
                if (erroredLeft == 0 && lostLeft == 0)
                    place(k + 1);
                return;
            }
            const size_t at = from + s;
            for (int e = 0; e <= erroredLeft; ++e)
                for (int l = 0; l <= lostLeft && e + l <= share[s]; ++l) {
                    errored[at] += e, lost[at] += l, blocks[at] += share[s];
                    erroredLeft -= e, lostLeft -= l;
                    spreadBad(s + 1, 0);
                    erroredLeft += e, lostLeft += l;
                    errored[at] -= e, lost[at] -= l, blocks[at] -= share[s];
                }
        };
        spreadFrames = [&](size_t s, int left) {
            if (s == even.size()) {
                if (left == 0) {
                    erroredLeft = i.errored;
                    lostLeft = i.lost;
                    spreadBad(0, 0);
                }
                return;
            }
            const int slack = even.size() == 1 ? 0 : 1;
            for (int n = std::max(0, even[s] - slack); n <= std::min(left, even[s] + slack); ++n) {
                share[s] = n;
                spreadFrames(s + 1, left - n);
            }
        };
        spreadFrames(0, frames);
    };
    place(0);
    return out;
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
    void smallRunsAgainstEveryPlacement();
    void sendDelaysWithinTheLatency_data();
    void sendDelaysWithinTheLatency();
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
    // its second, the lost frame of the second interval in its second or its third. They may
    // share the middle second, or make two seconds errored; the lost frame makes one severe.
    ErrorPerformance performance(CounterModel::Restart);
    RunTotals totals(CounterModel::Restart);
    const auto report = [&](qint64 ms, ReportCounts counts) { performance.add(ms, counts, totals.add(counts)); };
    report(0, {});
    report(1500, {150, 0, 1, 1});
    report(3000, {300, 1, 1, 1});
    const measurement::ErrorPerformanceFigures f = performance.figures();
    QCOMPARE(f.seconds, 3);
    QCOMPARE(f.es.text(), QStringLiteral("[1,2]"));
    QCOMPARE(f.ses.text(), QStringLiteral("1"));
    QCOMPARE(f.efs.text(), QStringLiteral("[1,2]"));
    QCOMPARE(f.unavailable.text(), QStringLiteral("0"));
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

void TestErrorPerformance::sendDelaysWithinTheLatency_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("latencyMs");
    QTest::newRow("9600 baud, a USB adapter") << 9600 << 20;
    QTest::newRow("115200 baud, a USB adapter") << 115200 << 20;
    QTest::newRow("115200 baud, a slow adapter") << 115200 << 200;
}

void TestErrorPerformance::sendDelaysWithinTheLatency()
{
    QFETCH(int, baud);
    QFETCH(int, latencyMs);
    const double wireMs = 12.0 * 10 * 1000 / baud;
    // Reports that spend their wire time and up to the latency on the way: every pair holds the truth.
    for (quint32 seed = 1; seed <= 30; ++seed) {
        const int fromMs = 50 + int(seed * 7919 % 2000);
        const Line line{{wireMs, latencyMs}, latencyMs};
        const PropertyRun run =
            runAgainstTheTruth(seed, fromMs, std::min(5000, fromMs * (1 + int(seed % 4))), false, 30, line);
        QVERIFY2(run.outside.isEmpty(), qPrintable(QStringLiteral("seed %1: %2").arg(seed).arg(run.outside)));
    }
    // Analysed as if the counts were taken on arrival: the truth falls outside somewhere.
    bool caught = false;
    for (quint32 seed = 1; seed <= 40 && !caught; ++seed)
        caught = !runAgainstTheTruth(seed, 100, 300, false, 30, Line{{0, 0}, latencyMs}).outside.isEmpty();
    QVERIFY(caught);
}

void TestErrorPerformance::smallRunsAgainstEveryPlacement()
{
    std::mt19937 random(7);
    int exactSes = 0, lossOnly = 0;
    for (int run = 0; run < 300; ++run) {
        ErrorPerformance performance(CounterModel::Wrap);
        RunTotals totals(CounterModel::Wrap);
        ReportCounts counts;
        const qint64 start = 1'800'000'000'000 + 100 * qint64(random() % 10);
        std::vector<SmallInterval> intervals;
        const auto report = [&](qint64 ms) { performance.add(ms, counts, totals.add(counts)); };
        report(start);
        bool lostOnly = true;
        for (qint64 at = start; at < start + 3000;) {
            // The first interval the longest: no later one is a silence.
            const qint64 next = at + (at == start ? 1700 : 300 + 100 * qint64(random() % 15));
            SmallInterval interval{at, next, int(random() % 3), 0};
            interval.lost = int(random() % (3 - interval.errored));
            lostOnly = lostOnly && interval.errored == 0;
            intervals.push_back(interval);
            counts.recvFrame += quint64((next - at) / 100 - interval.lost);
            counts.errorFrame += quint64(interval.errored);
            counts.lossFrame += quint64(interval.lost);
            report(next);
            at = next;
        }
        const qint64 first = start / 1000;
        const int seconds = int((intervals.back().toMs - 1) / 1000 - first + 1);
        const Placements truth = everyPlacement(intervals, first, seconds);
        const measurement::ErrorPerformanceFigures f = performance.figures();
        QCOMPARE(f.seconds, seconds);
        // Too few seconds for unavailable time: ES is as tight as the placements allow.
        QCOMPARE(f.es.least, truth.esLeast);
        QCOMPARE(f.es.most, truth.esMost);
        QVERIFY(f.ses.least <= truth.sesLeast && truth.sesMost <= f.ses.most);
        if (lostOnly) {
            // Lost frames alone make seconds severe: exact too.
            ++lossOnly;
            QCOMPARE(f.ses.least, truth.sesLeast);
            QCOMPARE(f.ses.most, truth.sesMost);
        }
        exactSes += f.ses.least == truth.sesLeast && f.ses.most == truth.sesMost;
    }
    qInfo("SES as tight as the placements in %d of 300 runs, %d with lost frames only", exactSes, lossOnly);
}

QTEST_GUILESS_MAIN(TestErrorPerformance)
#include "test_error_performance.moc"
