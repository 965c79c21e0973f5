#include <QProcess>
#include <QTest>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

class TestSimProgram : public QObject
{
    Q_OBJECT

private slots:
    void rejectsBadOptionWithStatus2();
    void helpDocumentsEveryOption();
    void demoTakesTheEmulatorsOptions();
    void sendsOnAPseudoTerminalUntilTerminated();
};

void TestSimProgram::rejectsBadOptionWithStatus2()
{
    QProcess sim;
    sim.start(BERMON_SIM_PATH, {"--baud", "1234"});
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 2);
    const QString error = QString::fromLocal8Bit(sim.readAllStandardError());
    QVERIFY2(error.contains("--baud '1234'"), qPrintable(error));
    QVERIFY(sim.readAllStandardOutput().isEmpty());
}

void TestSimProgram::helpDocumentsEveryOption()
{
    QProcess sim;
    sim.start(BERMON_SIM_PATH, {"--help"});
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(sim.readAllStandardOutput());
    for (const char* option : {"--device", "--baud", "--interval", "--frame-rate", "--ber", "--loss-rate",
                               "--cluster-bits", "--cluster-frames", "--counters", "--fault", "--fault-every",
                               "--hangup-after", "--pieces", "--count", "--seed"})
        QVERIFY2(help.contains(option), option);
    QCOMPARE(help.count("(default"), 15);
    for (const char* fault : {"stray", "marker-counts", "wrap", "wire time"})
        QVERIFY2(help.simplified().contains(fault), fault); // a phrase may wrap
}

void TestSimProgram::demoTakesTheEmulatorsOptions()
{
    QProcess demo;
    demo.start(BERMON_DEMO_PATH, {"--fault", "garbage", "--interval", "soon"});
    QVERIFY(demo.waitForFinished(30000));
    QCOMPARE(demo.exitCode(), 2);
    QVERIFY(demo.readAllStandardError().contains("--interval 'soon'"));

    demo.start(BERMON_DEMO_PATH, {"--help"});
    QVERIFY(demo.waitForFinished(30000));
    QCOMPARE(demo.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(demo.readAllStandardOutput());
    QVERIFY2(help.contains("--pieces") && help.contains("(default 250)") && !help.contains("--device"),
             qPrintable(help));
}

void TestSimProgram::sendsOnAPseudoTerminalUntilTerminated()
{
    QProcess sim;
    sim.start(BERMON_SIM_PATH, {"--interval", "10"});
    QVERIFY(sim.waitForStarted(30000));
    QDeadlineTimer deadline(30000);
    while (!sim.canReadLine() && sim.waitForReadyRead(int(deadline.remainingTime()))) { }
    const QByteArray slavePath = sim.readLine().trimmed();
    QVERIFY2(slavePath.startsWith("/dev/"), slavePath);

    const int slave = ::open(slavePath.constData(), O_RDONLY | O_NOCTTY | O_NONBLOCK);
    QVERIFY(slave >= 0);
    QByteArray received;
    char buffer[64];
    while (received.size() < 24 && !deadline.hasExpired()) {
        QTest::qWait(5);
        for (ssize_t got; (got = ::read(slave, buffer, sizeof buffer)) > 0;)
            received.append(buffer, got);
    }
    QVERIFY(received.size() >= 24);
    QCOMPARE(quint8(received[0]), 0xF1);
    QCOMPARE(quint8(received[12]), 0xF1);

    sim.terminate(); // SIGTERM
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitStatus(), QProcess::NormalExit);
    QCOMPARE(sim.exitCode(), 0);
    while (::read(slave, buffer, sizeof buffer) > 0) { }
    const ssize_t last = ::read(slave, buffer, sizeof buffer);
    QVERIFY(last == 0 || errno == EIO);
    ::close(slave);
}

QTEST_GUILESS_MAIN(TestSimProgram)
#include "test_sim_program.moc"
