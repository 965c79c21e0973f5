// How the monitor leaves a real port: after SIGTERM, SIGINT or SIGHUP just
// as after the operator's close box; and how it names another program that
// holds the port.
#include "emulator/PseudoTerminal.h"
#include "serial/SerialPortBackend.h"
#include "support/FormDriver.h"
#include "support/ProcessSignals.h"
#include "ui/CloseOnSignals.h"

#include <QFile>
#include <QProcess>
#include <QtTest>

#include <qtestspontaneevent.h>

#include <csignal>

#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

// What a program leaves behind on a serial device.
struct PortState
{
    QString termios;
    bool exclusive = false;
    bool lockFile = false;
};

bool lockFileExists(const QString& device)
{
    const QString name = QStringLiteral("LCK..") + device.mid(5).replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const char* dir : {"/run/lock", "/var/lock", "/var/lock/lockdev", "/tmp", "/var/tmp"})
        if (QFile::exists(QLatin1String(dir) + QLatin1Char('/') + name))
            return true;
    return false;
}

PortState portState(const QString& device)
{
    PortState state;
    state.lockFile = lockFileExists(device);
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        // Only root may open a device held exclusively.
        state.exclusive = errno == EBUSY;
        return state;
    }
    int exclusive = 0;
    if (::ioctl(fd, TIOCGEXCL, &exclusive) == 0)
        state.exclusive = exclusive != 0;
    termios t{};
    if (::tcgetattr(fd, &t) == 0) {
        state.termios = QStringLiteral("iflag %1 oflag %2 cflag %3 lflag %4 speed %5/%6 cc %7")
                            .arg(t.c_iflag, 0, 16)
                            .arg(t.c_oflag, 0, 16)
                            .arg(t.c_cflag, 0, 16)
                            .arg(t.c_lflag, 0, 16)
                            .arg(::cfgetispeed(&t))
                            .arg(::cfgetospeed(&t))
                            .arg(QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(t.c_cc), NCCS).toHex()));
    }
    ::close(fd);
    return state;
}

// A terminal as a login leaves it: cooked, echoing, at another speed than
// the monitor's, so any setting the monitor leaves behind shows.
bool makeCooked(const QString& device)
{
    const int fd = ::open(QFile::encodeName(device).constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return false;
    termios t{};
    bool ok = ::tcgetattr(fd, &t) == 0;
    t.c_iflag |= ICRNL | IXON;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ICANON | ISIG | IEXTEN | ECHO;
    ::cfsetspeed(&t, B38400);
    ok = ok && ::tcsetattr(fd, TCSANOW, &t) == 0;
    ::close(fd);
    return ok;
}

} // namespace

class TestPortRelease : public QObject
{
    Q_OBJECT
private slots:
    void signalLeavesPortAsCloseBoxDoes_data();
    void signalLeavesPortAsCloseBoxDoes();
    void signalEndsProgramWithStatusZero_data();
    void signalEndsProgramWithStatusZero();
    void heldPortNamesItsHolder();
};

void TestPortRelease::signalLeavesPortAsCloseBoxDoes_data()
{
    QTest::addColumn<int>("signal"); // 0: the operator's close box
    QTest::newRow("close box") << 0;
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestPortRelease::signalLeavesPortAsCloseBoxDoes()
{
    QFETCH(int, signal);
    emulator::PseudoTerminal unit;
    QVERIFY(unit.isOpen());
    const QString device = unit.slavePath();
    QVERIFY(makeCooked(device));
    const PortState before = portState(device);

    FormDriver window(std::make_unique<serial::SerialPortBackend>(), [&](int) { return device; });
    new ui::CloseOnSignals(*window.form);
    QCOMPARE(window.text("Label_ComPortStatus"), QString("Connecting....."));
    const PortState held = portState(device);
    QVERIFY(held.exclusive);
    QVERIFY(held.lockFile);
    QVERIFY(held.termios != before.termios);

    QTimer::singleShot(0, window.form.get(), [&] {
        if (signal != 0) {
            ::raise(signal);
            return;
        }
        QCloseEvent close;
        QSpontaneKeyEvent::setSpontaneous(&close);
        QCoreApplication::instance()->notify(window.form.get(), &close); // sendEvent would clear the flag
    });
    QCOMPARE(QCoreApplication::exec(), 0);
    QVERIFY(!window.comm()->portOpen());

    const PortState after = portState(device);
    QCOMPARE(after.termios, before.termios);
    QVERIFY(!after.exclusive);
    QVERIFY(!after.lockFile);
}

void TestPortRelease::signalEndsProgramWithStatusZero_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("SIGTERM") << int(SIGTERM);
    QTest::newRow("SIGINT") << int(SIGINT);
    QTest::newRow("SIGHUP") << int(SIGHUP);
}

void TestPortRelease::signalEndsProgramWithStatusZero()
{
    QFETCH(int, signal);
    QProcess monitor;
    monitor.start(QStringLiteral(BERMON_PATH), {});
    QVERIFY(monitor.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(catchesSignal(monitor.processId(), signal), 20000);
    ::kill(pid_t(monitor.processId()), signal);
    QVERIFY(monitor.waitForFinished(20000));
    QCOMPARE(monitor.exitStatus(), QProcess::NormalExit);
    QCOMPARE(monitor.exitCode(), 0);
}

void TestPortRelease::heldPortNamesItsHolder()
{
    emulator::PseudoTerminal unit;
    const QString device = unit.slavePath();
    QProcess holder;
    holder.start(QStringLiteral(BERMON_SIM_PATH), {"--device", device, "--interval", "100000"});
    QVERIFY(holder.waitForStarted());
    QTRY_VERIFY_WITH_TIMEOUT(portState(device).lockFile, 20000);

    FormDriver window(std::make_unique<serial::SerialPortBackend>(), [&](int) { return device; });
    QCOMPARE(window.text("Label_ComPortStatus"), QString("No Connecting....."));
    const QString tip = window.element("Label_ComPortStatus")->toolTip();
    QVERIFY2(tip.contains(QStringLiteral("in use by process %1 (bermon-sim)").arg(holder.processId())),
             qPrintable(tip));
    QVERIFY2(!tip.contains("dialout"), qPrintable(tip));
    holder.terminate();
    QVERIFY(holder.waitForFinished());
}

QTEST_MAIN(TestPortRelease)
#include "test_port_release.moc"
