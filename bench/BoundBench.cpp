// The upper confidence bound as a run's rows need it: the error count rising
// by a few errors a report, at a thousand, at a hundred thousand and at ten
// million errors; followed from the bound before, and worked out afresh.
#include "Benches.h"

#include "measurement/ConfidenceBound.h"

#include <ctime>

namespace bench {

namespace {

// The thread's CPU to the nanosecond: the scheduler's account
// (scheduledSecondsOfThisThread) moves on at its ticks, too coarse for the
// few milliseconds a figure here takes.
double threadSeconds()
{
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

// CPU per bound over `reports` counts from `start` on, 0 to 4 errors apart.
template <typename Bound>
double secondsPerBound(quint64 start, int reports, Bound&& bound)
{
    volatile double sink = 0;
    const double before = threadSeconds();
    quint64 errors = start;
    for (int i = 0; i < reports; ++i, errors += quint64(i % 5))
        sink = sink + bound(errors);
    return (threadSeconds() - before) / reports;
}

} // namespace

std::vector<Figure> benchUpperBound()
{
    constexpr double kConfidence = 0.95;
    std::vector<Figure> figures;
    for (const quint64 start : {1'000ull, 100'000ull, 10'000'000ull}) {
        measurement::PoissonUpperMeans means(kConfidence);
        const double followed = secondsPerBound(start, 20'000, [&](quint64 errors) { return means(errors); });
        const double fresh = secondsPerBound(
            start, 2'000, [](quint64 errors) { return measurement::poissonUpperMean(errors, kConfidence); });
        figures.push_back({QStringLiteral("Upper bound at %1 errors, a few more each report: followed / fresh")
                               .arg(double(start), 0, 'g', 3),
                           QStringLiteral("%1 us / %2 us").arg(followed * 1e6, 0, 'f', 2).arg(fresh * 1e6, 0, 'f', 2),
                           "<= 2 us followed", followed <= 2e-6});
    }
    return figures;
}

} // namespace bench
