#include "measurement/Availability.h"

#include <algorithm>

namespace measurement {

void AvailabilityTracker::add(bool severe, qint64 count, const Decided& decided)
{
    while (count > 0) {
        // Available, a severely errored second would begin unavailable time;
        // unavailable, a second that is not would end it.
        const bool changes = m_unavailable ? !severe : severe;
        if (!changes) {
            // The streak is broken: its seconds and these keep the state.
            decided(m_streak + count, !m_unavailable);
            m_streak = 0;
            return;
        }
        const qint64 taken = std::min<qint64>(count, kStreak - m_streak);
        m_streak += int(taken);
        count -= taken;
        if (m_streak == kStreak) {
            m_unavailable = !m_unavailable;
            decided(kStreak, !m_unavailable);
            m_streak = 0;
        }
    }
}

void AvailabilityTracker::finish(const Decided& decided) const
{
    if (m_streak > 0)
        decided(m_streak, !m_unavailable);
}

} // namespace measurement
