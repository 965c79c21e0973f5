#include "serial/CommControl.h"
#include "support/CommControlSeam.h"
#include "support/MemoryPortBackend.h"
#include "serial/PortError.h"
#include "support/QuietLine.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

using serial::CommControl;
using serial::CommControlSeam;
using serial::MemoryPortBackend;
using serial::PortError;

namespace {

QString memDevice(int port)
{
    return QStringLiteral("mem%1").arg(port);
}

// Report number n: no marker past its first byte, and n in its last bytes.
QByteArray numberedReport(int n)
{
    QByteArray bytes = QByteArray::fromHex("F103E8000A000200000000");
    bytes += char(n & 0x7F);
    bytes[10] = char(n >> 7);
    return bytes;
}

// Reports that carry every byte value, 0x00 and the marker included.
QList<QByteArray> reportsCarryingEveryByteValue()
{
    QList<QByteArray> reports;
    for (int value = 0; value < 256; value += 11) {
        QByteArray report(1, char(0xF1));
        for (int i = 0; i < 11; ++i)
            report += char((value + i) & 0xFF);
        reports.append(report);
    }
    return reports;
}

} // namespace

class TestCommControl : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void opensPortOneAt9600WithoutReceiveEvents();
    void everyByteValueArrivesUnchanged();
    void inputOnAClosedPortYieldsNothing();
    void refusedOpenKeepsThePortClosed();
    void unboundPortsStandForTheirDevicesOnTheReading();
    void eachOpenAsksTheMappingOnce();
    void configurationHoldsAcrossCloseAndReopen();
    void settingsApplyAtOnceToTheOpenPort();
    void rejectedSettingsKeepThePreviousOnesInForce_data();
    void rejectedSettingsKeepThePreviousOnesInForce();
    void invalidArgumentsThrowAndChangeNothing_data();
    void invalidArgumentsThrowAndChangeNothing();
    void receiveEventsFollowTheThreshold_data();
    void receiveEventsFollowTheThreshold();
    void thresholdReachedByWaitingBytes_data();
    void thresholdReachedByWaitingBytes();
    void deviceFailureClosesThePortOnce();
    void deviceLostInApplyIsClosedAfterTheCall();
    void deliversWholeReportsOnly_data();
    void deliversWholeReportsOnly();

private:
    void open() { m_control->setPortOpen(true); }
    // Opens the port and waits until the line counts as quiet, so that the
    // next byte starts a burst.
    void openQuiet()
    {
        open();
        waitForQuietLine();
    }
    // Counts OnComm and, like the report handler, takes every waiting byte.
    void readOnEveryEvent();

    MemoryPortBackend* m_memory = nullptr; // owned by m_control
    std::unique_ptr<CommControl> m_control;
    QByteArray m_read;
    int m_events = 0;
    QList<qint16> m_eventKinds;
};

void TestCommControl::init()
{
    auto memory = std::make_unique<MemoryPortBackend>();
    m_memory = memory.get();
    m_control = std::make_unique<CommControl>(std::move(memory), memDevice);
    m_read.clear();
    m_events = 0;
    m_eventKinds.clear();
}

void TestCommControl::cleanup()
{
    m_control.reset();
    m_memory = nullptr;
}

void TestCommControl::readOnEveryEvent()
{
    connect(m_control.get(), &CommControl::OnComm, this, [this] {
        ++m_events;
        m_eventKinds << m_control->commEvent();
        m_read += m_control->input();
    });
}

void TestCommControl::opensPortOneAt9600WithoutReceiveEvents()
{
    // As made, the control opens port 1 at "9600,n,8,1" and raises no receive
    // event until a threshold is set.
    readOnEveryEvent();
    QVERIFY(!m_control->portOpen());
    QVERIFY(m_control->input().isEmpty());
    QVERIFY(m_control->lastError().isEmpty());

    open();
    QCOMPARE(m_memory->device(), QStringLiteral("mem1"));
    QCOMPARE(m_memory->settings().text(), QStringLiteral("9600,n,8,1"));
    m_memory->deliver(QByteArray::fromHex("F103E8000A0002000000057F"));
    waitForQuietLine();
    QCOMPARE(m_events, 0);
}

