#pragma once

#include <QtGlobal>

#include <functional>

namespace measurement {

// Follows whether a link is available, second by second, from whether each
// second is severely errored: unavailable time begins at the first of 10
// consecutive severely errored seconds and ends at the first of 10
// consecutive seconds that are not. A second's availability is known only
// once its streak has ended or reached 10, so seconds are decided late, in
// order, a streak at a time; the run starts available.
class AvailabilityTracker
{
public:
    static constexpr int kStreak = 10;

    // Called with the next `count` seconds in order and whether they are available.
    using Decided = std::function<void(qint64 count, bool available)>;

    // Takes the next `count` seconds, alike.
    void add(bool severe, qint64 count, const Decided& decided);
    void add(bool severe, const Decided& decided) { add(severe, 1, decided); }
    // Decides the seconds still pending as if the run ended here: a streak
    // shorter than 10 leaves the state as it is.
    void finish(const Decided& decided) const;

    // Seconds taken but not yet decided: at most 9.
    int pending() const { return m_streak; }

private:
    bool m_unavailable = false;
    int m_streak = 0; // seconds in a row that would change the state
};

} // namespace measurement
