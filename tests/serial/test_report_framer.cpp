#include "serial/ReportFramer.h"

#include <QTest>

#include <random>

using serial::ReportFramer;
using Piece = ReportFramer::Piece;

namespace {

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

// A report with the given counts; byte 11 tells reports apart.
QByteArray report(quint16 recv, quint16 loss, quint16 errors, quint32 bits, quint8 tag)
{
    QByteArray bytes(12, '\0');
    const quint8 fields[] = {
        0xF1,           quint8(recv >> 8),  quint8(recv),       quint8(loss >> 8), quint8(loss), quint8(errors >> 8),
        quint8(errors), quint8(bits >> 24), quint8(bits >> 16), quint8(bits >> 8), quint8(bits), tag};
    for (int i = 0; i < 12; ++i)
        bytes[i] = char(fields[i]);
    return bytes;
}

const QByteArray kPlain1 = report(1000, 10, 2, 5, 0x7F);
const QByteArray kPlain2 = report(2000, 20, 4, 10, 0x80);
const QByteArray kPlain3 = report(3000, 30, 6, 15, 0x81);
const QByteArray kMarked1 = report(0xF1F1, 0, 2, 0xF1F1F1F1, 0x01); // marker bytes inside the counts
const QByteArray kMarked2 = report(0xF1F1, 0, 3, 0xF1F1F1F1, 0x02);

QList<QByteArray> reportsOf(const QList<Piece>& pieces)
{
    QList<QByteArray> reports;
    for (const Piece& piece : pieces)
        if (piece.kind == Piece::Report)
            reports.append(piece.bytes);
    return reports;
}

QByteArray bytesOf(const QList<Piece>& pieces)
{
    QByteArray bytes;
    for (const Piece& piece : pieces)
        bytes += piece.bytes;
    return bytes;
}

} // namespace

class TestReportFramer : public QObject
{
    Q_OBJECT
private slots:
    void framesTheLine_data();
    void framesTheLine();
    void normalReportIsYieldedAtOnceInAnyPieces();
    void quietLineTimeFollowsTheBaudRate_data();
    void quietLineTimeFollowsTheBaudRate();
    void overrunDropsTheOldestUndecidedBytes();
    void neverYieldsAReportThatWasNotSent_data();
    void neverYieldsAReportThatWasNotSent();
};

void TestReportFramer::framesTheLine_data()
{
    // Bursts separated by quiet lines; each burst is fed in one piece. The
    // reports yielded before and after each quiet line, all in order.
    QTest::addColumn<QList<QByteArray>>("bursts");
    QTest::addColumn<QList<QByteArray>>("atOnce");
    QTest::addColumn<QList<QByteArray>>("all");

    using L = QList<QByteArray>;
    QTest::newRow("whole report") << L{kPlain1} << L{kPlain1} << L{kPlain1};
    QTest::newRow("two reports in one read") << L{kPlain1 + kPlain2} << L{kPlain1, kPlain2} << L{kPlain1, kPlain2};
    QTest::newRow("stray fragment F1 00 00 ahead") << L{hex("F10000") + kPlain1} << L{} << L{kPlain1};
    QTest::newRow("stray fragment ahead, then more reports")
        << L{hex("F10000") + kPlain1 + kPlain2 + kPlain3} << L{kPlain2, kPlain3} << L{kPlain2, kPlain3};
    QTest::newRow("cut after 6 bytes, whole one at once") << L{kPlain1.first(6) + kPlain2} << L{} << L{kPlain2};
    QTest::newRow("cut report ends the burst") << L{kPlain1 + kPlain2.first(6)} << L{kPlain1} << L{kPlain1};
    QTest::newRow("garbage without marker ahead")
        << L{hex("00112233445566778899AABBCCDDEEFF0011223344") + kPlain1} << L{kPlain1} << L{kPlain1};
    QTest::newRow("11 bytes of garbage with markers ahead")
        << L{hex("F1F1F1000000F1000000F1") + kPlain1} << L{} << L{kPlain1};
    QTest::newRow("garbage alone") << L{hex("F1F1F1F1F1")} << L{} << L{};
    QTest::newRow("marker inside the counts, alone") << L{kMarked1} << L{} << L{kMarked1};
    QTest::newRow("marked reports back to back") << L{kMarked1 + kMarked2 + kMarked1} << L{} << L{};
    QTest::newRow("back in step after a quiet line")
        << L{kMarked1 + kMarked2, hex("F1"), kPlain3} << L{kPlain3} << L{kPlain3};
}

void TestReportFramer::framesTheLine()
{
    QFETCH(QList<QByteArray>, bursts);
    QFETCH(QList<QByteArray>, atOnce);
    QFETCH(QList<QByteArray>, all);

    ReportFramer framer;
    framer.endOfBurst(); // the line is quiet
    QList<Piece> pieces;
    QList<QByteArray> yieldedAtOnce;
    QByteArray sent;
    for (const QByteArray& burst : bursts) {
        sent += burst;
        const QList<Piece> fed = framer.feed(burst);
        yieldedAtOnce += reportsOf(fed);
        pieces += fed + framer.endOfBurst();
    }
    QCOMPARE(yieldedAtOnce, atOnce);
    QCOMPARE(reportsOf(pieces), all);
    // Every byte is dealt with once: in a report or rejected.
    QCOMPARE(bytesOf(pieces), sent);
    QVERIFY(framer.settled());
}

