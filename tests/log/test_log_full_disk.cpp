// bermon-log when its CSV cannot grow: a file-size limit on the recorder
// stands in for a full disk, failing a write part-way through a row.

#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/resource.h>

namespace {

// Commas outside quotes; -1 when a quote is left open.
int separators(const QByteArray& line)
{
    int commas = 0;
    bool quoted = false;
    for (const char c : line) {
        quoted ^= c == '"';
        commas += c == ',' && !quoted;
    }
    return quoted ? -1 : commas;
}

// bermon-log recording the emulated unit into run.csv, which may grow to `limit` bytes.
// Returns the exit status, -1 when it did not exit.
int recordUnder(rlim_t limit, const QTemporaryDir& dir, QString* errors)
{
    emulator::PseudoTerminal line;
    emulator::EmulatorSettings settings;
    settings.intervalMs = 20;
    settings.link.frameRate = 1e6;
    emulator::UnitEmulator unit(line, settings);
    QProcess log;
    log.setChildProcessModifier([limit] {
        const rlimit fileSize{limit, limit};
        ::setrlimit(RLIMIT_FSIZE, &fileSize);
        std::signal(SIGXFSZ, SIG_DFL); // as a shell leaves it: the recorder must see to it
    });
    log.start(BERMON_LOG_PATH,
              {"--device", line.slavePath(), "--csv", dir.filePath("run.csv"), "--reports", "1000", "--quiet"});
    unit.start();
    // The unit transmits from this event loop: wait in it.
    const bool exited = QTest::qWaitFor([&] { return log.state() == QProcess::NotRunning; }, 30000);
    *errors = QString::fromLocal8Bit(log.readAllStandardError());
    return exited && log.exitStatus() == QProcess::NormalExit ? log.exitCode() : -1;
}

} // namespace

class TestLogFullDisk : public QObject
{
    Q_OBJECT

private slots:
    void aFullFileHoldsWholeRowsAndTheMessageSaysWhy()
    {
        QTemporaryDir dir;
        QString errors;
        QCOMPARE(recordUnder(2000, dir, &errors), 3); // the header, the started row and a few reports
        QVERIFY2(errors.contains("a record could not be written: " + dir.filePath("run.csv") + ": File too large"),
                 qPrintable(errors));
        QFile file(dir.filePath("run.csv"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        QVERIFY(bytes.endsWith('\n'));
        const QList<QByteArray> lines = bytes.chopped(1).split('\n');
        QVERIFY2(lines.size() >= 4, bytes.constData());
        for (const QByteArray& line : lines)
            QVERIFY2(separators(line) == separators(lines.first()), line.constData());
    }
    void aFileThatCannotTakeItsHeaderIsRemoved()
    {
        QTemporaryDir dir;
        QString errors;
        QCOMPARE(recordUnder(100, dir, &errors), 2);
        QVERIFY2(errors.contains("--csv '" + dir.filePath("run.csv") + "': File too large"), qPrintable(errors));
        QVERIFY(!QFile::exists(dir.filePath("run.csv")));
    }
};

QTEST_GUILESS_MAIN(TestLogFullDisk)
#include "test_log_full_disk.moc"
