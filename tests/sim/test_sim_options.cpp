#include "SimOptions.h"

#include <QTest>

using emulator::ReportFault;

Q_DECLARE_METATYPE(emulator::ReportFault)

class TestSimOptions : public QObject
{
    Q_OBJECT

private slots:
    void defaultsWithoutOptions();
    void readsEveryOption();
    void readsFaults_data();
    void readsFaults();
    void rejectsBadCommandLines_data();
    void rejectsBadCommandLines();
};

void TestSimOptions::defaultsWithoutOptions()
{
    const ParsedSimOptions parsed = parseSimOptions({});
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    const emulator::EmulatorSettings& settings = parsed.options.emulator;
    QVERIFY(!parsed.options.showHelp && parsed.options.device.isEmpty());
    QCOMPARE(settings.baudRate, 9600);
    QCOMPARE(settings.intervalMs, 1000);
    QCOMPARE(settings.link.bitErrorRate, 1e-6);
    QCOMPARE(settings.count, 0);
    QVERIFY(settings.faults.reportFaults.isEmpty() && !settings.faults.burst && settings.faults.hangUpAfter == -1);
}

void TestSimOptions::readsEveryOption()
{
    const ParsedSimOptions parsed = parseSimOptions({ "--device", "/dev/ttyUSB0", "--baud=28800", "--interval", "250",
                                                      "--frame-rate", "1500.5", "--ber", "2.5e-4", "-loss-rate", "0.01",
                                                      "--count", "7", "--seed", "4294967295", "--help" });
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    const SimOptions& options = parsed.options;
    QVERIFY(options.showHelp);
    QCOMPARE(options.device, "/dev/ttyUSB0");
    QCOMPARE(options.emulator.baudRate, 28800);
    QCOMPARE(options.emulator.intervalMs, 250);
    QCOMPARE(options.emulator.link.frameRate, 1500.5);
    QCOMPARE(options.emulator.link.bitErrorRate, 2.5e-4);
    QCOMPARE(options.emulator.link.frameLossRate, 0.01);
    QCOMPARE(options.emulator.count, 7);
    QCOMPARE(options.emulator.seed, 4294967295u);
}

void TestSimOptions::readsFaults_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<ReportFault>>("reportFaults");
    QTest::addColumn<bool>("burst");
    QTest::addColumn<int>("hangUpAfter");
    QTest::addColumn<int>("faultEvery");

    using F = ReportFault;
    QTest::newRow("comma list") << QStringList { "--fault", "wrong-marker,short" }
                                << QList<F> { F::WrongMarker, F::Short } << false << -1 << 1;
    QTest::newRow("repeated") << QStringList { "--fault", "double", "--fault", "garbage" }
                              << QList<F> { F::Double, F::Garbage } << false << -1 << 1;
    QTest::newRow("none") << QStringList { "--fault", "none" } << QList<F> {} << false << -1 << 1;
    QTest::newRow("hang-up by default") << QStringList { "--fault", "hangup" } << QList<F> {} << false << 10 << 1;
    QTest::newRow("hang-up after 0") << QStringList { "--hangup-after", "0", "--fault", "hangup" }
                                     << QList<F> {} << false << 0 << 1;
    QTest::newRow("burst, every third") << QStringList { "--fault", "burst, garbage", "--fault-every", "3" }
                                        << QList<F> { F::Garbage } << true << -1 << 3;
}

void TestSimOptions::readsFaults()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<ReportFault>, reportFaults);
    QFETCH(bool, burst);
    QFETCH(int, hangUpAfter);
    QFETCH(int, faultEvery);
    const ParsedSimOptions parsed = parseSimOptions(arguments);
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    const emulator::FaultPlan& plan = parsed.options.emulator.faults;
    QVERIFY(plan.reportFaults == reportFaults);
    QCOMPARE(plan.burst, burst);
    QCOMPARE(plan.hangUpAfter, hangUpAfter);
    QCOMPARE(plan.faultEvery, faultEvery);
}

void TestSimOptions::rejectsBadCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("mentions");  // the error names the option and the value

    QTest::newRow("unknown option") << QStringList { "--speed", "3" } << QStringList { "speed" };
    QTest::newRow("stray argument") << QStringList { "fast" } << QStringList { "fast" };
    QTest::newRow("unsupported baud") << QStringList { "--baud", "4800" } << QStringList { "--baud", "4800" };
    QTest::newRow("baud not a number") << QStringList { "--baud", "9600bps" } << QStringList { "--baud", "9600bps" };
    QTest::newRow("interval 0") << QStringList { "--interval", "0" } << QStringList { "--interval", "'0'" };
    QTest::newRow("negative frame rate") << QStringList { "--frame-rate", "-1" } << QStringList { "--frame-rate", "-1" };
    QTest::newRow("ber above 1") << QStringList { "--ber", "2" } << QStringList { "--ber", "'2'" };
    QTest::newRow("ber nan") << QStringList { "--ber", "nan" } << QStringList { "--ber", "nan" };
    QTest::newRow("loss rate text") << QStringList { "--loss-rate", "abc" } << QStringList { "--loss-rate", "abc" };
    QTest::newRow("unknown fault in list") << QStringList { "--fault", "short,sometimes" } << QStringList { "--fault", "sometimes" };
    QTest::newRow("empty fault") << QStringList { "--fault", "short," } << QStringList { "--fault", "''" };
    QTest::newRow("hang-up count alone") << QStringList { "--hangup-after", "3" } << QStringList { "--hangup-after", "hangup" };
    QTest::newRow("fault every 0") << QStringList { "--fault-every", "0" } << QStringList { "--fault-every", "'0'" };
    QTest::newRow("seed too large") << QStringList { "--seed", "4294967296" } << QStringList { "--seed", "4294967296" };
    QTest::newRow("empty device") << QStringList { "--device", "" } << QStringList { "--device" };
}

void TestSimOptions::rejectsBadCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, mentions);
    const ParsedSimOptions parsed = parseSimOptions(arguments);
    QVERIFY(!parsed.ok());
    for (const QString& mention : mentions)
        QVERIFY2(parsed.error.contains(mention), qPrintable(parsed.error));
}

QTEST_GUILESS_MAIN(TestSimOptions)
#include "test_sim_options.moc"
