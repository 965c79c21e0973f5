#include "DemoCommandLine.h"
#include "SimOptions.h"

#include <QTest>

using emulator::ReportFault;

Q_DECLARE_METATYPE(emulator::ReportFault)
Q_DECLARE_METATYPE(emulator::LinkConditionPlan)

class TestSimOptions : public QObject
{
    Q_OBJECT

private slots:
    void defaultsWithoutOptions();
    void readsEveryOption();
    void readsFaults_data();
    void readsFaults();
    void readsConditionsAndIntervals_data();
    void readsConditionsAndIntervals();
    void rejectsBadCommandLines_data();
    void rejectsBadCommandLines();
    void demoKeepsItsDefaultsAndTakesTheSameOptions();
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
    QVERIFY(!settings.faults.markerCounts && settings.pieces == 1 && settings.sendDelayMs == 0);
    QVERIFY(settings.overflow == emulator::CountOverflow::RestartPeriod);
}

void TestSimOptions::readsEveryOption()
{
    const ParsedSimOptions parsed = parseSimOptions(
        {"--device", "/dev/ttyUSB0", "--baud=28800", "--interval",   "250",  "--frame-rate", "1500.5",     "--ber",
         "2.5e-4",   "-loss-rate",   "0.01",         "--count",      "7",    "--seed",       "4294967295", "--pieces",
         "12",       "--counters",   "wrap",         "--send-delay", "1000", "--help"});
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
    QCOMPARE(options.emulator.pieces, 12);
    QCOMPARE(options.emulator.sendDelayMs, 1000);
    QVERIFY(options.emulator.overflow == emulator::CountOverflow::Wrap);
}

void TestSimOptions::readsFaults_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QList<ReportFault>>("reportFaults");
    QTest::addColumn<bool>("burst");
    QTest::addColumn<int>("hangUpAfter");
    QTest::addColumn<int>("faultEvery");
    QTest::addColumn<bool>("markerCounts");

    using F = ReportFault;
    QTest::newRow("comma list") << QStringList{"--fault", "wrong-marker,short"} << QList<F>{F::WrongMarker, F::Short}
                                << false << -1 << 1 << false;
    QTest::newRow("repeated") << QStringList{"--fault", "double", "--fault", "garbage"}
                              << QList<F>{F::Double, F::Garbage} << false << -1 << 1 << false;
    QTest::newRow("none") << QStringList{"--fault", "none"} << QList<F>{} << false << -1 << 1 << false;
    QTest::newRow("hang-up by default") << QStringList{"--fault", "hangup"} << QList<F>{} << false << 10 << 1 << false;
    QTest::newRow("hang-up after 0") << QStringList{"--hangup-after", "0", "--fault", "hangup"} << QList<F>{} << false
                                     << 0 << 1 << false;
    QTest::newRow("burst, every third") << QStringList{"--fault", "burst, garbage", "--fault-every", "3"}
                                        << QList<F>{F::Garbage} << true << -1 << 3 << false;
    QTest::newRow("stray and short, every fourth") << QStringList{"--fault", "stray,short", "--fault-every", "4"}
                                                   << QList<F>{F::Stray, F::Short} << false << -1 << 4 << false;
    // Back to back, but not the burst of the link's own counts.
    QTest::newRow("marker counts") << QStringList{"--fault", "marker-counts"} << QList<F>{} << false << -1 << 1 << true;
}

void TestSimOptions::readsFaults()
{
    QFETCH(QStringList, arguments);
    QFETCH(QList<ReportFault>, reportFaults);
    QFETCH(bool, burst);
    QFETCH(int, hangUpAfter);
    QFETCH(int, faultEvery);
    QFETCH(bool, markerCounts);
    const ParsedSimOptions parsed = parseSimOptions(arguments);
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    const emulator::FaultPlan& plan = parsed.options.emulator.faults;
    QVERIFY(plan.reportFaults == reportFaults);
    QCOMPARE(plan.burst, burst);
    QCOMPARE(plan.hangUpAfter, hangUpAfter);
    QCOMPARE(plan.faultEvery, faultEvery);
    QCOMPARE(plan.markerCounts, markerCounts);
    QCOMPARE(plan.backToBack(), burst || markerCounts);
}

