#pragma once

#include <QList>
#include <QtGlobal>

#include <random>

namespace emulator {

// How the link fares in one second of its run, beyond its ordinary rates.
struct SecondCondition
{
    bool outage = false;     // sync is lost: every frame sent is lost
    double erroredShare = 0; // an errored second: the chance that a received frame is in error besides its own errors

    friend bool operator==(const SecondCondition&, const SecondCondition&) = default;
};

// Sync lost for `seconds` whole seconds from second `firstSecond` of the run (second 0 is the one it
// began in).
struct Outage
{
    qint64 firstSecond = 0;
    qint64 seconds = 1;

    friend bool operator==(const Outage&, const Outage&) = default;
};

// Which seconds of a run are errored seconds or outages.
struct LinkConditionPlan
{
    double erroredSecondChance = 0; // chance that a second is an errored second
    double erroredShare = 0.5;      // SecondCondition::erroredShare of an errored second
    QList<Outage> outages;          // chosen outages; they may overlap
    double outageChance = 0;        // chance that a second not in an outage begins one ...
    int outageSeconds = 12;         // ... of this many seconds

    friend bool operator==(const LinkConditionPlan&, const LinkConditionPlan&) = default;
};

// The condition of each second of a run, drawn second by second from a generator of its own, so that
// the same plan and seed give the same seconds however the run is stepped.
class LinkConditions
{
public:
    explicit LinkConditions(const LinkConditionPlan& plan = {}, quint32 seed = 1);

    // The condition of second `index` of the run. Seconds are decided in order, each once: asked for
    // again, a second keeps its condition; one before the last decided gets the last one's.
    SecondCondition at(qint64 index);

private:
    void decideNext();
    bool inChosenOutage(qint64 index) const;

    LinkConditionPlan m_plan;
    std::mt19937 m_random;
    qint64 m_decided = -1;         // the last second decided
    SecondCondition m_condition;   // its condition
    qint64 m_randomOutageLeft = 0; // seconds of a random outage still to come after m_decided
};

} // namespace emulator
