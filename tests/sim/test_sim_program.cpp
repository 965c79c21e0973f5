#include <QDateTime>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

class TestSimProgram : public QObject
{
    Q_OBJECT

private slots:
    void rejectsBadOptionWithStatus2();
    void rejectsATruthFileItCannotWrite();
    void helpDocumentsEveryOption();
    void demoTakesTheEmulatorsOptions();
    void sendsOnAPseudoTerminalUntilTerminated();
    void writesTheTruthOfEachSecondUntilTerminated();
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

void TestSimProgram::rejectsATruthFileItCannotWrite()
{
    QProcess sim;
    sim.start(BERMON_SIM_PATH, {"--truth", "/nonexistent/truth.csv"});
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitCode(), 2);
    const QString error = QString::fromLocal8Bit(sim.readAllStandardError());
    QVERIFY2(error.contains("--truth '/nonexistent/truth.csv'"), qPrintable(error));
    QVERIFY(sim.readAllStandardOutput().isEmpty());
}

void TestSimProgram::helpDocumentsEveryOption()
{
    QProcess sim;
    sim.start(BERMON_SIM_PATH, {"--help"});
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitCode(), 0);
    const QString help = QString::fromLocal8Bit(sim.readAllStandardOutput());
    for (const char* option : {"--device",         "--baud",
                               "--interval",       "--interval-max",
                               "--frame-rate",     "--ber",
                               "--loss-rate",      "--cluster-bits",
                               "--cluster-frames", "--errored-seconds",
                               "--errored-share",  "--outage FIRST+LENGTH",
                               "--outage-chance",  "--outage-length",
                               "--counters",       "--fault",
                               "--fault-every",    "--hangup-after",
                               "--pieces",         "--send-delay",
                               "--count",          "--seed",
                               "--truth"})
        QVERIFY2(help.contains(option), option);
    QCOMPARE(help.count("(default"), 23);
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
    QVERIFY2(help.contains("--pieces") && help.contains("(default 250)") && !help.contains("--device")
                 && help.contains("--outage") && !help.contains("--truth"),
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

void TestSimProgram::writesTheTruthOfEachSecondUntilTerminated()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("truth.csv");
    const auto lines = [&path] {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll().split('\n') : QList<QByteArray>{};
    };
    // No report in the time the test takes: the seconds come as they end all the same.
    QProcess sim;
    sim.start(BERMON_SIM_PATH, {"--interval", "3600000", "--outage", "0+1", "--truth", path});
    QVERIFY(sim.waitForStarted(30000));
    QVERIFY(QTest::qWaitFor([&] { return lines().size() >= 4; }, 30000)); // the header, two seconds and ""
    sim.terminate();
    QVERIFY(sim.waitForFinished(30000));
    QCOMPARE(sim.exitCode(), 0);

    // Every second from the start to the end, the last one partial; the first one an outage.
    const QList<QByteArray> file = lines();
    QCOMPARE(file.first(), "time,blocks,errored_blocks,lost_frames");
    QCOMPARE(file.last(), "");
    QVERIFY2(file.size() >= 5, file.join('\n'));
    const QDateTime start = QDateTime::fromString(QString(file[1].split(',').first()), Qt::ISODate);
    for (qsizetype i = 1; i + 1 < file.size(); ++i) {
        const QList<QByteArray> fields = file[i].split(',');
        QCOMPARE(fields.size(), 4);
        QCOMPARE(QDateTime::fromString(QString(fields[0]), Qt::ISODate), start.addSecs(i - 1));
        const quint64 blocks = fields[1].toULongLong();
        QCOMPARE(fields[3].toULongLong(), i == 1 ? blocks : 0);
        if (i > 1 && i + 2 < file.size()) // a whole second at 1000 frames a second
            QVERIFY2(blocks >= 999 && blocks <= 1001, file[i]);
    }
    QCOMPARE(start.timeZone(), QTimeZone::utc());
}

QTEST_GUILESS_MAIN(TestSimProgram)
#include "test_sim_program.moc"
