#include "measurement/ErrorClusters.h"

#include "measurement/ConfidenceBound.h"

#include <algorithm>

namespace measurement {

void IntervalLog::add(const ErrorInterval& interval)
{
    if (interval.bits == 0 && interval.errors == 0)
        return;
    m_pending.bits += interval.bits;
    m_pending.errors += interval.errors;
    if (++m_pendingCount < m_stride)
        return;
    m_intervals.push_back(m_pending);
    m_pending = {};
    m_pendingCount = 0;
    if (m_intervals.size() < kCapacity)
        return;
    for (size_t i = 0; i < m_intervals.size() / 2; ++i)
        m_intervals[i] = {m_intervals[2 * i].bits + m_intervals[2 * i + 1].bits,
                          m_intervals[2 * i].errors + m_intervals[2 * i + 1].errors};
    m_intervals.resize(m_intervals.size() / 2);
    m_stride *= 2;
}

std::vector<ErrorInterval> IntervalLog::intervals() const
{
    std::vector<ErrorInterval> all = m_intervals;
    if (m_pendingCount > 0)
        all.push_back(m_pending);
    return all;
}

std::vector<ErrorInterval> poolIntoGroups(const std::vector<ErrorInterval>& intervals, double ber)
{
    std::vector<ErrorInterval> groups;
    ErrorInterval open;
    for (const ErrorInterval& interval : intervals) {
        open.bits += interval.bits;
        open.errors += interval.errors;
        if (ber * double(open.bits) >= kMinExpectedErrorsPerGroup) {
            groups.push_back(open);
            open = {};
        }
    }
    if (open.bits > 0 || open.errors > 0) {
        if (groups.empty()) {
            groups.push_back(open);
        } else {
            groups.back().bits += open.bits;
            groups.back().errors += open.errors;
        }
    }
    return groups;
}

ClusterTest testClusters(const std::vector<ErrorInterval>& intervals, double confidence)
{
    ClusterTest test;
    double bits = 0, errors = 0;
    for (const ErrorInterval& interval : intervals) {
        bits += double(interval.bits);
        errors += double(interval.errors);
    }
    if (bits <= 0 || errors <= 0)
        return test;
    test.ber = errors / bits;
    const std::vector<ErrorInterval> groups = poolIntoGroups(intervals, test.ber);
    test.groups = int(groups.size());
    test.groupsWithErrors = int(std::count_if(groups.begin(), groups.end(), [](auto& g) { return g.errors > 0; }));
    if (test.groups < 2)
        return test;

    double squares = 0; // Σ (e_j - p̂ n_j)²
    for (const ErrorInterval& group : groups) {
        const double expected = test.ber * double(group.bits);
        const double deviation = double(group.errors) - expected;
        test.statistic += deviation * deviation / expected;
        squares += deviation * deviation;
    }
    const double k = test.groups;
    test.tested = true;
    test.dispersion = test.statistic / (k - 1);
    test.clustered = test.statistic > chiSquareQuantile(k - 1, 1 - kClusterTestLevel);
    const double standardError = std::sqrt(k / (k - 1) * squares) / bits;
    const double spread = studentTQuantile(k - 1, confidence) * standardError;
    test.robustLower = std::max(0.0, test.ber - spread);
    test.robustUpper = test.ber + spread;
    return test;
}

} // namespace measurement
