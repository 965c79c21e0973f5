// The monitor as a whole: the real window and the real serial back end, on
// pseudo-terminals that the emulated unit under test writes to.
#include "emulator/CounterReportEncoding.h"
#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"
#include "serial/SerialPortBackend.h"
#include "support/FormDriver.h"

#include <QProcess>
#include <QtEndian>
#include <QtTest>

#include <qtestspontaneevent.h>

#include <ctime>

namespace {

QByteArray report(quint16 recv, quint16 loss, quint16 errorFrames, quint32 errorBits, quint8 last = 0)
{
    return emulator::encodeReport({recv, loss, errorFrames, errorBits}, last);
}

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// Two units under test on ports 1 and 2; every other port is missing.
struct Bench
{
    Bench()
        : driver(std::make_unique<serial::SerialPortBackend>(), [this](int port) { return deviceFor(port); })
    {
    }
    QString deviceFor(int port) const
    {
        if (port == 1)
            return unit1.slavePath();
        if (port == 2)
            return unit2.slavePath();
        return QStringLiteral("/dev/bermon-test-missing-%1").arg(port);
    }
    void start() const
    {
        driver.click("cmd_start");
        QCoreApplication::processEvents();
    }

    emulator::PseudoTerminal unit1;
    emulator::PseudoTerminal unit2;
    FormDriver driver;
};

} // namespace

class TestWholeProgram : public QObject
{
    Q_OBJECT
private slots:
    void reportsAreShownAtEveryBaudRate_data();
    void reportsAreShownAtEveryBaudRate();
    void stopAndStart();
    void portChangeWhileRunning();
    void hangUpClosesPortWithoutSpinning();
    void faultyLineNeverShowsFalseCounts_data();
    void faultyLineNeverShowsFalseCounts();
    void portHeldByAnotherProcess();
    void closingWhileReportsStreamEndsCleanly();
};

void TestWholeProgram::reportsAreShownAtEveryBaudRate_data()
{
    QTest::addColumn<int>("baudIndex");
    QTest::addColumn<QString>("settings");
    const char* rates[] = {"9600", "19200", "28800", "38400", "57600", "115200"};
    for (int i = 0; i < 6; ++i)
        QTest::newRow(rates[i]) << i << QString("%1,n,8,1").arg(rates[i]);
}

void TestWholeProgram::reportsAreShownAtEveryBaudRate()
{
    QFETCH(int, baudIndex);
    QFETCH(QString, settings);
    Bench bench;
    FormDriver& window = bench.driver;
    QCOMPARE(window.text("Label_ComPortStatus"), QString("Connecting....."));
    window.choose("Combo_BaudRate", baudIndex);
    QCOMPARE(serial::CommControlSeam::settings(*window.comm()), settings);
    QVERIFY(window.notices.isEmpty());
    bench.start();

    QVERIFY(bench.unit1.write(report(1000, 10, 2, 5, 0x7F)));
    QTRY_COMPARE(window.text("txt_RecvFrame"), QString("1000"));
    QCOMPARE(window.text("txt_LossFrame"), QString("10"));
    QCOMPARE(window.text("txt_ErrorFrame"), QString("2"));
    QCOMPARE(window.text("txt_ErrorBit"), QString("5"));
    QCOMPARE(window.text("txt_BER"), QString("9.765 E-6"));
    QCOMPARE(window.text("txt_BER_Loss"), QString("9.910 E-3"));
    QCOMPARE(window.text("txt_PER"), QString("0.20%"));
    QCOMPARE(window.text("txt_PER_Loss"), QString("1.19%"));
    QCOMPARE(window.hexLine(), QString(" F1 03 E8 00 0A 00 02 00 00 00 05 7F"));
}

void TestWholeProgram::stopAndStart()
{
    Bench bench;
    FormDriver& window = bench.driver;
    bench.start();
    QVERIFY(bench.unit1.write(report(10, 0, 0, 0)));
    QTRY_COMPARE(window.text("txt_RecvFrame"), QString("10"));

    window.click("cmd_stop");
    QVERIFY(bench.unit1.write(report(20, 0, 0, 0)));
    QTest::qWait(200);
    QCOMPARE(window.text("txt_RecvFrame"), QString("10"));

    bench.start(); // what came while stopped is dropped
    QCOMPARE(window.text("txt_RecvFrame"), QString("0"));
    QVERIFY(bench.unit1.write(report(30, 0, 0, 0)));
    QTRY_COMPARE(window.text("txt_RecvFrame"), QString("30"));
}

