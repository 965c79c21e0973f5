#include "measurement/Availability.h"

namespace measurement {

void AvailabilityTracker::add(bool severe, const Decided& decided)
{
    // Available, a severely errored second would begin unavailable time;
    // unavailable, a second that is not would end it.
    const bool changes = m_unavailable ? !severe : severe;
    if (!changes) {
        // The streak is broken: its seconds and this one keep the state.
        decided(m_streak + 1, !m_unavailable);
        m_streak = 0;
        return;
    }
    if (++m_streak == kStreak) {
        m_unavailable = !m_unavailable;
        decided(kStreak, !m_unavailable);
        m_streak = 0;
    }
}

void AvailabilityTracker::finish(const Decided& decided) const
{
    if (m_streak > 0)
        decided(m_streak, !m_unavailable);
}

} // namespace measurement
