#include "emulator/CounterReportEncoding.h"
#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

using emulator::EmulatorSettings;
using emulator::PseudoTerminal;
using emulator::ReportFault;
using emulator::UnitEmulator;

Q_DECLARE_METATYPE(emulator::ReportFault)

namespace {

// The monitor's side, read as the pseudo-terminal leaves it: raw, or reports would not pass intact.
struct SlaveSide
{
    explicit SlaveSide(const QString& path)
        : fd(::open(path.toLocal8Bit().constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK))
    {
    }
    ~SlaveSide()
    {
        if (fd >= 0)
            ::close(fd);
    }

    // What waits now; `ended` turns true once the master has gone.
    QByteArray readAvailable(bool* ended = nullptr)
    {
        QByteArray bytes;
        char buffer[256];
        ssize_t got;
        while ((got = ::read(fd, buffer, sizeof buffer)) > 0)
            bytes.append(buffer, got);
        if (ended)
            *ended = got == 0 || errno == EIO;
        return bytes;
    }

    const int fd;
};

} // namespace

class TestUnitEmulatorOnPty : public QObject
{
    Q_OBJECT

private slots:
    void reportsReachTheSlave_data();
    void reportsReachTheSlave();
    void sendDelayHoldsReportsBackButNotTheirCounts();
    void hangUpEndsTheLine();
    void lineNobodyReadsDropsInsteadOfBlocking();
};

void TestUnitEmulatorOnPty::reportsReachTheSlave_data()
{
    QTest::addColumn<ReportFault>("fault");
    QTest::addColumn<bool>("burst");

    QTest::newRow("plain") << ReportFault::None << false;
    QTest::newRow("double") << ReportFault::Double << false;
    QTest::newRow("garbage") << ReportFault::Garbage << false;
    QTest::newRow("burst") << ReportFault::None << true;
}

void TestUnitEmulatorOnPty::reportsReachTheSlave()
{
    QFETCH(ReportFault, fault);
    QFETCH(bool, burst);
    PseudoTerminal line;
    QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
    SlaveSide slave(line.slavePath());
    QVERIFY(slave.fd >= 0);

    EmulatorSettings settings;
    settings.baudRate = 115200;
    settings.intervalMs = 20;
    settings.count = 4;
    settings.link.bitErrorRate = 1e-3;
    settings.faults.reportFaults = {fault};
    settings.faults.burst = burst;
    UnitEmulator unit(line, settings);
    QSignalSpy transmitted(&unit, &UnitEmulator::transmitted);
    QSignalSpy finished(&unit, &UnitEmulator::finished);
    unit.start();

    QByteArray received;
    QDeadlineTimer deadline(20000);
    while (finished.isEmpty() && !deadline.hasExpired()) {
        QTest::qWait(2);
        received += slave.readAvailable();
    }
    received += slave.readAvailable();
    QCOMPARE(finished.count(), 1);
    QCOMPARE(transmitted.count(), 4);

    QByteArray sent;
    for (const QList<QVariant>& arguments : transmitted)
        sent += arguments.at(0).toByteArray();
    QCOMPARE(received.toHex(' '), sent.toHex(' '));

    // Reports in order by byte 11, each counting more frames than the one before; garbage never
    // holds the marker, and these small counts do not either.
    int number = 0;
    int frames = -1;
    for (qsizetype at = received.indexOf(char(emulator::kReportMarker)); at >= 0;
         at = received.indexOf(char(emulator::kReportMarker), at + emulator::kReportSize)) {
        const QByteArray report = received.mid(at, emulator::kReportSize);
        QCOMPARE(report.size(), emulator::kReportSize);
        QCOMPARE(quint8(report[11]), ++number);
        QVERIFY(quint16(quint8(report[1]) << 8 | quint8(report[2])) > frames);
        frames = quint8(report[1]) << 8 | quint8(report[2]);
    }
    QCOMPARE(number, fault == ReportFault::Double ? 8 : 4);
}