void TestWholeProgram::portChangeWhileRunning()
{
    Bench bench;
    FormDriver& window = bench.driver;
    bench.start();
    QVERIFY(bench.unit1.write(report(1, 0, 0, 0)));
    QTRY_COMPARE(window.text("txt_RecvFrame"), QString("1"));

    window.choose("Combo_CommPort", 1);
    QCOMPARE(window.text("Label_ComPortStatus"), QString("Connecting....."));
    QVERIFY(bench.unit2.write(report(2, 0, 0, 0)));
    QTRY_COMPARE(window.text("txt_RecvFrame"), QString("2"));

    window.choose("Combo_CommPort", 2); // nothing there
    QCOMPARE(window.text("Label_ComPortStatus"), QString("No Connecting....."));
    QVERIFY(window.element("Label_ComPortStatus")->toolTip().contains("bermon-test-missing-3"));
    QVERIFY(window.notices.isEmpty());
}

void TestWholeProgram::hangUpClosesPortWithoutSpinning()
{
    Bench bench;
    FormDriver& window = bench.driver;
    bench.start();
    QVERIFY(bench.unit1.write(report(5, 0, 0, 0)));
    QTRY_COMPARE(window.text("txt_RecvFrame"), QString("5"));

    bench.unit1.hangUp();
    QTRY_VERIFY(!window.comm()->portOpen());
    QCOMPARE(window.text("Label_ComPortStatus"), QString("No Connecting....."));
    QCOMPARE(window.textColour("Label_ComPortStatus"), QColor(255, 0, 0));
    QVERIFY(window.notices.isEmpty());

    // A closed port must not leave the program polling a dead device.
    const double cpuBefore = processCpuSeconds();
    QTest::qWait(1000);
    const double cpuUsed = processCpuSeconds() - cpuBefore;
    qInfo("CPU time in the second after the hang-up: %.4f s", cpuUsed);
    QVERIFY2(cpuUsed < 0.2, qPrintable(QString("%1 s of CPU in 1 s").arg(cpuUsed)));

    // The window stays usable: the other unit can be chosen and read.
    window.choose("Combo_CommPort", 1);
    QVERIFY(bench.unit2.write(report(6, 0, 0, 0)));
    QTRY_COMPARE(window.text("txt_RecvFrame"), QString("6"));
}

void TestWholeProgram::faultyLineNeverShowsFalseCounts_data()
{
    // Bursts written with a pause after each, in pieces of `piece` bytes (0:
    // one write), a millisecond apart as a UART or a USB adapter delivers them.
    // The last report must end on screen.
    QTest::addColumn<QList<QByteArray>>("bursts");
    QTest::addColumn<QList<QByteArray>>("reports"); // every whole report in them
    QTest::addColumn<int>("piece");

    const auto r = [](quint16 n) { return report(n, 0, 0, 0, quint8(n)); };
    const auto marked = [](quint16 n) { return report(0xF1F1, n, 0, 0xF1F1F1F1, 0xF1); };
    const QByteArray strayFragment = QByteArray::fromHex("F10000");
    using L = QList<QByteArray>;
    QTest::newRow("stray fragment ahead") << L{strayFragment + r(1)} << L{r(1)} << 0;
    QTest::newRow("cut report joined to the next") << L{r(1), r(2).first(6) + r(3)} << L{r(1), r(3)} << 0;
    QTest::newRow("garbage ahead of each")
        << L{QByteArray::fromHex("00FF13AA55") + r(1), QByteArray::fromHex("F1F1F1") + r(2)} << L{r(1), r(2)} << 0;
    QTest::newRow("stray byte, then a byte at a time")
        << L{QByteArray::fromHex("F1") + r(1) + r(2) + r(3)} << L{r(1), r(2), r(3)} << 1;
    QTest::newRow("two reports in one read, the unit's last") << L{r(1), r(2) + r(3)} << L{r(1), r(2), r(3)} << 0;
    QTest::newRow("marker bytes in the counts, back to back")
        << L{marked(1) + marked(2) + marked(3), r(4)} << L{marked(1), marked(2), marked(3), r(4)} << 5;
    QTest::newRow("marker bytes in the counts, alone") << L{r(1), marked(2)} << L{r(1), marked(2)} << 7;
}

