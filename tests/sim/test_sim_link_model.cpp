#include "emulator/CounterReportEncoding.h"
#include "emulator/LinkModel.h"

#include <QTest>

#include <cmath>

using emulator::LinkCounts;
using emulator::LinkModel;
using emulator::LinkRates;

class TestLinkModel : public QObject
{
    Q_OBJECT

private slots:
    void encodesReportBigEndian();
    void countsWrapLikeTheUnitsRegisters();
    void newPeriodRestartsAllCountsTogether_data();
    void newPeriodRestartsAllCountsTogether();
    void honoursRatesOverALongRun_data();
    void honoursRatesOverALongRun();
    void carriesFractionsOfAFrame();
    void sameSeedGivesSameCounts();
};

void TestLinkModel::encodesReportBigEndian()
{
    const auto hex = [](const LinkCounts& counts, quint8 lastByte) {
        return emulator::encodeReport(counts, lastByte).toHex(' ');
    };
    QCOMPARE(hex({1000, 10, 2, 5}, 0x7F), "f1 03 e8 00 0a 00 02 00 00 00 05 7f");
    QCOMPARE(hex({0x0102, 0x0304, 0x0506, 0x0708090A}, 0x0B), "f1 01 02 03 04 05 06 07 08 09 0a 0b");
    QCOMPARE(hex({65535, 65535, 65535, 4294967295u}, 0xFF), "f1 ff ff ff ff ff ff ff ff ff ff ff");
}

void TestLinkModel::countsWrapLikeTheUnitsRegisters()
{
    // Every bit wrong and half the frames lost: every counter passes the top of its register.
    LinkModel link({.frameRate = 1e6, .bitErrorRate = 1, .frameLossRate = 0.5}, 1, emulator::CountOverflow::Wrap);
    link.advance(18);
    const auto& totals = link.totals();
    QVERIFY(totals.framesReceived > 65535 && totals.framesLost > 65535);
    QVERIFY(totals.bitErrors > Q_UINT64_C(0xFFFFFFFF));

    const LinkCounts counts = link.counts();
    QCOMPARE(counts.recvFrame, quint16(totals.framesReceived % 65536));
    QCOMPARE(counts.lossFrame, quint16(totals.framesLost % 65536));
    QCOMPARE(counts.errorFrame, quint16(totals.framesReceived % 65536));
    QCOMPARE(counts.errorBit, quint32(totals.framesReceived * 512 % Q_UINT64_C(0x100000000)));
}

void TestLinkModel::newPeriodRestartsAllCountsTogether_data()
{
    QTest::addColumn<double>("frameRate");
    QTest::addColumn<double>("bitErrorRate");
    QTest::addColumn<double>("lossRate");
    QTest::addColumn<double>("stepSeconds");

    QTest::newRow("received passes first") << 1e4 << 1e-5 << 0.01 << 0.25;
    QTest::newRow("lost passes first") << 1e4 << 1e-5 << 0.6 << 0.25;
    QTest::newRow("long steps, counted in parts") << 1e5 << 1.0 << 0.01 << 0.9;
    QTest::newRow("steps far past the registers") << 1e7 << 1e-4 << 0.01 << 3.0;
}

void TestLinkModel::newPeriodRestartsAllCountsTogether()
{
    QFETCH(double, frameRate);
    QFETCH(double, bitErrorRate);
    QFETCH(double, lossRate);
    QFETCH(double, stepSeconds);
    LinkModel link({.frameRate = frameRate, .bitErrorRate = bitErrorRate, .frameLossRate = lossRate}, 5);
    int restarts = 0;
    for (int step = 0; step < 120; ++step) {
        const auto start = link.periodStart();
        link.advance(stepSeconds);
        const auto& end = link.totals();
        const auto& period = link.periodStart();
        // The counts are the period's exactly, none wrapped: all four cover the same frames.
        const LinkCounts counts = link.counts();
        QCOMPARE(counts, LinkCounts({quint16(end.framesReceived - period.framesReceived),
                                     quint16(end.framesLost - period.framesLost),
                                     quint16(end.framesWithErrors - period.framesWithErrors),
                                     quint32(end.bitErrors - period.bitErrors)}));
        QVERIFY(end.framesReceived - period.framesReceived <= 65535 && end.framesLost - period.framesLost <= 65535);
        if (period == start)
            continue;
        // A new period, begun in this step, only when a count of the old one would have passed 65535.
        ++restarts;
        QVERIFY(period.framesSent > start.framesSent);
        QVERIFY(end.framesReceived - start.framesReceived > 65535 || end.framesLost - start.framesLost > 65535
                || end.framesWithErrors - start.framesWithErrors > 65535);
    }
    QVERIFY(restarts > 0);
}

