// bermon-log when logrotate works on its file: cut back under it
// (copytruncate), moved away with a new file made in its place (create), or
// removed. The file at the path stays a recording the readers take, and the
// run goes on in it with its totals.

#include "recording/RecordingReader.h"

#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

// The rows of a recording that the readers take, or nothing with the reason.
std::vector<ReadRow> rowsOf(const QString& path, QString* error)
{
    std::vector<ReadRow> rows;
    const RecordingScan scan = readRecording(path, [&](const ReadRow& row, int) { rows.push_back(row); });
    *error = scan.error;
    return scan.ok() ? rows : std::vector<ReadRow>{};
}

} // namespace

class TestLogRotation : public QObject
{
    Q_OBJECT

private slots:
    void theRunGoesOnInTheFileThere_data();
    void theRunGoesOnInTheFileThere();
};

void TestLogRotation::theRunGoesOnInTheFileThere_data()
{
    QTest::addColumn<QString>("rotation");
    QTest::addColumn<QString>("why");
    QTest::newRow("copytruncate") << QStringLiteral("truncate") << QStringLiteral("file truncated");
    QTest::newRow("create") << QStringLiteral("move and create") << QStringLiteral("file replaced");
    QTest::newRow("removed") << QStringLiteral("remove") << QStringLiteral("file replaced");
}

void TestLogRotation::theRunGoesOnInTheFileThere()
{
    QFETCH(QString, rotation);
    QFETCH(QString, why);
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv"), rotated = dir.filePath("run.csv.1");
    emulator::PseudoTerminal line;
    emulator::EmulatorSettings settings;
    settings.intervalMs = 50;
    emulator::UnitEmulator unit(line, settings);
    QProcess log;
    log.start(BERMON_LOG_PATH, {"--device", line.slavePath(), "--csv", csv, "--quiet"});
    unit.start();
    // The unit transmits from this event loop: wait in it.
    QString error;
    QVERIFY(QTest::qWaitFor([&] { return rowsOf(csv, &error).size() >= 5; }, 20000));

    if (rotation == "truncate") {
        QVERIFY(QFile::resize(csv, 0));
    } else {
        QVERIFY(QFile::rename(csv, rotated));
        if (rotation == "move and create")
            QVERIFY(QFile(csv).open(QIODevice::WriteOnly));
    }
    // The next row, and a report after it, in the file there now.
    const auto reportAfterRestart = [&] {
        const std::vector<ReadRow> rows = rowsOf(csv, &error);
        return rows.size() >= 2 && rows.back().isReport();
    };
    QVERIFY2(QTest::qWaitFor(reportAfterRestart, 20000), qPrintable(error));
    log.terminate();
    QVERIFY(QTest::qWaitFor([&] { return log.state() == QProcess::NotRunning; }, 20000));
    QCOMPARE(log.exitCode(), 0);

    const std::vector<ReadRow> rows = rowsOf(csv, &error);
    QVERIFY2(!rows.empty(), qPrintable(error));
    const ReadRow& started = rows.front();
    QCOMPARE(started.event, QStringLiteral("started"));
    QVERIFY2(measurement::startedDetailWords(started.detail).endsWith(", " + why), qPrintable(started.detail));
    QVERIFY2(started.runBits > 0, "the run's totals carry on");
    QCOMPARE(rows.back().event, QStringLiteral("stopped"));
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(!file.readAll().contains('\0'));
    if (rotation != "truncate")
        QVERIFY2(!rowsOf(rotated, &error).empty(), qPrintable(error)); // whole rows up to the rotation
}

QTEST_MAIN(TestLogRotation)
#include "test_log_rotation.moc"