void TestWholeProgram::faultyLineNeverShowsFalseCounts()
{
    QFETCH(QList<QByteArray>, bursts);
    QFETCH(QList<QByteArray>, reports);
    QFETCH(int, piece);

    Bench bench;
    FormDriver& window = bench.driver;
    QTest::qWait(100); // the line has been quiet since the port opened
    bench.start();
    const auto countsOf = [](const QByteArray& bytes) {
        return QStringList{QString::number(qFromBigEndian<quint16>(bytes.data() + 1)),
                           QString::number(qFromBigEndian<quint16>(bytes.data() + 3)),
                           QString::number(qFromBigEndian<quint16>(bytes.data() + 5)),
                           QString::number(qFromBigEndian<quint32>(bytes.data() + 7))};
    };
    const auto shown = [&] {
        return QStringList{window.text("txt_RecvFrame"), window.text("txt_LossFrame"), window.text("txt_ErrorFrame"),
                           window.text("txt_ErrorBit")};
    };
    QSet<QStringList> sentCounts{{"0", "0", "0", "0"}};
    for (const QByteArray& bytes : std::as_const(reports))
        sentCounts << countsOf(bytes);
    // Runs after the window's own handler: each state the handler leaves.
    QList<QStringList> states;
    QObject::connect(window.comm(), &serial::CommControl::OnComm, window.comm(), [&] { states << shown(); });

    for (const QByteArray& burst : bursts) {
        const qsizetype size = piece ? piece : burst.size();
        for (qsizetype at = 0; at < burst.size(); at += size) {
            QVERIFY(bench.unit1.write(burst.mid(at, size)));
            if (piece)
                QTest::qWait(1);
        }
        QTest::qWait(150);
    }
    QTRY_COMPARE(shown(), countsOf(reports.last()));
    QCOMPARE(window.hexLine(), QString(reports.last().toHex(' ').toUpper()).prepend(' '));
    for (const QStringList& state : std::as_const(states))
        QVERIFY2(sentCounts.contains(state), qPrintable("never sent: " + state.join(" / ")));
}

void TestWholeProgram::portHeldByAnotherProcess()
{
    emulator::PseudoTerminal unit;
    QProcess holder;
    holder.start(QStringLiteral(BERMON_SIM_PATH), {"--device", unit.slavePath(), "--interval", "100000"});
    QVERIFY(holder.waitForStarted());
    QTest::qWait(500); // let it open the device

    FormDriver window(std::make_unique<serial::SerialPortBackend>(), [&](int) { return unit.slavePath(); });
    QCOMPARE(window.text("Label_ComPortStatus"), QString("No Connecting....."));
    QCOMPARE(window.textColour("Label_ComPortStatus"), QColor(255, 0, 0));
    QVERIFY(window.notices.isEmpty());
    QVERIFY(!window.form->hasEnded());
    holder.terminate();
    QVERIFY(holder.waitForFinished());
}

void TestWholeProgram::closingWhileReportsStreamEndsCleanly()
{
    Bench bench;
    FormDriver& window = bench.driver;
    emulator::EmulatorSettings settings;
    settings.intervalMs = 10;
    emulator::UnitEmulator unit(bench.unit1, settings);
    unit.start();
    window.form->show();
    bench.start();
    QTRY_VERIFY(window.text("txt_RecvFrame") != "0");

    // The operator's close box: a close that comes from the window system.
    QTimer::singleShot(50, window.form.get(), [&] {
        QCloseEvent close;
        QSpontaneKeyEvent::setSpontaneous(&close);
        QCoreApplication::instance()->notify(window.form.get(), &close); // sendEvent would clear the flag
    });
    const int status = QCoreApplication::exec();
    QCOMPARE(status, 0);
    QVERIFY(window.form->hasEnded());
    QVERIFY(!window.comm()->portOpen());
}

QTEST_MAIN(TestWholeProgram)
#include "test_whole_program.moc"
