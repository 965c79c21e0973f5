#include "serial/CommControl.h"
#include "serial/PortError.h"
#include "serial/SerialPortBackend.h"

#include <QSignalSpy>
#include <QTest>

#include <cerrno>
#include <cstring>
#include <memory>

// The kernel's termios2 carries any baud rate, 28800 included.
#include <asm/termbits.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <unistd.h>

using serial::CommControl;
using serial::PortError;
using serial::SerialPortBackend;

namespace {

// A pseudo-terminal pair: the control opens the slave as its serial device,
// the test plays the unit under test on the master.
class PseudoTerminal
{
public:
    PseudoTerminal()
    {
        m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
            m_error = QString::fromLocal8Bit(std::strerror(errno));
            hangUp();
            return;
        }
        m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
        // The slave starts out as a cooked terminal that would translate CR,
        // strip bit 7, take XON/XOFF and ^C and hold bytes back until a line
        // ends: only the serial port's own set-up on open makes it pass
        // bytes unchanged. (Through the master, the terminal attributes of a
        // pseudo-terminal are those of its slave.)
        termios2 attributes = deviceAttributes();
        attributes.c_iflag |= ICRNL | ISTRIP | IXON;
        attributes.c_lflag |= ICANON | ISIG | IEXTEN | ECHO;
        if (::ioctl(m_master, TCSETS2, &attributes) != 0)
            m_error = QString::fromLocal8Bit(std::strerror(errno));
    }
    ~PseudoTerminal() { hangUp(); }
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isValid() const { return m_master >= 0 && m_error.isEmpty(); }
    QString error() const { return m_error; }
    QString slavePath() const { return m_slavePath; }

    bool write(const QByteArray& bytes)
    {
        qsizetype done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, size_t(bytes.size() - done));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return false;
            done += n;
        }
        return true;
    }

    // The slave's line settings as the kernel holds them.
    termios2 deviceAttributes() const
    {
        termios2 attributes{};
        ::ioctl(m_master, TCGETS2, &attributes);
        return attributes;
    }

    // The peer goes away, as when the unit's USB adapter is pulled.
    void hangUp()
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slavePath;
    QString m_error;
};

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
    m_pty = std::make_unique<PseudoTerminal>();
    QVERIFY2(m_pty->isValid(), qPrintable(m_pty->error()));
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
    QCOMPARE(m_control->settings(), settings);
    QVERIFY(m_control->portOpen());
    QCOMPARE(m_pty->deviceAttributes().c_ospeed, baudRate);
    QCOMPARE(m_pty->deviceAttributes().c_ispeed, baudRate);
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
