#pragma once

#include <QtGlobal>

#include <cmath>
#include <vector>

namespace measurement {

// The bits counted and the bit errors among them over a stretch of reports.
struct ErrorInterval
{
    quint64 bits = 0;
    quint64 errors = 0;
};

// The intervals between a run's reports, in order, for the cluster test.
// Memory stays bounded on a run of any length: when the log is full,
// neighbours are pooled in pairs and later intervals are taken in pairs too,
// then in fours, and so on. Pooling neighbours keeps what the test needs, as
// it pools them into groups anyway.
class IntervalLog
{
public:
    static constexpr size_t kCapacity = 1 << 16;

    void add(const ErrorInterval& interval);
    // The stretches, the last one possibly still short of its stride.
    std::vector<ErrorInterval> intervals() const;

private:
    std::vector<ErrorInterval> m_intervals;
    ErrorInterval m_pending;
    int m_pendingCount = 0;
    int m_stride = 1;
};

// Groups expect at least this many bit errors at the run's BER: enough for
// the Pearson statistic to be about χ².
inline constexpr double kMinExpectedErrorsPerGroup = 5;
// Independence is rejected at this level.
inline constexpr double kClusterTestLevel = 0.01;
// With clustered errors, a verdict wants at least this many groups that hold errors.
inline constexpr int kMinGroupsWithErrors = 10;

// Consecutive intervals pooled into groups that each expect at least
// kMinExpectedErrorsPerGroup errors at `ber`; a last group short of that
// joins the one before.
std::vector<ErrorInterval> poolIntoGroups(const std::vector<ErrorInterval>& intervals, double ber);

// Whether bit errors are independent, or come in clusters that make the
// Poisson bound too sure of itself.
struct ClusterTest
{
    bool tested = false; // false with no error or fewer than two groups
    int groups = 0;
    int groupsWithErrors = 0;
    double ber = 0;                   // pooled over the groups
    double statistic = 0;             // Pearson's X², about χ² with groups - 1 degrees of freedom under independence
    double dispersion = std::nan(""); // X² / (groups - 1), about 1 for independent errors
    bool clustered = false;           // X² rejects independence at kClusterTestLevel
    // The cluster-robust bounds of the ratio estimator, the groups as
    // clusters, at the confidence given; meaningful when tested.
    double robustLower = std::nan("");
    double robustUpper = std::nan("");
};

ClusterTest testClusters(const std::vector<ErrorInterval>& intervals, double confidence);

} // namespace measurement