void TestSimOptions::readsConditionsAndIntervals_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<emulator::LinkConditionPlan>("conditions");
    QTest::addColumn<int>("intervalMaxMs");
    QTest::addColumn<QString>("truthPath");

    using Plan = emulator::LinkConditionPlan;
    Plan errored;
    errored.erroredSecondChance = 0.25;
    errored.erroredShare = 0.3;
    Plan chosen;
    chosen.outages = {{20, 12}, {100, 1}, {0, 86400}};
    Plan drawn;
    drawn.outageChance = 0.01;
    drawn.outageSeconds = 1;
    QTest::newRow("none") << QStringList{} << Plan{} << 0 << "";
    QTest::newRow("errored seconds") << QStringList{"--errored-seconds", "0.25", "--errored-share", "0.3"} << errored
                                     << 0 << "";
    QTest::newRow("outages, listed and repeated")
        << QStringList{"--outage", "20+12, 100+1", "--outage", "0+86400"} << chosen << 0 << "";
    QTest::newRow("drawn outages") << QStringList{"--outage-chance", "0.01", "--outage-length", "1"} << drawn << 0
                                   << "";
    QTest::newRow("drawn intervals") << QStringList{"--interval", "200", "--interval-max", "3600000"} << Plan{}
                                     << 3600000 << "";
    QTest::newRow("interval-max as --interval") << QStringList{"--interval-max", "1000"} << Plan{} << 1000 << "";
    QTest::newRow("truth") << QStringList{"--truth", "run/truth.csv"} << Plan{} << 0 << "run/truth.csv";
}

void TestSimOptions::readsConditionsAndIntervals()
{
    QFETCH(QStringList, arguments);
    QFETCH(emulator::LinkConditionPlan, conditions);
    QFETCH(int, intervalMaxMs);
    QFETCH(QString, truthPath);
    const ParsedSimOptions parsed = parseSimOptions(arguments);
    QVERIFY2(parsed.ok(), qPrintable(parsed.error));
    QVERIFY(parsed.options.emulator.conditions == conditions);
    QCOMPARE(parsed.options.emulator.intervalMaxMs, intervalMaxMs);
    QCOMPARE(parsed.options.truthPath, truthPath);
}