void TestReportFramer::normalReportIsYieldedAtOnceInAnyPieces()
{
    // A report without a marker past its first byte, after a stray byte, a
    // byte at a time as from a slow UART: each is whole once its last byte is in.
    ReportFramer framer;
    QCOMPARE(framer.feed(hex("F1")), QList<Piece>{});
    QCOMPARE(framer.endOfBurst(), (QList<Piece>{{Piece::Rejected, hex("F1")}}));
    framer.feed(hex("55"));
    for (const QByteArray& sent : {kPlain1, kPlain2, kPlain3}) {
        for (int i = 0; i < 11; ++i)
            QVERIFY(reportsOf(framer.feed(sent.sliced(i, 1))).isEmpty());
        QCOMPARE(reportsOf(framer.feed(sent.sliced(11))), QList<QByteArray>{sent});
    }
}

void TestReportFramer::quietLineTimeFollowsTheBaudRate_data()
{
    QTest::addColumn<int>("baud");
    QTest::addColumn<int>("ms");
    // 16 ms plus three 120-bit reports, never below 32 ms.
    QTest::newRow("9600") << 9600 << 54;
    QTest::newRow("19200") << 19200 << 35;
    QTest::newRow("28800") << 28800 << 32;
    QTest::newRow("115200") << 115200 << 32;
}

void TestReportFramer::quietLineTimeFollowsTheBaudRate()
{
    QFETCH(int, baud);
    QFETCH(int, ms);
    QCOMPARE(serial::quietLineTime(baud).count(), ms);
}

void TestReportFramer::overrunDropsTheOldestUndecidedBytes()
{
    // Marked reports back to back never settle; the framer keeps a bounded
    // backlog and still yields the first report that settles after it.
    ReportFramer framer;
    QList<Piece> pieces;
    QByteArray sent;
    for (int i = 0; i < 200; ++i) {
        sent += i % 2 ? kMarked1 : kMarked2;
        pieces += framer.feed(i % 2 ? kMarked1 : kMarked2);
    }
    QVERIFY(reportsOf(pieces).isEmpty());
    // What the bound pushes out comes back rejected, oldest first.
    const QByteArray pushedOut = bytesOf(pieces);
    QVERIFY(sent.startsWith(pushedOut));
    QVERIFY(sent.size() - pushedOut.size() <= ReportFramer::kMaxUndecided);
    pieces += framer.endOfBurst();
    pieces += framer.feed(kPlain1);
    QCOMPARE(reportsOf(pieces), QList<QByteArray>{kPlain1});
}

void TestReportFramer::neverYieldsAReportThatWasNotSent_data()
{
    QTest::addColumn<quint32>("seed");
    QTest::addColumn<bool>("pauses");
    for (quint32 seed = 1; seed <= 6; ++seed) {
        QTest::addRow("seed %u, bursts", seed) << seed << true;
        QTest::addRow("seed %u, no pauses", seed) << seed << false;
    }
}

void TestReportFramer::neverYieldsAReportThatWasNotSent()
{
    // Random reports, many with marker bytes in their counts, random faults
    // as the line makes them, random pieces of 1 to 22 bytes.
    QFETCH(quint32, seed);
    QFETCH(bool, pauses);
    std::mt19937 random(seed);
    const auto draw = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    const auto countByte = [&] { return draw(0, 3) == 0 ? 0xF1 : draw(0, 255); };

    ReportFramer framer;
    QList<QByteArray> sentReports; // whole reports in the order sent
    qsizetype nextUnseen = 0;      // yielded reports come in order, each a sent one
    int mustBeShown = 0;
    int shown = 0;
    const auto check = [&](const QList<Piece>& pieces) {
        if (QTest::currentTestFailed())
            return;
        for (const QByteArray& yielded : reportsOf(pieces)) {
            const qsizetype at = sentReports.indexOf(yielded, nextUnseen);
            QVERIFY2(at >= 0, qPrintable("never sent:" + yielded.toHex(' ')));
            nextUnseen = at + 1;
            ++shown;
        }
    };

    for (int burst = 0; burst < 300; ++burst) {
        QByteArray line;
        const int items = draw(1, 6);
        bool lastWholeIsPlain = false;
        for (int item = 0; item < items; ++item) {
            QByteArray sent(12, '\0');
            sent[0] = char(0xF1);
            for (int i = 1; i < 11; ++i)
                sent[i] = char(countByte());
            sent[11] = char(sentReports.size() & 0xFF);
            switch (draw(0, 5)) {
            case 0: // bytes ahead: up to 11 of any value, or more without a marker
                for (int i = draw(1, 11); i > 0; --i)
                    line += char(countByte());
                break;
            case 1:
                for (int i = draw(12, 30); i > 0; --i)
                    line += char(draw(0, 0xF0));
                break;
            case 2: // cut short; a whole one follows unless the burst ends
                line += sent.first(draw(1, 11));
                if (pauses && item == items - 1) {
                    lastWholeIsPlain = false;
                    continue;
                }
                sent[11] = char(draw(0, 255));
                break;
            default:
                break;
            }
            line += sent;
            sentReports.append(sent);
            lastWholeIsPlain = !sent.sliced(1).contains(char(0xF1));
        }
        for (qsizetype at = 0; at < line.size();) {
            const qsizetype size = std::min<qsizetype>(draw(1, 22), line.size() - at);
            check(framer.feed(line.sliced(at, size)));
            at += size;
        }
        if (pauses) {
            check(framer.endOfBurst());
            // Only one reading ends with a report that has no marker past its
            // first byte, so the unit's last report is on screen at the pause.
            if (lastWholeIsPlain) {
                ++mustBeShown;
                QCOMPARE(nextUnseen, sentReports.size());
            }
        }
    }
    check(framer.endOfBurst());
    QVERIFY(shown > 0);
    if (pauses)
        QVERIFY(mustBeShown > 0);
}

QTEST_GUILESS_MAIN(TestReportFramer)
#include "test_report_framer.moc"
