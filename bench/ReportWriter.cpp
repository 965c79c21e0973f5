#include "ReportWriter.h"

#include "Measurement.h"
#include "emulator/CounterReportEncoding.h"

#include <algorithm>

namespace bench {

void writeNumberedReports(emulator::PseudoTerminal& line, std::vector<std::atomic<double>>& writtenAt)
{
    constexpr double kPeriod = 1.0 / 960;
    constexpr double kReportTime = 12 * 10 / 115200.0; // 12 bytes of 10 bits
    double due = monotonicSeconds() + 0.1;
    for (quint32 i = 1; i <= kNumberedReports; ++i) {
        const timespec until{time_t(due), long((due - time_t(due)) * 1e9)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
        const QByteArray report = emulator::encodeReport({quint16(i), 0, 0, i});
        const double now = monotonicSeconds();
        writtenAt[i].store(now, std::memory_order_release);
        line.write(report);
        due = std::max(due + kPeriod, now + kReportTime);
    }
}

} // namespace bench