void TestSimOptions::rejectsBadCommandLines_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("mentions"); // the error names the option and the value
    QTest::addColumn<bool>("demo");            // bermon-demo's command line, else bermon-sim's

    QTest::newRow("unknown option") << QStringList{"--speed", "3"} << QStringList{"speed"} << false;
    QTest::newRow("stray argument") << QStringList{"fast"} << QStringList{"fast"} << false;
    QTest::newRow("unsupported baud") << QStringList{"--baud", "4800"} << QStringList{"--baud", "4800"} << false;
    QTest::newRow("baud not a number") << QStringList{"--baud", "9600bps"} << QStringList{"--baud", "9600bps"} << false;
    QTest::newRow("interval 0") << QStringList{"--interval", "0"} << QStringList{"--interval", "'0'"} << false;
    QTest::newRow("negative frame rate") << QStringList{"--frame-rate", "-1"} << QStringList{"--frame-rate", "-1"}
                                         << false;
    QTest::newRow("ber above 1") << QStringList{"--ber", "2"} << QStringList{"--ber", "'2'"} << false;
    QTest::newRow("ber nan") << QStringList{"--ber", "nan"} << QStringList{"--ber", "nan"} << false;
    QTest::newRow("loss rate text") << QStringList{"--loss-rate", "abc"} << QStringList{"--loss-rate", "abc"} << false;
    QTest::newRow("unknown fault in list")
        << QStringList{"--fault", "short,sometimes"} << QStringList{"--fault", "sometimes"} << false;
    QTest::newRow("empty fault") << QStringList{"--fault", "short,"} << QStringList{"--fault", "''"} << false;
    QTest::newRow("hang-up count alone") << QStringList{"--hangup-after", "3"}
                                         << QStringList{"--hangup-after", "hangup"} << false;
    QTest::newRow("fault every 0") << QStringList{"--fault-every", "0"} << QStringList{"--fault-every", "'0'"} << false;
    QTest::newRow("seed too large") << QStringList{"--seed", "4294967296"} << QStringList{"--seed", "4294967296"}
                                    << false;
    QTest::newRow("empty device") << QStringList{"--device", ""} << QStringList{"--device"} << false;
    QTest::newRow("pieces 0") << QStringList{"--pieces", "0"} << QStringList{"--pieces", "'0'"} << false;
    QTest::newRow("pieces 13") << QStringList{"--pieces", "13"} << QStringList{"--pieces", "13"} << false;
    QTest::newRow("send delay above 1000")
        << QStringList{"--send-delay", "1001"} << QStringList{"--send-delay", "1001", "0 to 1000"} << false;
    QTest::newRow("send delay negative") << QStringList{"--send-delay", "-5"} << QStringList{"--send-delay", "-5"}
                                         << false;
    QTest::newRow("send delay with a unit")
        << QStringList{"--send-delay", "20ms"} << QStringList{"--send-delay", "20ms", "whole number"} << false;
    QTest::newRow("counters unknown") << QStringList{"--counters", "saturate"} << QStringList{"--counters", "saturate"}
                                      << false;
    QTest::newRow("errored seconds above 1")
        << QStringList{"--errored-seconds", "1.5"} << QStringList{"--errored-seconds", "1.5"} << false;
    QTest::newRow("errored share negative")
        << QStringList{"--errored-share", "-0.1"} << QStringList{"--errored-share", "-0.1"} << false;
    QTest::newRow("outage with a minus") << QStringList{"--outage", "20-12"} << QStringList{"--outage", "20-12"}
                                         << false;
    QTest::newRow("outage without a start")
        << QStringList{"--outage", "+12"} << QStringList{"--outage", "'+12'"} << false;
    QTest::newRow("outage of 0 seconds") << QStringList{"--outage", "5+1,20+0"} << QStringList{"--outage", "'20+0'"}
                                         << false;
    QTest::newRow("outage too long") << QStringList{"--outage", "20+86401"} << QStringList{"--outage", "20+86401"}
                                     << false;
    QTest::newRow("outage before the start")
        << QStringList{"--outage", "-1+5"} << QStringList{"--outage", "-1+5"} << false;
    QTest::newRow("empty outage in list")
        << QStringList{"--outage", "20+12,"} << QStringList{"--outage", "''"} << false;
    QTest::newRow("outage chance text") << QStringList{"--outage-chance", "often"}
                                        << QStringList{"--outage-chance", "often"} << false;
    QTest::newRow("outage length 0") << QStringList{"--outage-length", "0"} << QStringList{"--outage-length", "'0'"}
                                     << false;
    QTest::newRow("interval-max below --interval")
        << QStringList{"--interval", "1000", "--interval-max", "500"}
        << QStringList{"--interval-max", "'500'", "--interval 1000"} << false;
    QTest::newRow("interval-max too long")
        << QStringList{"--interval-max", "3600001"} << QStringList{"--interval-max", "3600001"} << false;
    QTest::newRow("empty truth path") << QStringList{"--truth", ""} << QStringList{"--truth", "empty"} << false;
    QTest::newRow("demo: truth") << QStringList{"--truth", "t.csv"} << QStringList{"--truth", "bermon-sim"} << true;
    QTest::newRow("demo: device") << QStringList{"--device", "/dev/ttyUSB1"} << QStringList{"--device", "bermon-sim"}
                                  << true;
    QTest::newRow("demo: bad ber") << QStringList{"--ber", "x"} << QStringList{"--ber", "'x'"} << true;
    QTest::newRow("demo: send delay too long")
        << QStringList{"--send-delay", "5000"} << QStringList{"--send-delay", "5000"} << true;
}

void TestSimOptions::rejectsBadCommandLines()
{
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, mentions);
    QFETCH(bool, demo);
    const ParsedSimOptions parsed = demo ? parseSimOptions(arguments, demoCommandLine()) : parseSimOptions(arguments);
    QVERIFY(!parsed.ok());
    for (const QString& mention : mentions)
        QVERIFY2(parsed.error.contains(mention), qPrintable(parsed.error));
}

void TestSimOptions::demoKeepsItsDefaultsAndTakesTheSameOptions()
{
    const emulator::EmulatorSettings plain = parseSimOptions({}, demoCommandLine()).options.emulator;
    QVERIFY(plain.intervalMs == 250 && plain.link.frameRate == 1000 && plain.link.bitErrorRate == 2e-5
            && plain.link.frameLossRate == 1e-3 && plain.faults.reportFaults.isEmpty() && plain.pieces == 1);

    const ParsedSimOptions chosen = parseSimOptions(
        {"--ber", "1e-5", "--fault", "garbage", "--interval", "200", "--send-delay", "40"}, demoCommandLine());
    QVERIFY2(chosen.ok(), qPrintable(chosen.error));
    const emulator::EmulatorSettings& unit = chosen.options.emulator;
    QVERIFY(unit.link.bitErrorRate == 1e-5 && unit.intervalMs == 200 && unit.link.frameLossRate == 1e-3
            && unit.sendDelayMs == 40);
    QVERIFY(unit.faults.reportFaults == QList<ReportFault>{ReportFault::Garbage});
}

QTEST_GUILESS_MAIN(TestSimOptions)
#include "test_sim_options.moc"