void TestLinkModel::honoursRatesOverALongRun_data()
{
    QTest::addColumn<double>("bitErrorRate");
    QTest::addColumn<int>("steps"); // 100 seconds in this many equal steps

    // Few errored frames a step are drawn frame by frame, many in one sum: both must hold the rates.
    QTest::newRow("low rate, second by second") << 1e-3 << 100;
    QTest::newRow("low rate, one step") << 1e-3 << 1;
    QTest::newRow("high rate, one step") << 1e-2 << 1;
}

void TestLinkModel::honoursRatesOverALongRun()
{
    QFETCH(double, bitErrorRate);
    QFETCH(int, steps);
    const double lossRate = 0.01;
    LinkModel link({.frameRate = 1000, .bitErrorRate = bitErrorRate, .frameLossRate = lossRate}, 3);
    for (int i = 0; i < steps; ++i)
        link.advance(100.0 / steps);

    const auto& totals = link.totals();
    QCOMPARE(totals.framesSent, 100000u);
    QCOMPARE(totals.framesReceived + totals.framesLost, totals.framesSent);
    QVERIFY(totals.framesWithErrors <= totals.bitErrors && totals.bitErrors <= 512 * totals.framesWithErrors);

    const auto near = [](quint64 actual, double expected, double tolerance) {
        return std::abs(double(actual) / expected - 1) < tolerance;
    };
    const double received = double(totals.framesReceived);
    QVERIFY2(near(totals.framesLost, 100000 * lossRate, 0.15), QByteArray::number(totals.framesLost));
    QVERIFY2(near(totals.bitErrors, received * 512 * bitErrorRate, 0.03), QByteArray::number(totals.bitErrors));
    const double frameErrorChance = 1 - std::pow(1 - bitErrorRate, 512);
    QVERIFY2(near(totals.framesWithErrors, received * frameErrorChance, 0.03),
             QByteArray::number(totals.framesWithErrors));
}

void TestLinkModel::carriesFractionsOfAFrame()
{
    LinkModel link({.frameRate = 1000, .bitErrorRate = 0, .frameLossRate = 0});
    for (int i = 0; i < 2500; ++i)
        link.advance(0.0004); // 0.4 frames each
    QVERIFY(qAbs(qint64(link.totals().framesSent) - 1000) <= 1);

    const auto before = link.totals();
    link.advance(0);
    link.advance(-1);
    link.advance(std::nan(""));
    QCOMPARE(link.totals(), before);
    link.advance(INFINITY); // cut short, not overflowed
    QVERIFY(link.totals().framesSent > before.framesSent && link.totals().framesSent < Q_UINT64_C(1) << 53);
}

void TestLinkModel::sameSeedGivesSameCounts()
{
    const LinkRates rates{.frameRate = 1000, .bitErrorRate = 1e-3, .frameLossRate = 0.05};
    LinkModel first(rates, 7), second(rates, 7), other(rates, 8);
    for (double seconds : {0.3, 1.0, 2.5, 0.01}) {
        first.advance(seconds);
        second.advance(seconds);
        other.advance(seconds);
    }
    QCOMPARE(first.totals(), second.totals());
    QVERIFY(first.counts() == second.counts());
    QVERIFY(!(first.totals() == other.totals()));
}

QTEST_GUILESS_MAIN(TestLinkModel)
#include "test_sim_link_model.moc"
