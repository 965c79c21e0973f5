// bermon-log says plainly why a run cannot start: another program holds the
// device, or the disk takes not even the first row.

#include "recording/RecordingWriter.h"

#include "emulator/PseudoTerminal.h"
#include "serial/HoldingProcess.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <sys/resource.h>

class TestLogStart : public QObject
{
    Q_OBJECT

private slots:
    void aHeldDeviceNamesItsHolder();
    void aFullDiskSaysSo();
};

void TestLogStart::aHeldDeviceNamesItsHolder()
{
    emulator::PseudoTerminal line;
    QProcess holder;
    holder.start(BERMON_SIM_PATH, {"--device", line.slavePath(), "--interval", "100000"});
    QVERIFY(holder.waitForStarted());
    const qint64 holderPid = holder.processId();
    QVERIFY(QTest::qWaitFor([&] { return serial::findHoldingProcess(line.slavePath()).has_value(); }, 20000));
    QProcess log;
    log.start(BERMON_LOG_PATH, {"--device", line.slavePath(), "--quiet"});
    QVERIFY(log.waitForFinished(20000));
    holder.terminate();
    QVERIFY(holder.waitForFinished());
    QCOMPARE(log.exitCode(), 3);
    const QString errors = QString::fromLocal8Bit(log.readAllStandardError());
    QVERIFY2(errors.contains(QStringLiteral("; in use by process %1 (bermon-sim)").arg(holderPid)), qPrintable(errors));
}

void TestLogStart::aFullDiskSaysSo()
{
    // A recording with its header and no room for a row more.
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    QFile file(csv);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(csvHeader()) == csvHeader().size());
    file.close();
    emulator::PseudoTerminal line;
    QProcess log;
    // Worked out here: the child, which may share the parent's memory until
    // it runs the program, must not allocate.
    const rlimit fileSize{rlim_t(csvHeader().size()), rlim_t(csvHeader().size())};
    log.setChildProcessModifier([fileSize] { ::setrlimit(RLIMIT_FSIZE, &fileSize); });
    log.start(BERMON_LOG_PATH, {"--device", line.slavePath(), "--csv", csv, "--quiet"});
    QVERIFY(log.waitForFinished(20000));
    QCOMPARE(log.exitCode(), 3);
    const QString errors = QString::fromLocal8Bit(log.readAllStandardError());
    QVERIFY2(errors.contains("a record could not be written: " + csv + ": File too large"), qPrintable(errors));
    QVERIFY2(!errors.contains("no report came"), qPrintable(errors));
}

QTEST_MAIN(TestLogStart)
#include "test_log_start.moc"
