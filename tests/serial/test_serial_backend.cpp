#include "emulator/PseudoTerminal.h"
#include "serial/CommControl.h"
#include "serial/PortError.h"
#include "serial/SerialPortBackend.h"
#include "support/CommControlSeam.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using emulator::PseudoTerminal;
using serial::CommControl;
using serial::PortError;
using serial::SerialPortBackend;

namespace {

// A counter report whose bytes include those a cooked terminal would eat or
// change: NUL, XON/XOFF, CR, LF, DEL, ^C, ^D, ^V, ^O.
const QByteArray kReport("\xF1\x00\x11\x13\x0D\x7F\x03\x04\x16\x0A\x0F\xFF", 12);

} // namespace

class TestSerialBackend : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void reportArrivesWholeAtEveryBaudRate_data();
    void reportArrivesWholeAtEveryBaudRate();
    void everyByteValuePassesUnchanged();
    void bytesFromBeforeAReopenAreDropped();
    void peerHangUpClosesThePortOnce();
    void missingDeviceFailsNamingIt();

private:
    void openPort();

    std::unique_ptr<PseudoTerminal> m_pty;
    std::unique_ptr<CommControl> m_control;
    QByteArray m_read;
    int m_events = 0;
};

void TestSerialBackend::init()
{
    // The control opens the slave as its serial device, the test plays the unit under test on the
    // master. The line starts out cooked: only the serial port's own set-up on open makes it pass
    // bytes unchanged.
    m_pty = std::make_unique<PseudoTerminal>(PseudoTerminal::Mode::Cooked);
    QVERIFY2(m_pty->isOpen(), qPrintable(m_pty->errorString()));
    const QString path = m_pty->slavePath();
    m_control = std::make_unique<CommControl>(std::make_unique<SerialPortBackend>(), [path](int) { return path; });
    m_read.clear();
    m_events = 0;
    // Like the report handler: take every waiting byte on each event.
    connect(m_control.get(), &CommControl::OnComm, this, [this] {
        ++m_events;
        m_read += m_control->input();
    });
}

void TestSerialBackend::cleanup()
{
    m_control.reset(); // closes the slave before the master goes
    m_pty.reset();
}

void TestSerialBackend::openPort()
{
    try {
        m_control->setPortOpen(true);
    } catch (const PortError& error) {
        QFAIL(qPrintable(error.message()));
    }
    QVERIFY(m_control->portOpen());
    QVERIFY(m_control->lastError().isEmpty());
}

void TestSerialBackend::reportArrivesWholeAtEveryBaudRate_data()
{
    QTest::addColumn<QString>("settings");
    QTest::addColumn<unsigned>("baudRate");
    // Chosen while the port is open (applied at once) or while it is closed
    // (kept for the next open).
    QTest::addColumn<bool>("chosenWhileOpen");

    for (unsigned baud : {9600u, 19200u, 28800u, 38400u, 57600u, 115200u}) {
        const QString text = QStringLiteral("%1,n,8,1").arg(baud);
        QTest::addRow("%s, open port", qPrintable(text)) << text << baud << true;
        QTest::addRow("%s, before opening", qPrintable(text)) << text << baud << false;
    }
}

void TestSerialBackend::reportArrivesWholeAtEveryBaudRate()
{
    QFETCH(QString, settings);
    QFETCH(unsigned, baudRate);
    QFETCH(bool, chosenWhileOpen);

    if (chosenWhileOpen)
        openPort();
    try {
        m_control->setSettings(settings);
    } catch (const PortError& error) {
        QFAIL(qPrintable(error.message()));
    }
    if (!chosenWhileOpen)
        openPort();
    QCOMPARE(serial::CommControlSeam::settings(*m_control), settings);
    QVERIFY(m_control->portOpen());
    // The line's speeds as the kernel holds them.
    const std::optional<PseudoTerminal::Speeds> speeds = m_pty->speeds();
    QVERIFY(speeds);
    QCOMPARE(speeds->output, baudRate);
    QCOMPARE(speeds->input, baudRate);
    m_control->setRThreshold(12);

    // The report trickles in; the event waits for the twelfth byte.
    QVERIFY(m_pty->write(kReport.first(5)));
    QTest::qWait(20);
    QVERIFY(m_pty->write(kReport.sliced(5, 4)));
    QTest::qWait(20);
    QCOMPARE(m_events, 0);
    QVERIFY(m_pty->write(kReport.sliced(9)));

    QTRY_COMPARE_WITH_TIMEOUT(m_events, 1, 5000);
    QTest::qWait(50);
    QCOMPARE(m_events, 1);
    QCOMPARE(m_read, kReport);
}

void TestSerialBackend::everyByteValuePassesUnchanged()
{
    // Reports that carry every byte value, 0x00, XON, XOFF and the marker
    // included, each in a burst of its own.
    QList<QByteArray> framed;
    connect(m_control.get(), &CommControl::reportFramed, this, [&](const QByteArray& report) { framed << report; });
    openPort();
    QList<QByteArray> sent;
    for (int value = 0; value < 256; value += 11) {
        QByteArray report(1, char(0xF1));
        for (int i = 0; i < 11; ++i)
            report += char((value + i) & 0xFF);
        sent << report;
        QVERIFY(m_pty->write(report));
        QTRY_COMPARE_WITH_TIMEOUT(framed.size(), sent.size(), 5000);
    }
    QCOMPARE(framed, sent);
}

void TestSerialBackend::bytesFromBeforeAReopenAreDropped()
{
    openPort();
    m_control->setPortOpen(false);
    // Sent while nobody listens; the write itself may fail, which is fine too.
    m_pty->write("stale bytes");

    openPort();
    m_control->setRThreshold(12);
    QVERIFY(m_pty->write(kReport));
    QTRY_COMPARE_WITH_TIMEOUT(m_events, 1, 5000);
    QCOMPARE(m_read, kReport);
}

void TestSerialBackend::peerHangUpClosesThePortOnce()
{
    QSignalSpy lost(m_control.get(), &CommControl::deviceLost);
    openPort();
    m_control->setRThreshold(12);
    QVERIFY(m_pty->write(kReport.first(5)));
    QTest::qWait(20);

    m_pty->hangUp();
    QTRY_COMPARE_WITH_TIMEOUT(lost.count(), 1, 5000);
    QVERIFY(!m_control->portOpen());
    QVERIFY(!m_control->lastError().isEmpty());
    QCOMPARE(lost.at(0).at(0).toString(), m_control->lastError());

    // No storm of repeated reports once the port is closed.
    QTest::qWait(100);
    QCOMPARE(lost.count(), 1);
    QCOMPARE(m_events, 0);
    QVERIFY(m_control->input().isEmpty());
}

void TestSerialBackend::missingDeviceFailsNamingIt()
{
    const QString missing = QStringLiteral("/dev/bermon-test-no-such-tty");
    CommControl control(std::make_unique<SerialPortBackend>(), [missing](int) { return missing; });

    try {
        control.setPortOpen(true);
        QFAIL("opened a missing device");
    } catch (const PortError& error) {
        QVERIFY2(error.message().contains(missing), qPrintable(error.message()));
    }
    QVERIFY(!control.portOpen());
    QVERIFY(control.lastError().contains(missing));
    QVERIFY(control.input().isEmpty());
}

QTEST_GUILESS_MAIN(TestSerialBackend)
#include "test_serial_backend.moc"
