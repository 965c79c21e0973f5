// The events a reader finds in a run: a loss of sync with the unavailable
// time it brings, errored seconds, a lost device with the seconds no report
// speaks for, and the recorder's routine rows folded into one line each.

#include "charts/LinkEvents.h"
#include "charts/RunDigest.h"
#include "recording/RowEvents.h"

#include <QTest>
#include <QTimeZone>

namespace {

const QDateTime kStart(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc());

ReadRow rowAt(double elapsed, RowEvent event = RowEvent::Report, const QString& detail = {})
{
    ReadRow row;
    row.time = kStart.addMSecs(qRound64(elapsed * 1000));
    row.elapsed = elapsed;
    row.event = eventName(event);
    row.detail = detail;
    return row;
}

// A unit that counts 1000 frames a second, `lost` and `errored` of them since the report before.
struct Unit
{
    quint64 recv = 0, lost = 0, errored = 0;

    ReadRow report(double elapsed, quint64 lostNow = 0, quint64 erroredNow = 0)
    {
        recv += 1000 - lostNow;
        lost += lostNow;
        errored += erroredNow;
        ReadRow row = rowAt(elapsed);
        row.recvFrames = recv;
        row.lossFrames = lost;
        row.errorFrames = errored;
        row.errorBits = errored;
        return row;
    }
};

using Stretches = std::vector<std::pair<double, double>>;

const LinkEvent* find(const std::vector<LinkEvent>& events, LinkEvent::Kind kind)
{
    for (const LinkEvent& e : events)
        if (e.kind == kind)
            return &e;
    return nullptr;
}

} // namespace

class TestLinkEvents : public QObject
{
    Q_OBJECT

private slots:
    void aRunTellsWhatHappenedToTheLink();
    void crowdedLossesJoinWithoutLosingFrames();
    void crowdedMomentsFold_data();
    void crowdedMomentsFold();
};

void TestLinkEvents::aRunTellsWhatHappenedToTheLink()
{
    const measurement::RunSettings settings;
    RunDigest run(rowAt(0, RowEvent::Started), settings, settings, 100);
    Unit unit;
    for (int s = 1; s <= 60; ++s) {
        if (s == 56 || s == 58) {
            unit = {}; // a new test period: counted from 0
            run.add(rowAt(s - 0.5, RowEvent::CountsWentDown, "recv_frames 9 -> 1; a new test period"));
        }
        if (s == 57)
            run.add(rowAt(s - 0.5, RowEvent::Unframed, "3 bytes since x: 01 02 03"));
        if (s == 40)
            run.add(rowAt(s - 0.5, RowEvent::DeviceLost, "/dev/ttyUSB0: gone"));
        if (s == 52)
            run.add(rowAt(s - 0.5, RowEvent::DeviceBack, "/dev/ttyUSB0"));
        if (s >= 40 && s < 52)
            continue;
        const bool outage = s >= 6 && s <= 25;
        run.add(unit.report(s, outage ? 1000 : 0, s == 31 ? 5 : 0));
    }
    run.add(rowAt(60.5, RowEvent::Unframed, "4 bytes since y: 01 02 03 04"));
    run.add(rowAt(61, RowEvent::Stopped, "duration reached"));

    const std::vector<LinkEvent> events = run.linkEvents();
    for (size_t i = 1; i < events.size(); ++i)
        QVERIFY2(events[i - 1].fromElapsed <= events[i].fromElapsed, qPrintable(events[i].what()));

    const LinkEvent* sync = find(events, LinkEvent::Kind::SyncLoss);
    QVERIFY(sync);
    QCOMPARE(sync->fromElapsed, 5.0);
    QCOMPARE(sync->toElapsed, 25.0);
    QCOMPARE(sync->amount(), QStringLiteral("20000 frames lost"));
    QCOMPARE(quint64(sync->count), run.analysis().lostFrames());

    // Twenty severely errored seconds: unavailable from the first of them, give or take the
    // second the reports cannot pin.
    const LinkEvent* unavailable = find(events, LinkEvent::Kind::Unavailable);
    QVERIFY(unavailable);
    QVERIFY(unavailable->fromElapsed >= 4 && unavailable->fromElapsed <= 6);
    QVERIFY2(unavailable->seconds.least >= 18 && unavailable->seconds.most <= 22, qPrintable(unavailable->amount()));
    QVERIFY(!unavailable->provisional);

    const LinkEvent* errored = find(events, LinkEvent::Kind::ErroredSeconds);
    QVERIFY(errored);
    QVERIFY(errored->fromElapsed >= 29 && errored->toElapsed <= 32);
    QCOMPARE(errored->seconds.least, 1.0);

    const LinkEvent* lost = find(events, LinkEvent::Kind::DeviceLost);
    QVERIFY(lost && !lost->open);
    QCOMPARE(lost->toElapsed - lost->fromElapsed, 12.0);
    const LinkEvent* noReports = find(events, LinkEvent::Kind::NoReports);
    QVERIFY(noReports && noReports->fromElapsed >= 38 && noReports->toElapsed <= 53);
    // The seconds the restarts left unknown are the restarts' own, not one line each.
    for (const LinkEvent& e : events)
        QVERIFY(e.kind != LinkEvent::Kind::NoReports || &e == noReports);

    const LinkEvent* restarts = find(events, LinkEvent::Kind::Restarts);
    QVERIFY(restarts);
    QVERIFY2(restarts->amount().startsWith(QStringLiteral("2 times: new test periods; ")), qPrintable(restarts->amount()));
    QVERIFY(restarts->amount().endsWith(QStringLiteral(" s unknown across them")));
    QCOMPARE(restarts->toElapsed, 57.5);
    QCOMPARE(run.linkEventLog().restarts(), (std::vector<double>{55.5, 57.5}));
    const LinkEvent* unframed = find(events, LinkEvent::Kind::Unframed);
    QVERIFY(unframed);
    QCOMPARE(unframed->amount(), QStringLiteral("2 rows, 7 bytes"));

    qsizetype recorder = 0;
    for (const LinkEvent& e : events)
        recorder += e.kind == LinkEvent::Kind::Recorder;
    QCOMPARE(recorder, 2); // started, stopped
}

