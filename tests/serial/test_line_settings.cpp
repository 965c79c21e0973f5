#include "serial/LineSettings.h"
#include "serial/PortError.h"

#include <QTest>

using serial::LineSettings;
using serial::PortError;

class TestLineSettings : public QObject
{
    Q_OBJECT
private slots:
    void parsesTheBaudListTexts_data();
    void parsesTheBaudListTexts();
    void rejectsWithAMessageNamingTheText_data();
    void rejectsWithAMessageNamingTheText();
};

void TestLineSettings::parsesTheBaudListTexts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<qint32>("baudRate");

    // Every entry of the baud list, 28800 (not a termios standard rate) included.
    for (qint32 baud : {9600, 19200, 28800, 38400, 57600, 115200}) {
        const QString text = QStringLiteral("%1,n,8,1").arg(baud);
        QTest::newRow(qPrintable(text)) << text << baud;
    }
}

void TestLineSettings::parsesTheBaudListTexts()
{
    QFETCH(QString, text);
    QFETCH(qint32, baudRate);

    LineSettings settings;
    try {
        settings = LineSettings::parse(text);
    } catch (const PortError& error) {
        QFAIL(qPrintable(error.message()));
    }
    QCOMPARE(settings.baudRate, baudRate);
    QCOMPARE(settings.parity, QSerialPort::NoParity);
    QCOMPARE(settings.dataBits, QSerialPort::Data8);
    QCOMPARE(settings.stopBits, QSerialPort::OneStop);
    QCOMPARE(settings.text(), text);
    QCOMPARE(LineSettings::parse(settings.text()), settings);
}

void TestLineSettings::rejectsWithAMessageNamingTheText_data()
{
    QTest::addColumn<QString>("text");

    QTest::newRow("empty") << QString();
    QTest::newRow("baud only") << QStringLiteral("9600");
    QTest::newRow("no stop bits") << QStringLiteral("9600,n,8");
    QTest::newRow("baud not a number") << QStringLiteral("abc,n,8,1");
    QTest::newRow("unsupported baud") << QStringLiteral("9601,n,8,1");
    QTest::newRow("negative baud") << QStringLiteral("-9600,n,8,1");
    QTest::newRow("unknown parity") << QStringLiteral("9600,x,8,1");
    QTest::newRow("parity two letters") << QStringLiteral("9600,nn,8,1");
    QTest::newRow("nine data bits") << QStringLiteral("9600,n,9,1");
    QTest::newRow("three stop bits") << QStringLiteral("9600,n,8,3");
    // Forms a serial port can take but no baud-list text asks for.
    QTest::newRow("baud outside the list") << QStringLiteral("56000,n,8,1");
    QTest::newRow("even parity") << QStringLiteral("9600,e,8,1");
    QTest::newRow("seven data bits") << QStringLiteral("9600,n,7,1");
    QTest::newRow("two stop bits") << QStringLiteral("9600,n,8,2");
    QTest::newRow("extra field") << QStringLiteral("9600,n,8,1,1");
    QTest::newRow("empty fields") << QStringLiteral(",,,");
    // A placeholder in the text must come out literally, not be substituted.
    QTest::newRow("placeholder") << QStringLiteral("%1,n,8,1");
}

void TestLineSettings::rejectsWithAMessageNamingTheText()
{
    QFETCH(QString, text);

    try {
        LineSettings::parse(text);
        QFAIL("accepted");
    } catch (const PortError& error) {
        QVERIFY2(error.message().contains(QLatin1Char('"') + text + QLatin1Char('"')), qPrintable(error.message()));
    }
}

QTEST_GUILESS_MAIN(TestLineSettings)
#include "test_line_settings.moc"
