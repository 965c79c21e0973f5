#include "FakeStatusView.h"
#include "measurement/ReportReception.h"

#include <QtTest>

using measurement::StatusDisplay;

class TestReportReception : public QObject
{
    Q_OBJECT
private slots:
    void decodesInput_data();
    void decodesInput();
    void ignoresOtherEvents_data();
    void ignoresOtherEvents();
    void dropsInputWithoutMarker();
    void emptyInputRecomputesRatesWithoutSecondRead();
    void onlyFirstReportOfALongReadCounts();
};

static QByteArray bytes(const char* hex)
{
    return QByteArray::fromHex(hex);
}

void TestReportReception::decodesInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QString>("hexLine");
    QTest::addColumn<QStringList>("counts"); // RecvFrame, LossFrame, ErrorFrame, ErrorBit
    QTest::addColumn<QString>("ber");

    QTest::newRow("typical report") << bytes("F103E8000A000200000005 7F") << " F1 03 E8 00 0A 00 02 00 00 00 05 7F"
                                    << QStringList{"1000", "10", "2", "5"} << "9.765 E-6";
    QTest::newRow("all counts at maximum")
        << bytes("F1FFFFFFFFFFFFFFFFFFFF00") << " F1 FF FF FF FF FF FF FF FF FF FF 00"
        << QStringList{"65535", "65535", "65535", "4294967295"} << "1280. E-1";
    QTest::newRow("all counts zero") << bytes("F10000000000000000000000") << " F1 00 00 00 00 00 00 00 00 00 00 00"
                                     << QStringList{"0", "0", "0", "0"} << "N/A";
    // Five bytes: the first two counts decode, the others keep their texts.
    QTest::newRow("short report") << bytes("F100010002") << " F1 00 01 00 02" << QStringList{"1", "2", "0", "0"}
                                  << "0.0 E+0";
    QTest::newRow("byte 11 only in the hex line")
        << bytes("F103E8000A0002000000050A") << " F1 03 E8 00 0A 00 02 00 00 00 05 0A"
        << QStringList{"1000", "10", "2", "5"} << "9.765 E-6";
}

void TestReportReception::decodesInput()
{
    QFETCH(QByteArray, input);
    QFETCH(QString, hexLine);
    QFETCH(QStringList, counts);
    QFETCH(QString, ber);

    FakeReportPort port;
    port.inputs = {input};
    FakeStatusView view;
    measurement::receiveReport(port, view);

    QCOMPARE(view.hexLine, hexLine);
    QCOMPARE(view.texts[StatusDisplay::RecvFrame], counts[0]);
    QCOMPARE(view.texts[StatusDisplay::LossFrame], counts[1]);
    QCOMPARE(view.texts[StatusDisplay::ErrorFrame], counts[2]);
    QCOMPARE(view.texts[StatusDisplay::ErrorBit], counts[3]);
    QCOMPARE(view.texts[StatusDisplay::Ber], ber);
    QCOMPARE(port.reads, 1);
}

void TestReportReception::ignoresOtherEvents_data()
{
    QTest::addColumn<qint16>("event");
    QTest::addColumn<bool>("eventFails");
    QTest::newRow("kind 1") << qint16(1) << false;
    QTest::newRow("kind 3") << qint16(3) << false;
    QTest::newRow("kind 6") << qint16(6) << false;
    QTest::newRow("unknown kind") << qint16(1010) << false;
    QTest::newRow("unreadable kind") << qint16(2) << true;
}

void TestReportReception::ignoresOtherEvents()
{
    QFETCH(qint16, event);
    QFETCH(bool, eventFails);
    FakeReportPort port;
    port.event = event;
    port.eventFails = eventFails;
    port.inputs = {bytes("F103E8000A000200000005 7F")};
    FakeStatusView view;
    const auto before = view.texts;

    measurement::receiveReport(port, view);

    QCOMPARE(port.reads, 0);
    QCOMPARE(view.hexLine, QString("untouched"));
    QCOMPARE(view.texts, before);
}

void TestReportReception::dropsInputWithoutMarker()
{
    FakeReportPort port;
    port.inputs = {bytes("F003E8000A000200000005 7F"), bytes("F1FFFF")};
    FakeStatusView view;
    view.setCounts(7, 0, 0, 0);
    const auto before = view.texts;

    measurement::receiveReport(port, view);

    QCOMPARE(view.hexLine, QString(" F0 03 E8 00 0A 00 02 00 00 00 05 7F"));
    QCOMPARE(view.texts, before);
    QCOMPARE(port.reads, 2); // what arrived after the first read is dropped too
}

void TestReportReception::emptyInputRecomputesRatesWithoutSecondRead()
{
    for (bool inputFails : {false, true}) {
        FakeReportPort port;
        port.inputFails = inputFails;
        FakeStatusView view;
        view.setCounts(1000, 0, 2, 5);

        measurement::receiveReport(port, view);

        QCOMPARE(view.hexLine, QString());
        QCOMPARE(view.texts[StatusDisplay::RecvFrame], QString("1000"));
        QCOMPARE(view.texts[StatusDisplay::Ber], QString("9.765 E-6"));
        QCOMPARE(view.texts[StatusDisplay::PerLoss], QString("0.20%"));
        QCOMPARE(port.reads, 1);
    }
}

void TestReportReception::onlyFirstReportOfALongReadCounts()
{
    FakeReportPort port;
    port.inputs = {bytes("F103E8000A000200000005 7F") + bytes("F1FFFFFFFFFFFFFFFFFFFF00")};
    FakeStatusView view;

    measurement::receiveReport(port, view);

    QCOMPARE(view.hexLine, QString(" F1 03 E8 00 0A 00 02 00 00 00 05 7F"));
    QCOMPARE(view.texts[StatusDisplay::RecvFrame], QString("1000"));
    QCOMPARE(port.reads, 1);
}

QTEST_GUILESS_MAIN(TestReportReception)
#include "test_report_reception.moc"