void TestUnitEmulatorOnPty::sendDelayHoldsReportsBackButNotTheirCounts()
{
    PseudoTerminal line;
    QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
    SlaveSide slave(line.slavePath());
    QVERIFY(slave.fd >= 0);

    EmulatorSettings settings;
    settings.baudRate = 9600; // 12.5 ms a report on the wire
    settings.intervalMs = 50;
    settings.sendDelayMs = 200; // mostly longer than the interval, so reports queue behind each other
    settings.count = 40;
    settings.link = {.frameRate = 1000, .bitErrorRate = 0, .frameLossRate = 0}; // a frame a millisecond
    UnitEmulator unit(line, settings);
    QSignalSpy finished(&unit, &UnitEmulator::finished);
    QElapsedTimer clock; // started first, so never behind the unit's
    clock.start();
    unit.start();

    QByteArray received;
    QList<double> arrivals; // when each whole report had been read
    QDeadlineTimer deadline(30000);
    while (finished.isEmpty() && !deadline.hasExpired()) {
        QTest::qWait(1);
        received += slave.readAvailable();
        while (arrivals.size() < received.size() / emulator::kReportSize)
            arrivals.append(double(clock.nsecsElapsed()) / 1e9);
    }
    QCOMPARE(finished.count(), 1);
    QCOMPARE(received.size(), 40 * emulator::kReportSize);

    // Frames received tell the moment of the counts, in milliseconds after the start. The moments
    // keep an interval apart, however long each report waited; none is sent before its moment,
    // nor (loosely, as a busy machine may stall) later than the delay and its wire time allow.
    int frames = 0;
    int heldBack = 0;
    for (int i = 0; i < arrivals.size(); ++i) {
        const QByteArray report = received.mid(i * emulator::kReportSize, emulator::kReportSize);
        QCOMPARE(quint8(report[0]), emulator::kReportMarker);
        QCOMPARE(quint8(report[11]), i + 1);
        const int counted = quint8(report[1]) << 8 | quint8(report[2]);
        QVERIFY2(counted - frames >= settings.intervalMs - 1, qPrintable(QString::number(counted - frames)));
        frames = counted;
        const double late = arrivals[i] - counted / 1000.0;
        QVERIFY2(late > -0.002 && late < 0.2 + 0.0125 + 0.5, qPrintable(QString::number(late)));
        heldBack += late > 0.05;
    }
    QVERIFY2(heldBack >= 10, qPrintable(QString::number(heldBack)));
}

void TestUnitEmulatorOnPty::hangUpEndsTheLine()
{
    PseudoTerminal line;
    QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
    SlaveSide slave(line.slavePath());
    EmulatorSettings settings;
    settings.intervalMs = 20;
    settings.faults.hangUpAfter = 2;
    UnitEmulator unit(line, settings);
    QSignalSpy transmitted(&unit, &UnitEmulator::transmitted);
    QSignalSpy hungUp(&unit, &UnitEmulator::hungUp);
    unit.start();

    QTRY_COMPARE_WITH_TIMEOUT(hungUp.count(), 1, 20000);
    QCOMPARE(transmitted.count(), 2);
    QVERIFY(!unit.isRunning());
    QVERIFY(!line.isOpen());
    QVERIFY(!line.write(QByteArray(12, '\0')));

    // Unread bytes may go with the line; what the reader gets in the end is end of file or EIO.
    bool ended = false;
    slave.readAvailable(&ended);
    QVERIFY(ended);
}

void TestUnitEmulatorOnPty::lineNobodyReadsDropsInsteadOfBlocking()
{
    PseudoTerminal line;
    QVERIFY2(line.isOpen(), qPrintable(line.errorString()));
    const QByteArray report = emulator::encodeReport({});
    int written = 0;
    while (written < 100000 && line.write(report))
        ++written;
    QVERIFY(written < 100000);
    QVERIFY(line.isOpen());
    QVERIFY2(line.errorString().contains("nobody reads"), qPrintable(line.errorString()));
}

QTEST_GUILESS_MAIN(TestUnitEmulatorOnPty)
#include "test_sim_pty.moc"