void TestLinkEvents::crowdedLossesJoinWithoutLosingFrames()
{
    const measurement::RunSettings settings;
    RunDigest run(rowAt(0, RowEvent::Started), settings, settings, 100);
    Unit unit;
    for (int s = 1; s <= 15000; ++s) {
        run.add(unit.report(s, s % 3 == 0 ? 1 : 0));
        if (unit.recv > 60000)
            unit = {};
    }
    qint64 stretches = 0, frames = 0, losses = 0;
    for (const LinkEvent& e : run.linkEvents())
        if (e.kind == LinkEvent::Kind::SyncLoss) {
            ++stretches;
            frames += e.count;
            losses += e.losses;
        }
    QVERIFY2(stretches <= 2001, qPrintable(QString::number(stretches)));
    QCOMPARE(losses, 5000);
    QCOMPARE(quint64(frames), run.analysis().lostFrames());
}

void TestLinkEvents::crowdedMomentsFold_data()
{
    QTest::addColumn<std::vector<double>>("moments");
    QTest::addColumn<double>("within");
    QTest::addColumn<Stretches>("stretches");
    QTest::newRow("none") << std::vector<double>{} << 1.0 << Stretches{};
    QTest::newRow("apart") << std::vector<double>{1, 5, 9} << 1.0 << Stretches{{1, 1}, {5, 5}, {9, 9}};
    QTest::newRow("every 0.65 s, then apart")
        << std::vector<double>{0.65, 1.3, 1.95, 2.6, 10} << 1.0 << Stretches{{0.65, 2.6}, {10, 10}};
}

void TestLinkEvents::crowdedMomentsFold()
{
    QFETCH(std::vector<double>, moments);
    QFETCH(double, within);
    QFETCH(Stretches, stretches);
    QCOMPARE(LinkEventLog::fold(moments, within), stretches);
}

QTEST_GUILESS_MAIN(TestLinkEvents)
#include "test_link_events.moc"