void TestCommControl::everyByteValueArrivesUnchanged()
{
    QSignalSpy framed(m_control.get(), &CommControl::reportFramed);
    open();
    // 0x00, XON 0x11 and XOFF 0x13 above all: report bytes may take any value.
    const QList<QByteArray> reports = reportsCarryingEveryByteValue();
    for (const QByteArray& report : reports) {
        waitForQuietLine();
        m_memory->deliver(report);
    }
    QTRY_COMPARE(framed.count(), reports.size());
    for (qsizetype i = 0; i < reports.size(); ++i)
        QCOMPARE(framed.at(i).at(0).toByteArray(), reports[i]);
    QCOMPARE(m_control->input(), reports.last());
    QVERIFY(m_control->input().isEmpty());
}

void TestCommControl::inputOnAClosedPortYieldsNothing()
{
    QVERIFY(m_control->input().isEmpty());
    m_control->setPortOpen(false); // closing a closed port is no failure
    QCOMPARE(m_memory->openCount(), 0);

    // What waited when the port closed is gone, also after reopening.
    openQuiet();
    m_memory->deliver(numberedReport(1));
    m_control->setPortOpen(false);
    QVERIFY(m_control->input().isEmpty());
    open();
    QVERIFY(m_control->input().isEmpty());
}

void TestCommControl::refusedOpenKeepsThePortClosed()
{
    m_memory->refuse(QStringLiteral("mem3"), QStringLiteral("Device or resource busy"), QSerialPort::PermissionError);
    m_control->setCommPort(3);

    QVERIFY_THROWS_EXCEPTION(PortError, open());
    QVERIFY(!m_control->portOpen());
    QVERIFY(!m_memory->isOpen());
    QVERIFY(m_control->lastError().contains(QStringLiteral("mem3")));
    QVERIFY(m_control->lastError().contains(QStringLiteral("Device or resource busy")));

    // A good open afterwards clears the reason.
    m_control->setCommPort(4);
    open();
    QVERIFY(m_control->portOpen());
    QVERIFY(m_control->lastError().isEmpty());
}

void TestCommControl::unboundPortsStandForTheirDevicesOnTheReading()
{
    auto memory = std::make_unique<MemoryPortBackend>();
    MemoryPortBackend& port = *memory;
    CommControl control(std::move(memory), [](int n) { return n == 1 ? std::optional(memDevice(n)) : std::nullopt; });
    const serial::SerialDevices devices({{"memA", {}, {}, {}}, {"memB", {}, {}, {}}}, {});

    control.openOn(devices); // port 1 is bound
    QCOMPARE(port.device(), QStringLiteral("mem1"));
    control.setPortOpen(false);
    control.setCommPort(2);
    QCOMPARE(control.deviceForPort(2, devices), QStringLiteral("memB"));
    control.openOn(devices);
    QCOMPARE(port.device(), QStringLiteral("memB"));
    QCOMPARE(control.device(), QStringLiteral("memB"));
}

void TestCommControl::eachOpenAsksTheMappingOnce()
{
    int asked = 0;
    CommControl control(std::make_unique<MemoryPortBackend>(), [&asked](int n) {
        ++asked;
        return std::optional(memDevice(n));
    });
    QVERIFY(control.device().isEmpty()); // naming the device asks nothing
    control.setPortOpen(true);
    QCOMPARE(control.device(), memDevice(1));
    control.setPortOpen(false);
    QCOMPARE(asked, 1);
    // Looked up ahead of the open, as the recorder does for its started row: the open uses that answer.
    QCOMPARE(control.lookUpDevice(), memDevice(1));
    control.setPortOpen(true);
    QCOMPARE(asked, 2);
    control.setPortOpen(false);
    control.setPortOpen(true); // devices come and go: the next open asks again
    QCOMPARE(asked, 3);
}

