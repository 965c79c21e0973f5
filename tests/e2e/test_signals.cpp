// SIGHUP, SIGINT and SIGTERM end every companion program as it is meant to
// end: the recorder with its stopped row and its device down, the emulator
// and the live view with status 0, and the plot and the report with no file
// left behind. Each signal goes only to a program that has said it is ready.

#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"
#include "support/ProcessSignals.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include <sys/stat.h>

namespace {

QByteArray contents(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestSignals : public QObject
{
    Q_OBJECT

private slots:
    void endsAsMeant_data();
    void endsAsMeant();
};

void TestSignals::endsAsMeant_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<int>("signal");
    for (const char* program : {"bermon-log", "bermon-sim", "bermon-plot", "bermon-plot --follow", "bermon-report"})
        for (const auto& [name, signal] : {std::pair{"SIGHUP", SIGHUP}, {"SIGINT", SIGINT}, {"SIGTERM", SIGTERM}})
            QTest::addRow("%s, %s", program, name) << QString::fromLatin1(program) << signal;
}

void TestSignals::endsAsMeant()
{
    QFETCH(QString, program);
    QFETCH(int, signal);
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv"), prom = dir.filePath("unit.prom");
    emulator::PseudoTerminal line;
    emulator::EmulatorSettings settings;
    settings.intervalMs = 50;
    emulator::UnitEmulator unit(line, settings);
    QProcess process;
    std::function<bool()> ready;
    if (program == "bermon-log") {
        process.start(BERMON_LOG_PATH, {"--device", line.slavePath(), "--csv", csv, "--prom-file", prom, "--quiet"});
        unit.start();
        ready = [&] { return contents(csv).count('\n') >= 3; }; // the header, the started row, a report
    } else if (program == "bermon-sim") {
        process.start(BERMON_SIM_PATH, {"--interval", "50"});
        ready = [&] { return process.canReadLine(); }; // the pseudo-terminal to connect to
    } else if (program == "bermon-plot --follow") {
        process.start(BERMON_PLOT_PATH, {"--follow", csv});
        ready = [&] { return catchesSignal(process.processId(), signal); }; // taken once the window is shown
    } else {
        // Reading a pipe no one writes to: the program waits there, its output begun.
        QVERIFY(::mkfifo(QFile::encodeName(csv).constData(), 0600) == 0);
        const QString out = program == "bermon-plot" ? "out.png" : "out.pdf";
        process.start(program == "bermon-plot" ? BERMON_PLOT_PATH : BERMON_REPORT_PATH,
                      {csv, "-o", dir.filePath(out)});
        ready = [&, out] {
            const QStringList files = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
            return std::any_of(files.begin(), files.end(), [&](const QString& f) { return f.startsWith("." + out); });
        };
    }
    QVERIFY(process.waitForStarted());
    QVERIFY(QTest::qWaitFor(ready, 20000));
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(QTest::qWaitFor([&] { return process.state() == QProcess::NotRunning; }, 20000));

    if (program == "bermon-plot" || program == "bermon-report") {
        QCOMPARE(process.exitStatus(), QProcess::CrashExit); // ended by the signal, as without a handler
        QCOMPARE(process.exitCode(), signal);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::System | QDir::Hidden), QStringList{"run.csv"});
        return;
    }
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    if (program == "bermon-log") {
        const QList<QByteArray> rows = contents(csv).trimmed().split('\n');
        QVERIFY2(rows.last().contains(",stopped,") && rows.last().contains("interrupted by a signal"),
                 rows.last().constData());
        const QString figures = QString::fromUtf8(contents(prom));
        QVERIFY2(figures.contains(QRegularExpression("\nbermon_device_up\\{[^}]*\\} 0\n")), qPrintable(figures));
    }
}

QTEST_MAIN(TestSignals)
#include "test_signals.moc"
