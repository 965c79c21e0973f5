#include "emulator/LinkRun.h"

#include <QTest>

#include <cmath>
#include <random>

using emulator::EmulatorSettings;
using emulator::LinkRun;
using emulator::SecondTruth;

Q_DECLARE_METATYPE(emulator::EmulatorSettings)

namespace {

constexpr qint64 kStartMs = 1796771889400; // 2026-12-08T23:18:09.400Z

// Runs to `endMs` in steps of 1 ms to 2.9 s, drawn from `stepSeed`; the truth of every second.
// With `bySeconds` the run stops at each UTC second on the way too, and hands on the truth of each
// second as it ends.
std::vector<SecondTruth> runInSteps(LinkRun& run, qint64 endMs, quint32 stepSeed, bool bySeconds = false)
{
    std::mt19937 random(stepSeed);
    std::uniform_int_distribution<qint64> step(1, 2900);
    std::vector<SecondTruth> truth;
    while (run.nowMs() < endMs) {
        const qint64 to = std::min(endMs, run.nowMs() + step(random));
        for (qint64 second = run.nowMs() / 1000 + 1; bySeconds && second * 1000 < to; ++second) {
            run.advanceTo(second * 1000);
            const std::vector<SecondTruth> ended = run.takeCompleteTruth();
            truth.insert(truth.end(), ended.begin(), ended.end());
        }
        run.advanceTo(to);
    }
    truth.insert(truth.end(), run.truth().begin(), run.truth().end());
    return truth;
}

EmulatorSettings troubledLink(double bitErrorRate, int clusterBits = 1, int clusterFrames = 1)
{
    EmulatorSettings settings;
    settings.link = {.frameRate = 1000, .bitErrorRate = bitErrorRate, .frameLossRate = 0.01};
    settings.link.clusterBits = clusterBits;
    settings.link.clusterFrames = clusterFrames;
    settings.conditions = {.erroredSecondChance = 0.2, .outages = {{5, 3}}, .outageChance = 0.05, .outageSeconds = 4};
    settings.seed = 9;
    return settings;
}

} // namespace

class TestLinkRun : public QObject
{
    Q_OBJECT

private slots:
    void truthAddsUpToTotalsAndReports_data();
    void truthAddsUpToTotalsAndReports();
    void outageSecondsHoldOnlyLostFrames_data();
    void outageSecondsHoldOnlyLostFrames();
    void erroredSecondsHitTheirShare_data();
    void erroredSecondsHitTheirShare();
    void writesTruthAsCsv();
};

void TestLinkRun::truthAddsUpToTotalsAndReports_data()
{
    QTest::addColumn<EmulatorSettings>("settings");

    QTest::newRow("plain link") << EmulatorSettings{};
    QTest::newRow("errored seconds and outages") << troubledLink(1e-5);
    QTest::newRow("clustered, errored seconds and outages") << troubledLink(1e-4, 64, 8);
}

void TestLinkRun::truthAddsUpToTotalsAndReports()
{
    QFETCH(EmulatorSettings, settings);
    LinkRun run(settings, kStartMs);
    // 50 s of 1000 frames: no count passes 65535, so the reports' counts are the run's totals.
    const qint64 endMs = kStartMs + 50000;
    const std::vector<SecondTruth> truth = runInSteps(run, endMs, 1);

    QCOMPARE(truth.front().second, kStartMs / 1000);
    QCOMPARE(truth.back().second, (endMs - 1) / 1000);
    QCOMPARE(qint64(truth.size()), truth.back().second - truth.front().second + 1);
    emulator::LinkTotals sums;
    for (size_t i = 0; i < truth.size(); ++i) {
        QCOMPARE(truth[i].second, truth.front().second + qint64(i));
        if (i > 0 && i + 1 < truth.size()) // a whole second: frames go out evenly
            QVERIFY2(qAbs(qint64(truth[i].blocks) - 1000) <= 1, qPrintable(QString::number(truth[i].blocks)));
        sums.framesSent += truth[i].blocks;
        sums.framesWithErrors += truth[i].erroredBlocks;
        sums.framesLost += truth[i].lostFrames;
    }
    const emulator::LinkTotals& totals = run.totals();
    QCOMPARE(sums.framesSent, totals.framesSent);
    QCOMPARE(sums.framesWithErrors, totals.framesWithErrors);
    QCOMPARE(sums.framesLost, totals.framesLost);
    const emulator::LinkCounts counts = run.counts();
    QCOMPARE(quint64(counts.recvFrame) + counts.lossFrame, sums.framesSent);
    QCOMPARE(quint64(counts.errorFrame), sums.framesWithErrors);

    // Stopping at each second on the way, as the emulator does for the truth, changes nothing.
    LinkRun again(settings, kStartMs);
    QVERIFY(runInSteps(again, endMs, 1, true) == truth);
    QCOMPARE(again.totals(), totals);
}

