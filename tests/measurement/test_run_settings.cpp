// The settings of a started row, written and read back: every value the
// recorder's options allow comes back exactly, any other is refused by name.

#include "measurement/RunSettings.h"

#include <QtTest>

#include <limits>

using measurement::RunSettings;

class TestRunSettings : public QObject
{
    Q_OBJECT
private slots:
    void extremesComeBackExactly_data();
    void extremesComeBackExactly();
    void valuesOutOfRangeAreNamed_data();
    void valuesOutOfRangeAreNamed();
};

void TestRunSettings::extremesComeBackExactly_data()
{
    QTest::addColumn<RunSettings>("settings");
    RunSettings least;
    least.baud = 9600;
    least.confidence = 1e-9;
    least.maxBer = 1e-300;
    least.maxLostFrames = 0;
    least.maxEs = 0;
    least.maxSes = 0;
    least.maxUnavailableSeconds = 0;
    least.durationSeconds = 0.001;
    least.stopBits = 1;
    least.stopReports = 1;
    QTest::newRow("least") << least;
    RunSettings most;
    most.baud = 115200;
    most.confidence = 0.999999999;
    most.maxBer = 0.999999999;
    most.maxLostFrames = quint64(std::numeric_limits<qint64>::max());
    most.maxEs = std::numeric_limits<qint32>::max();
    most.maxSes = std::numeric_limits<qint32>::max();
    most.maxUnavailableSeconds = 10 * 365 * 86400;
    most.durationSeconds = 10 * 365 * 86400;
    most.stopBits = 1e18;
    most.stopReports = std::numeric_limits<qint64>::max();
    QTest::newRow("most") << most;
}

void TestRunSettings::extremesComeBackExactly()
{
    QFETCH(RunSettings, settings);
    const measurement::StartedSettings read = measurement::readStartedDetail(measurement::startedDetail(settings));
    QVERIFY2(read.error.isEmpty(), qPrintable(read.error));
    QVERIFY(read.warnings.isEmpty());
    const RunSettings& back = read.settings;
    QCOMPARE(back.baud, settings.baud);
    QCOMPARE(back.confidence, settings.confidence);
    QCOMPARE(back.maxBer, settings.maxBer);
    QCOMPARE(back.maxLostFrames, settings.maxLostFrames);
    QCOMPARE(back.maxEs, settings.maxEs);
    QCOMPARE(back.maxSes, settings.maxSes);
    QCOMPARE(back.maxUnavailableSeconds, settings.maxUnavailableSeconds);
    QCOMPARE(back.durationSeconds, settings.durationSeconds);
    QCOMPARE(back.stopBits, settings.stopBits);
    QCOMPARE(back.stopReports, settings.stopReports);
}

void TestRunSettings::valuesOutOfRangeAreNamed_data()
{
    QTest::addColumn<QString>("pairs");
    QTest::addColumn<QString>("error");
    QTest::newRow("confidence of 1") << "confidence=1" << "confidence '1' is not a number above 0 and below 1";
    QTest::newRow("baud not whole") << "baud=9600.5" << "baud '9600.5' is not a whole number from 1 to 115200";
    QTest::newRow("lost frames past 2^63")
        << "max_lost_frames=9223372036854775808"
        << "max_lost_frames '9223372036854775808' is not a whole number from 0 to 9223372036854775807";
    QTest::newRow("reports as a huge double") << "reports=1e300" << "reports '1e300' is not a whole number";
    QTest::newRow("negative ES") << "max_es=-1" << "max_es '-1' is not a whole number from 0 to 2147483647";
    QTest::newRow("duration of 0") << "duration=0" << "duration '0' is not a number from 0.001 to 315360000";
    QTest::newRow("bits infinite") << "bits=inf" << "bits 'inf' is not a number from 1 to";
    QTest::newRow("no number") << "max_ber=lots" << "max_ber 'lots' is not a number above 0 and below 1";
    QTest::newRow("latency past a second") << "latency_ms=1001" << "latency_ms '1001' is not a number from 0 to 1000";
    QTest::newRow("silence past a day") << "max_silence_s=86401" << "max_silence_s '86401' is not a number from 1";
    QTest::newRow("counter model") << "counters=odometer" << "counters 'odometer' is neither restart nor wrap";
}

void TestRunSettings::valuesOutOfRangeAreNamed()
{
    QFETCH(QString, pairs);
    QFETCH(QString, error);
    const measurement::StartedSettings read = measurement::readStartedDetail("/dev/ttyUSB0, 9600 baud; " + pairs);
    QVERIFY2(read.error.startsWith("bad 'started' row: " + error), qPrintable(read.error));
}

QTEST_GUILESS_MAIN(TestRunSettings)
#include "test_run_settings.moc"
