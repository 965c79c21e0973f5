#pragma once

#include <QString>
#include <QtGlobal>

#include <ctime>
#include <vector>

namespace bench {

// One row of the benchmark table. A missed speed target is a figure; a
// missed correctness row fails the benchmark.
struct Figure
{
    enum Kind { Speed, Correctness };
    QString name;
    QString value;
    QString target;
    bool met;
    Kind kind = Speed;
};

inline double threadCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

inline double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

inline double monotonicSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

// The q-quantile (0..1) of the samples; sorts them.
double quantile(std::vector<double>& samples, double q);

// The peak resident memory (VmHWM) of a process, in KiB; `process` is a PID or
// "self". NAN when it cannot be read.
double peakResidentKiB(const QString& process);
// The resident memory (VmRSS) now, the same way.
double residentKiB(const QString& process);

// User and system CPU seconds of a running process; NAN when it cannot be read.
double cpuSecondsOfProcess(qint64 pid);

// CPU seconds of every thread of a process from the scheduler's own account
// (/proc/PID/task/*/schedstat): nanoseconds, where the clock ticks of
// cpuSecondsOfProcess() are too coarse for a few tens of microseconds a report.
double scheduledSecondsOfProcess(qint64 pid);

// The same account for the calling thread alone (/proc/thread-self/schedstat).
double scheduledSecondsOfThisThread();

} // namespace bench