void TestCommControl::configurationHoldsAcrossCloseAndReopen()
{
    m_control->setCommPort(16);
    m_control->setSettings(QStringLiteral("57600,n,8,1"));
    m_control->setRThreshold(12);

    for (int round = 0; round < 2; ++round) {
        open();
        QCOMPARE(m_memory->device(), QStringLiteral("mem16"));
        QCOMPARE(m_memory->settings().text(), QStringLiteral("57600,n,8,1"));
        m_control->setPortOpen(false);
        QCOMPARE(m_control->commPort(), qint16(16));
        QCOMPARE(CommControlSeam::settings(*m_control), QStringLiteral("57600,n,8,1"));
        QCOMPARE(CommControlSeam::rThreshold(*m_control), qint16(12));
    }
    QCOMPARE(m_memory->openCount(), 2);
}

void TestCommControl::settingsApplyAtOnceToTheOpenPort()
{
    open();
    m_control->setSettings(QStringLiteral("115200,n,8,1"));
    QCOMPARE(m_memory->settings().text(), QStringLiteral("115200,n,8,1"));
    QCOMPARE(CommControlSeam::settings(*m_control), QStringLiteral("115200,n,8,1"));
    // Applied in place, not by reopening (which would drop waiting bytes).
    QVERIFY(m_control->portOpen());
    QCOMPARE(m_memory->openCount(), 1);
}

void TestCommControl::rejectedSettingsKeepThePreviousOnesInForce_data()
{
    QTest::addColumn<bool>("portOpen");
    QTest::addColumn<QString>("text");

    QTest::newRow("rate the device rejects") << true << QStringLiteral("115200,n,8,1");
    QTest::newRow("malformed, port open") << true << QStringLiteral("19200,n,8");
    QTest::newRow("malformed, port closed") << false << QStringLiteral("fast,n,8,1");
}

void TestCommControl::rejectedSettingsKeepThePreviousOnesInForce()
{
    QFETCH(bool, portOpen);
    QFETCH(QString, text);

    m_memory->rejectBaudRate(115200);
    m_control->setSettings(QStringLiteral("19200,n,8,1"));
    if (portOpen)
        openQuiet();
    m_memory->deliver(numberedReport(1));

    QVERIFY_THROWS_EXCEPTION(PortError, m_control->setSettings(text));
    QCOMPARE(CommControlSeam::settings(*m_control), QStringLiteral("19200,n,8,1"));
    QCOMPARE(m_control->portOpen(), portOpen);
    if (portOpen) {
        QCOMPARE(m_memory->settings().text(), QStringLiteral("19200,n,8,1"));
        QCOMPARE(m_control->input(), numberedReport(1));
    }
}

void TestCommControl::invalidArgumentsThrowAndChangeNothing_data()
{
    QTest::addColumn<QString>("operation");
    QTest::addColumn<int>("value");
    QTest::addColumn<bool>("portOpen");

    QTest::newRow("port number while open") << "port" << 2 << true;
    QTest::newRow("port number 0") << "port" << 0 << false;
    QTest::newRow("port number negative") << "port" << -1 << false;
    QTest::newRow("negative threshold") << "threshold" << -12 << false;
    QTest::newRow("open an open port") << "open" << 0 << true;
}

void TestCommControl::invalidArgumentsThrowAndChangeNothing()
{
    QFETCH(QString, operation);
    QFETCH(int, value);
    QFETCH(bool, portOpen);

    if (portOpen)
        open();
    try {
        if (operation == QLatin1String("port"))
            m_control->setCommPort(qint16(value));
        else if (operation == QLatin1String("threshold"))
            m_control->setRThreshold(qint16(value));
        else
            open();
        QFAIL("no PortError");
    } catch (const PortError& error) {
        QVERIFY(!error.message().isEmpty());
    }
    QCOMPARE(m_control->commPort(), qint16(1));
    QCOMPARE(CommControlSeam::rThreshold(*m_control), qint16(0));
    QCOMPARE(m_control->portOpen(), portOpen);
    QCOMPARE(m_memory->openCount(), portOpen ? 1 : 0);
}

