// The programs' command lines where there is no display, as over SSH or in a
// service: help and bad options work, help fits 80 columns, the programs
// without a window say nothing of a runtime directory, and the programs
// with a window say plainly that they need a graphical desktop.
#include <QProcess>
#include <QProcessEnvironment>
#include <QtTest>

class TestCommandLines : public QObject
{
    Q_OBJECT
private slots:
    void withoutADisplay_data();
    void withoutADisplay();
    void namesItselfAndItsVersion_data();
    void namesItselfAndItsVersion();
};

void TestCommandLines::withoutADisplay_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("saying"); // in standard output for help, else in standard error

    QTest::newRow("bermon-sim --help") << BERMON_SIM_PATH << QStringList{"--help"} << 0 << "--fault";
    QTest::newRow("bermon-log --help") << BERMON_LOG_PATH << QStringList{"--help"} << 0 << "--max-ber";
    QTest::newRow("bermon-plot --help") << BERMON_PLOT_PATH << QStringList{"--help"} << 0 << "--run";
    QTest::newRow("bermon-report --help") << BERMON_REPORT_PATH << QStringList{"--help"} << 0 << "--note";
    QTest::newRow("bermon-demo --help") << BERMON_DEMO_PATH << QStringList{"--help"} << 0 << "press Start";
    QTest::newRow("bermon-demo, a bad value") << BERMON_DEMO_PATH << QStringList{"--ber", "x"} << 2 << "--ber 'x'";
    QTest::newRow("bermon-demo, no such option") << BERMON_DEMO_PATH << QStringList{"--colour"} << 2 << "'colour'";
    QTest::newRow("bermon-log, a bad value")
        << BERMON_LOG_PATH << QStringList{"--device", "/dev/null", "--baud", "7"} << 2 << "--baud";
    QTest::newRow("bermon-plot --follow --help")
        << BERMON_PLOT_PATH << QStringList{"--follow", "--help"} << 0 << "--follow";
    // Every way a program opens a window.
    const QString noDesktop = QStringLiteral("needs a graphical desktop, and no window system could be reached "
                                             "(DISPLAY is not set, WAYLAND_DISPLAY is not set)");
    QTest::newRow("bermon") << BERMON_PATH << QStringList{} << 1 << noDesktop;
    QTest::newRow("bermon-demo") << BERMON_DEMO_PATH << QStringList{} << 1 << noDesktop;
    QTest::newRow("bermon-demo with a fault")
        << BERMON_DEMO_PATH << QStringList{"--fault", "garbage"} << 1 << noDesktop;
    QTest::newRow("bermon-plot --follow") << BERMON_PLOT_PATH << QStringList{"--follow", "run.csv"} << 1 << noDesktop;
    QTest::newRow("bermon-plot --follow --window")
        << BERMON_PLOT_PATH << QStringList{"--window", "60", "--follow", "run.csv"} << 1 << noDesktop;
}

void TestCommandLines::withoutADisplay()
{
    QFETCH(QString, program);
    QFETCH(QStringList, arguments);
    QFETCH(int, status);
    QFETCH(QString, saying);

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "XDG_RUNTIME_DIR", "XDG_SESSION_TYPE"})
        environment.remove(QLatin1String(name));
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    QVERIFY(process.waitForFinished(10000));
    const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
    const QString err = QString::fromLocal8Bit(process.readAllStandardError());
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), status);
    QVERIFY2((status == 0 ? out : err).contains(saying), qPrintable(out + err));
    QVERIFY2(!err.contains(QLatin1String("XDG_RUNTIME_DIR")), qPrintable(err));
    if (status == 1) // one line, no word from Qt of plugins that could not start
        QCOMPARE(err.count(QLatin1Char('\n')), 1);
    for (const QString& line : out.split(QLatin1Char('\n')))
        QVERIFY2(line.size() <= 80, qPrintable(line));
}

void TestCommandLines::namesItselfAndItsVersion_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("name");
    QTest::newRow("bermon-sim") << BERMON_SIM_PATH << "bermon-sim";
    QTest::newRow("bermon-log") << BERMON_LOG_PATH << "bermon-log";
    QTest::newRow("bermon-plot") << BERMON_PLOT_PATH << "bermon-plot";
    QTest::newRow("bermon-report") << BERMON_REPORT_PATH << "bermon-report";
    QTest::newRow("bermon-demo") << BERMON_DEMO_PATH << "bermon-demo";
}

// Started by a path, every program gives its own name and the project's one version.
void TestCommandLines::namesItselfAndItsVersion()
{
    QFETCH(QString, program);
    QFETCH(QString, name);
    const auto output = [&program](const QString& option) {
        QProcess process;
        process.start(program, {option});
        return process.waitForFinished(10000) && process.exitCode() == 0
                   ? QString::fromLocal8Bit(process.readAllStandardOutput())
                   : QStringLiteral("failed: ") + QString::fromLocal8Bit(process.readAllStandardError());
    };
    QCOMPARE(output("--version"), QStringLiteral("%1 %2\n").arg(name, BERMON_VERSION));
    const QString help = output("--help");
    QVERIFY2(help.startsWith(QStringLiteral("Usage: %1 ").arg(name)), qPrintable(help.left(200)));
}

QTEST_GUILESS_MAIN(TestCommandLines)
#include "test_command_lines.moc"