void TestLinkRun::outageSecondsHoldOnlyLostFrames_data()
{
    QTest::addColumn<EmulatorSettings>("settings");
    QTest::addColumn<QList<int>>("starts"); // the outages' first seconds, in order; empty: drawn
    QTest::addColumn<QList<int>>("lengths");

    EmulatorSettings chosen;
    chosen.link = {.frameRate = 500, .bitErrorRate = 1e-4, .frameLossRate = 0};
    chosen.conditions.outages = {{40, 1}, {20, 12}};
    QTest::newRow("chosen") << chosen << QList<int>{20, 40} << QList<int>{12, 1};

    // Error events under way when sync goes pass with the lost frames.
    EmulatorSettings clustered = chosen;
    clustered.link.clusterBits = 200;
    clustered.link.clusterFrames = 100;
    clustered.link.bitErrorRate = 1e-3;
    QTest::newRow("chosen, clustered errors") << clustered << QList<int>{20, 40} << QList<int>{12, 1};

    // Outages that follow each other at once run together: a multiple of 4 seconds.
    EmulatorSettings drawn = chosen;
    drawn.conditions.outages.clear();
    drawn.conditions.outageChance = 0.05;
    drawn.conditions.outageSeconds = 4;
    QTest::newRow("drawn") << drawn << QList<int>{} << QList<int>{4};
}

void TestLinkRun::outageSecondsHoldOnlyLostFrames()
{
    QFETCH(EmulatorSettings, settings);
    QFETCH(QList<int>, starts);
    QFETCH(QList<int>, lengths);
    LinkRun run(settings, kStartMs);
    const std::vector<SecondTruth> truth = runInSteps(run, kStartMs + 300000, 3);

    QList<int> foundStarts;
    QList<int> foundLengths;
    for (const SecondTruth& second : truth) {
        if (second.lostFrames == 0)
            continue;
        QVERIFY(second.lostFrames == second.blocks && second.erroredBlocks == 0);
        const auto index = int(second.second - truth.front().second);
        if (foundStarts.isEmpty() || foundStarts.last() + foundLengths.last() != index) {
            foundStarts.append(index);
            foundLengths.append(0);
        }
        ++foundLengths.last();
    }
    if (!starts.isEmpty()) {
        QCOMPARE(foundStarts, starts);
        QCOMPARE(foundLengths, lengths);
        return;
    }
    QVERIFY2(foundLengths.size() > 5, qPrintable(QString::number(foundLengths.size())));
    for (int length : foundLengths.mid(0, foundLengths.size() - 1)) // the last may run past the end
        QVERIFY2(length % lengths.first() == 0, qPrintable(QString::number(length)));
}

void TestLinkRun::erroredSecondsHitTheirShare_data()
{
    QTest::addColumn<double>("bitErrorRate");
    QTest::addColumn<double>("expectedShare"); // errored blocks of the errored seconds

    QTest::newRow("clean link") << 0.0 << 0.3;
    // A frame in error of its own is counted once: 1 - (1 - 0.05)(1 - 0.3).
    QTest::newRow("with its own errors") << 1.0e-4 << 1 - (1 - (1 - std::pow(1 - 1e-4, 512))) * 0.7;
}

void TestLinkRun::erroredSecondsHitTheirShare()
{
    QFETCH(double, bitErrorRate);
    QFETCH(double, expectedShare);
    EmulatorSettings settings;
    settings.link = {.frameRate = 10000, .bitErrorRate = bitErrorRate, .frameLossRate = 0};
    settings.conditions.erroredSecondChance = 0.5;
    settings.conditions.erroredShare = 0.3;
    LinkRun run(settings, kStartMs);
    const std::vector<SecondTruth> truth = runInSteps(run, kStartMs + 100000, 4);

    // With a clean link only the errored seconds have errors; else they stand far above the rest.
    quint64 blocks = 0;
    quint64 errored = 0;
    int erroredSeconds = 0;
    for (const SecondTruth& second : truth) {
        if (double(second.erroredBlocks) < 0.2 * double(second.blocks) || second.blocks < 100) {
            QVERIFY(bitErrorRate > 0 || second.erroredBlocks == 0);
            continue;
        }
        ++erroredSeconds;
        blocks += second.blocks;
        errored += second.erroredBlocks;
    }
    QVERIFY2(erroredSeconds > 30 && erroredSeconds < 70, qPrintable(QString::number(erroredSeconds)));
    const double share = double(errored) / double(blocks);
    QVERIFY2(qAbs(share - expectedShare) < 0.01, qPrintable(QString::number(share)));
}

void TestLinkRun::writesTruthAsCsv()
{
    QCOMPARE(emulator::truthCsvHeader(), "time,blocks,errored_blocks,lost_frames\n");
    QCOMPARE(emulator::truthCsvLine({kStartMs / 1000, 1000, 7, 12}), "2026-12-08T23:18:09Z,1000,7,12\n");
}

QTEST_GUILESS_MAIN(TestLinkRun)
#include "test_sim_link_run.moc"
