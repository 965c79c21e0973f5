#include "emulator/LinkConditions.h"

#include <algorithm>

namespace emulator {

LinkConditions::LinkConditions(const LinkConditionPlan& plan, quint32 seed)
    : m_plan(plan)
{
    std::seed_seq seeds{seed, 0x636fu}; // apart from the link's own draws
    m_random.seed(seeds);
}

SecondCondition LinkConditions::at(qint64 index)
{
    while (m_decided < index)
        decideNext();
    return m_condition;
}

// Every second draws whether it is errored, so the errored seconds stay where they are whatever the
// outages; a second not in an outage then draws whether one begins.
void LinkConditions::decideNext()
{
    const qint64 index = ++m_decided;
    const bool errored = m_plan.erroredSecondChance > 0
                         && std::bernoulli_distribution(std::min(1.0, m_plan.erroredSecondChance))(m_random);
    bool outage = inChosenOutage(index);
    if (m_randomOutageLeft > 0) {
        --m_randomOutageLeft;
        outage = true;
    } else if (!outage && m_plan.outageChance > 0
               && std::bernoulli_distribution(std::min(1.0, m_plan.outageChance))(m_random)) {
        m_randomOutageLeft = std::max(1, m_plan.outageSeconds) - 1;
        outage = true;
    }
    m_condition = {.outage = outage, .erroredShare = errored ? std::clamp(m_plan.erroredShare, 0.0, 1.0) : 0.0};
}

bool LinkConditions::inChosenOutage(qint64 index) const
{
    return std::ranges::any_of(m_plan.outages, [index](const Outage& outage) {
        return index >= outage.firstSecond && index - outage.firstSecond < outage.seconds;
    });
}

} // namespace emulator
