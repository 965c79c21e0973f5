#include "ReportWriter.h"

#include "Measurement.h"
#include "emulator/CounterReportEncoding.h"

#include <algorithm>
#include <random>

namespace bench {

void writeNumberedReports(emulator::PseudoTerminal& line, std::vector<std::atomic<double>>& writtenAt, Writes writes)
{
    constexpr double kPeriod = 1.0 / 960;
    constexpr double kReportTime = 12 * 10 / 115200.0; // 12 bytes of 10 bits
    std::mt19937 random(1);
    std::uniform_int_distribution<qsizetype> headLength(1, 11);
    QByteArray held; // the head of a report kept for the next write
    double due = monotonicSeconds() + 0.1;
    for (quint32 i = 1; i <= kNumberedReports + 1; ++i) {
        const timespec until{time_t(due), long((due - time_t(due)) * 1e9)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
        const bool last = i > kNumberedReports;
        const QByteArray report = last ? QByteArray() : emulator::encodeReport({quint16(i), 0, 0, i});
        const qsizetype kept = writes == Writes::UsbPieces && !last ? headLength(random) : 0;
        const double now = monotonicSeconds();
        if (!held.isEmpty())
            writtenAt[i - 1].store(now, std::memory_order_release);
        else if (!last)
            writtenAt[i].store(now, std::memory_order_release);
        line.write(held + report.first(report.size() - kept));
        held = kept ? report.last(kept) : QByteArray();
        due = std::max(due + kPeriod, now + kReportTime);
    }
}

} // namespace bench
