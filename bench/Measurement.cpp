#include "Measurement.h"

#include <QDir>
#include <QFile>

#include <unistd.h>

#include <algorithm>
#include <cmath>

namespace bench {

double quantile(std::vector<double>& samples, double q)
{
    if (samples.empty())
        return NAN;
    std::sort(samples.begin(), samples.end());
    const size_t index = std::min(samples.size() - 1, size_t(std::ceil(q * double(samples.size()))) - (q > 0 ? 1 : 0));
    return samples[index];
}

namespace {

double statusKiB(const QString& process, const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(process));
    if (!status.open(QIODevice::ReadOnly))
        return NAN;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toDouble();
    }
    return NAN;
}

} // namespace

double peakResidentKiB(const QString& process)
{
    return statusKiB(process, "VmHWM:");
}

double residentKiB(const QString& process)
{
    return statusKiB(process, "VmRSS:");
}

double cpuSecondsOfProcess(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return NAN;
    const QByteArray text = stat.readAll();
    // The fields after the command name, which is in parentheses: utime and stime are 14 and 15.
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return (fields.value(11).toDouble() + fields.value(12).toDouble()) / double(sysconf(_SC_CLK_TCK));
}

namespace {

double scheduledSeconds(const QString& schedstatPath)
{
    QFile stat(schedstatPath);
    return stat.open(QIODevice::ReadOnly) ? stat.readAll().split(' ').value(0).toDouble() / 1e9 : 0;
}

} // namespace

double scheduledSecondsOfProcess(qint64 pid)
{
    double total = 0;
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot))
        total += scheduledSeconds(tasks.filePath(task) + QStringLiteral("/schedstat"));
    return total;
}

double scheduledSecondsOfThisThread()
{
    return scheduledSeconds(QStringLiteral("/proc/thread-self/schedstat"));
}

} // namespace bench