void TestCommControl::receiveEventsFollowTheThreshold_data()
{
    QTest::addColumn<qint16>("threshold");
    QTest::addColumn<QList<int>>("pieces");
    // Events counted after each piece has been delivered.
    QTest::addColumn<QList<int>>("eventsAfterPiece");

    QTest::newRow("report in pieces 5+4+3") << qint16(12) << QList<int>{5, 4, 3} << QList<int>{0, 0, 1};
    QTest::newRow("11 bytes are not a report") << qint16(12) << QList<int>{11} << QList<int>{0};
    QTest::newRow("two reports in one read") << qint16(12) << QList<int>{24} << QList<int>{1};
    QTest::newRow("next report after a read") << qint16(12) << QList<int>{12, 5, 7} << QList<int>{1, 1, 2};
    QTest::newRow("a byte at a time") << qint16(12) << QList<int>(24, 1)
                                      << QList<int>(11, 0) + QList<int>(12, 1) + QList<int>{2};
    QTest::newRow("threshold 0, stopped") << qint16(0) << QList<int>{12, 12} << QList<int>{0, 0};
}

void TestCommControl::receiveEventsFollowTheThreshold()
{
    QFETCH(qint16, threshold);
    QFETCH(QList<int>, pieces);
    QFETCH(QList<int>, eventsAfterPiece);

    readOnEveryEvent();
    openQuiet();
    m_control->setRThreshold(threshold);

    const QByteArray sent = numberedReport(1) + numberedReport(2);
    qsizetype at = 0;
    for (qsizetype i = 0; i < pieces.size(); ++i) {
        m_memory->deliver(sent.sliced(at, pieces[i]));
        at += pieces[i];
        QCOMPARE(m_events, eventsAfterPiece[i]);
    }
    // Nothing more follows, not even once the line is quiet.
    waitForQuietLine();
    QCOMPARE(m_events, eventsAfterPiece.last());
    QCOMPARE(m_eventKinds, QList<qint16>(m_events, serial::kCommEventReceive));
    // Each event hands over the newest whole report, once.
    const QByteArray newest = at >= 24 ? numberedReport(2) : at >= 12 ? numberedReport(1) : QByteArray();
    QCOMPARE(threshold > 0 ? m_read.right(12) : m_control->input(), newest);
}

void TestCommControl::thresholdReachedByWaitingBytes_data()
{
    // What happens between setting the threshold and the event loop running.
    QTest::addColumn<QString>("meanwhile");
    QTest::addColumn<int>("events");

    QTest::newRow("nothing") << "" << 1;
    QTest::newRow("threshold set again") << "set again" << 1;
    QTest::newRow("stopped") << "stop" << 0;
    QTest::newRow("backlog read") << "read" << 0;
    QTest::newRow("port closed") << "close" << 0;
}

void TestCommControl::thresholdReachedByWaitingBytes()
{
    QFETCH(QString, meanwhile);
    QFETCH(int, events);

    readOnEveryEvent();
    openQuiet();
    m_memory->deliver(numberedReport(1));
    QCOMPARE(m_events, 0);

    m_control->setRThreshold(12);
    // Raised from the event loop, never nested inside the setter.
    QCOMPARE(m_events, 0);
    if (meanwhile == QLatin1String("set again"))
        m_control->setRThreshold(12);
    else if (meanwhile == QLatin1String("stop"))
        m_control->setRThreshold(0);
    else if (meanwhile == QLatin1String("read"))
        m_control->input();
    else if (meanwhile == QLatin1String("close"))
        m_control->setPortOpen(false);

    if (events > 0)
        QTRY_COMPARE(m_events, events);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    QCOMPARE(m_events, events);
    if (events > 0)
        QCOMPARE(m_read, numberedReport(1));
}

