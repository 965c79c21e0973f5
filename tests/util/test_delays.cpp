#include "util/Delays.h"

#include <QtTest>

#include <functional>
#include <stdexcept>
#include <utility>

using util::FourDecimalSeconds;

namespace {

// A clock that moves on by a scripted step at every reading, so a wait runs
// through the same readings on any machine.
struct FakeClock final : util::Clock
{
    qint64 m_frequency = 10'000'000;
    qint64 m_counter = 0;
    qint64 m_counterStep = 1;
    quint32 m_tick = 0;
    QList<quint32> m_tickSteps{1}; // the step after the n-th reading; the last one repeats
    std::function<void(int pump)> m_onProcessEvents;
    int m_counterReadings = 0;
    int m_tickReadings = 0;
    int m_pumps = 0;

    qint64 performanceFrequency() override { return m_frequency; }
    qint64 performanceCounter() override
    {
        checkReading(++m_counterReadings);
        return std::exchange(m_counter, m_counter + m_counterStep);
    }
    quint32 tickCount() override
    {
        checkReading(++m_tickReadings);
        const quint32 step = m_tickSteps.at(qMin<qsizetype>(m_tickReadings, m_tickSteps.size()) - 1);
        return std::exchange(m_tick, m_tick + step);
    }
    void processEvents() override
    {
        ++m_pumps;
        if (m_onProcessEvents)
            m_onProcessEvents(m_pumps);
    }
    // A wait that never ends fails its test instead of hanging it.
    static void checkReading(int reading)
    {
        if (reading > 10'000'000)
            throw std::runtime_error("the wait did not end");
    }
};

} // namespace

class TestDelays : public QObject
{
    Q_OBJECT

private slots:
    void timedelayStopsAtTheFirstReadingPastTt_data()
    {
        QTest::addColumn<qint64>("frequency");
        QTest::addColumn<qint64>("start");
        QTest::addColumn<qint64>("step");
        QTest::addColumn<qint64>("tt");    // ten-thousandths of a second
        QTest::addColumn<int>("readings"); // the start reading included

        QTest::newRow("tt 0") << 10'000'000LL << 0LL << 0LL << 0LL << 2;
        QTest::newRow("tt negative") << 10'000'000LL << 0LL << 1'000'000LL << -15'000LL << 2;
        QTest::newRow("1.5 s reached exactly") << 10'000'000LL << 0LL << 1'000'000LL << 15'000LL << 16;
        QTest::newRow("1.5 s passed between readings") << 10'000'000LL << 0LL << 1'100'000LL << 15'000LL << 15;
        QTest::newRow("0.0001 s") << 3'579'545LL << 0LL << 1LL << 1LL << 359;
        QTest::newRow("readings beyond double precision") << 3LL << (1LL << 62) << 1LL << 10'000LL << 4;
    }

    void timedelayStopsAtTheFirstReadingPastTt()
    {
        FakeClock clock;
        QFETCH(qint64, frequency);
        QFETCH(qint64, start);
        QFETCH(qint64, step);
        QFETCH(qint64, tt);
        clock.m_frequency = frequency;
        clock.m_counter = start;
        clock.m_counterStep = step;

        util::timedelay(FourDecimalSeconds(tt), clock);

        QTEST(clock.m_counterReadings, "readings");
        QCOMPARE(clock.m_pumps, 0);
    }

    void timedelayFailsOnAFrequencyBelowOne_data()
    {
        QTest::addColumn<qint64>("frequency");
        QTest::newRow("0") << 0LL;
        QTest::newRow("negative") << -10'000'000LL;
    }

    void timedelayFailsOnAFrequencyBelowOne()
    {
        FakeClock clock;
        QFETCH(qint64, frequency);
        clock.m_frequency = frequency;
        QVERIFY_THROWS_EXCEPTION(std::domain_error, util::timedelay(FourDecimalSeconds(10'000), clock));
    }

    void delayStopsPastTimeMilliseconds_data()
    {
        QTest::addColumn<quint32>("start");
        QTest::addColumn<QList<quint32>>("steps");
        QTest::addColumn<qint32>("time");
        QTest::addColumn<int>("pumps");

        const QList<quint32> oneMs{1};
        QTest::newRow("negative time") << 100u << QList<quint32>{0} << -5 << 1;
        QTest::newRow("time 0 waits for the tick to move") << 100u << QList<quint32>{0, 0, 0, 1} << 0 << 4;
        QTest::newRow("1000 ms") << 5000u << oneMs << 1000 << 1001;
        QTest::newRow("1000 ms, 7 ms a reading") << 5000u << QList<quint32>{7} << 1000 << 143;
        QTest::newRow("across 2^31") << 0x7FFF'FE0Cu << oneMs << 1000 << 1001;
        QTest::newRow("across 2^32") << 0xFFFF'FE0Cu << oneMs << 1000 << 1001;
        QTest::newRow("across 2^32 in one step") << 0xFFFF'FFF0u << QList<quint32>{1000, 1} << 1000 << 2;
        QTest::newRow("longest time ends") << 0u << QList<quint32>{0x4000'0000} << 2147483647 << 2;
    }

    void delayStopsPastTimeMilliseconds()
    {
        FakeClock clock;
        QFETCH(quint32, start);
        QFETCH(QList<quint32>, steps);
        QFETCH(qint32, time);
        clock.m_tick = start;
        clock.m_tickSteps = steps;

        util::delay(time, clock);

        QTEST(clock.m_pumps, "pumps");
    }

    void delayRereadsTimeChangedByAHandler_data()
    {
        QTest::addColumn<qint32>("time");
        QTest::addColumn<int>("changeAtPump");
        QTest::addColumn<qint32>("newTime");
        QTest::addColumn<int>("pumps");

        QTest::newRow("shortened") << 1000 << 10 << 5 << 10;
        QTest::newRow("lengthened") << 5 << 3 << 20 << 21;
        QTest::newRow("made negative") << 1000 << 1 << -1 << 1;
    }

    void delayRereadsTimeChangedByAHandler()
    {
        FakeClock clock;
        QFETCH(qint32, time);
        QFETCH(int, changeAtPump);
        QFETCH(qint32, newTime);
        clock.m_onProcessEvents = [&](int pump) {
            if (pump == changeAtPump)
                time = newTime;
        };

        util::delay(time, clock);

        QTEST(clock.m_pumps, "pumps");
    }

    void nestedDelayMeasuresFromItsOwnStart()
    {
        FakeClock clock; // one millisecond a reading
        int innerPumps = 0;
        clock.m_onProcessEvents = [&](int pump) {
            if (pump != 2)
                return;
            const qint32 innerTime = 3;
            util::delay(innerTime, clock);
            innerPumps = clock.m_pumps - pump;
        };
        const qint32 outerTime = 10;

        util::delay(outerTime, clock);

        // The inner wait ends 4 ms after its own start; the outer one counts
        // those milliseconds too and ends 11 ms after its start.
        QCOMPARE(innerPumps, 4);
        QCOMPARE(clock.m_pumps, 10);
    }

    void systemClockRunsPendingEvents()
    {
        util::Clock& clock = util::systemClock();
        QVERIFY(clock.performanceFrequency() > 0);
        bool handled = false;
        QMetaObject::invokeMethod(
            qApp, [&] { handled = true; }, Qt::QueuedConnection);
        const qint32 time = -1;

        util::delay(time);
        util::timedelay(FourDecimalSeconds());

        QVERIFY(handled);
    }
};

QTEST_GUILESS_MAIN(TestDelays)
#include "test_delays.moc"
