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
    void honoursRatesOverALongRun_data();
    void honoursRatesOverALongRun();
    void carriesFractionsOfAFrame();
    void sameSeedGivesSameCounts();
};

void TestLinkModel::encodesReportBigEndian()
{
    const auto hex = [](const LinkCounts& counts, quint8 lastByte) { return emulator::encodeReport(counts, lastByte).toHex(' '); };
    QCOMPARE(hex({ 1000, 10, 2, 5 }, 0x7F), "f1 03 e8 00 0a 00 02 00 00 00 05 7f");
    QCOMPARE(hex({ 0x0102, 0x0304, 0x0506, 0x0708090A }, 0x0B), "f1 01 02 03 04 05 06 07 08 09 0a 0b");
    QCOMPARE(hex({ 65535, 65535, 65535, 4294967295u }, 0xFF), "f1 ff ff ff ff ff ff ff ff ff ff ff");
}

void TestLinkModel::countsWrapLikeTheUnitsRegisters()
{
    // Every bit wrong and half the frames lost: every counter passes the top of its register.
    LinkModel link({ .frameRate = 1e6, .bitErrorRate = 1, .frameLossRate = 0.5 });
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

void TestLinkModel::honoursRatesOverALongRun_data()
{
    QTest::addColumn<double>("bitErrorRate");
    QTest::addColumn<int>("steps");  // 100 seconds in this many equal steps

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
    LinkModel link({ .frameRate = 1000, .bitErrorRate = bitErrorRate, .frameLossRate = lossRate }, 3);
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
    QVERIFY2(near(totals.framesWithErrors, received * frameErrorChance, 0.03), QByteArray::number(totals.framesWithErrors));
}

void TestLinkModel::carriesFractionsOfAFrame()
{
    LinkModel link({ .frameRate = 1000, .bitErrorRate = 0, .frameLossRate = 0 });
    for (int i = 0; i < 2500; ++i)
        link.advance(0.0004);  // 0.4 frames each
    QVERIFY(qAbs(qint64(link.totals().framesSent) - 1000) <= 1);

    const auto before = link.totals();
    link.advance(0);
    link.advance(-1);
    link.advance(std::nan(""));
    QCOMPARE(link.totals(), before);
    link.advance(INFINITY);  // cut short, not overflowed
    QVERIFY(link.totals().framesSent > before.framesSent && link.totals().framesSent < Q_UINT64_C(1) << 53);
}

void TestLinkModel::sameSeedGivesSameCounts()
{
    const LinkRates rates { .frameRate = 1000, .bitErrorRate = 1e-3, .frameLossRate = 0.05 };
    LinkModel first(rates, 7), second(rates, 7), other(rates, 8);
    for (double seconds : { 0.3, 1.0, 2.5, 0.01 }) {
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