void TestCommControl::deviceFailureClosesThePortOnce()
{
    readOnEveryEvent();
    QSignalSpy lost(m_control.get(), &CommControl::deviceLost);
    openQuiet();
    m_control->setRThreshold(12);
    m_memory->deliver(numberedReport(1).first(5));

    m_memory->fail(QStringLiteral("Input/output error"));
    QVERIFY(!m_control->portOpen());
    QVERIFY(!m_memory->isOpen());
    QCOMPARE(lost.count(), 1);
    QCOMPARE(lost.at(0).at(0).toString(), QStringLiteral("Input/output error"));
    QCOMPARE(m_control->lastError(), QStringLiteral("Input/output error"));

    // A device in trouble may report again; the window hears of it once.
    m_memory->fail(QStringLiteral("again"));
    emit m_memory->failed(QStringLiteral("again, while closed"));
    QCoreApplication::processEvents();
    QCOMPARE(lost.count(), 1);
    QVERIFY(m_control->input().isEmpty());
    QCOMPARE(CommControlSeam::rThreshold(*m_control), qint16(12));

    // Reopening starts afresh: the 5 bytes from before the failure are gone.
    openQuiet();
    QVERIFY(m_control->lastError().isEmpty());
    m_memory->deliver(numberedReport(2).first(7));
    QCOMPARE(m_events, 0);
    m_memory->deliver(numberedReport(2).sliced(7));
    QCOMPARE(m_events, 1);
    QCOMPARE(m_read, numberedReport(2));
}

void TestCommControl::deviceLostInApplyIsClosedAfterTheCall()
{
    QSignalSpy lost(m_control.get(), &CommControl::deviceLost);
    open();
    m_memory->rejectBaudRate(115200);
    m_memory->refuseRestore();
    QVERIFY_THROWS_EXCEPTION(PortError, m_control->setSettings(QStringLiteral("115200,n,8,1")));
    QVERIFY(!m_memory->isOpen());
    QVERIFY(!m_control->portOpen());
    QCOMPARE(lost.count(), 1);
    QVERIFY(m_control->lastError().contains(QStringLiteral("cannot be set back")));
}

void TestCommControl::deliversWholeReportsOnly_data()
{
    // Bursts, each followed by a quiet line; what the handler reads and which
    // bytes are announced as belonging to no report.
    QTest::addColumn<QList<QByteArray>>("bursts");
    QTest::addColumn<QByteArray>("read");
    QTest::addColumn<QList<QByteArray>>("rejected");

    const QByteArray r1 = numberedReport(1);
    const QByteArray r2 = numberedReport(2);
    const QByteArray stray = QByteArray::fromHex("F10000");
    using L = QList<QByteArray>;
    QTest::newRow("stray fragment, then a report") << L{stray + r1} << r1 << L{stray};
    QTest::newRow("garbage alone") << L{stray} << QByteArray() << L{stray};
    QTest::newRow("cut report, then a whole one") << L{r1.first(6) + r2} << r2 << L{r1.first(6)};
    QTest::newRow("report, then garbage") << L{r1, stray} << r1 << L{stray};
}

void TestCommControl::deliversWholeReportsOnly()
{
    QFETCH(QList<QByteArray>, bursts);
    QFETCH(QByteArray, read);
    QFETCH(QList<QByteArray>, rejected);

    readOnEveryEvent();
    QSignalSpy rejections(m_control.get(), &CommControl::inputRejected);
    openQuiet();
    m_memory->deliver(QByteArray::fromHex("F1F1")); // while stopped: nobody hears of it
    waitForQuietLine();
    m_control->setRThreshold(12);
    for (const QByteArray& burst : bursts) {
        m_memory->deliver(burst);
        waitForQuietLine();
    }
    QCOMPARE(m_read, read);
    QList<QByteArray> announced;
    for (const QList<QVariant>& arguments : rejections)
        announced.append(arguments.at(0).toByteArray());
    QCOMPARE(announced, rejected);
}

QTEST_GUILESS_MAIN(TestCommControl)
#include "test_comm_control.moc"
