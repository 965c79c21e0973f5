#include "ReportWriter.h"

#include "Measurement.h"
#include "emulator/CounterReportEncoding.h"

#include <algorithm>
#include <cmath>
#include <random>

namespace bench {

void writeNumberedReports(emulator::PseudoTerminal& line, std::vector<std::atomic<double>>& writtenAt, Writes writes,
                          double perSecond, int reports)
{
    const double period = 1.0 / perSecond;
    constexpr double kReportTime = 12 * 10 / 115200.0; // 12 bytes of 10 bits
    std::mt19937 random(1);
    std::uniform_int_distribution<qsizetype> headLength(1, 11);
    QByteArray held; // the head of a report kept for the next write
    double due = monotonicSeconds() + 0.1;
    for (quint32 i = 1; i <= quint32(reports) + 1; ++i) {
        const timespec until{time_t(due), long((due - time_t(due)) * 1e9)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
        const bool last = i > quint32(reports);
        const QByteArray report = last ? QByteArray() : emulator::encodeReport({quint16(i), 0, 0, i});
        const qsizetype kept = writes == Writes::UsbPieces && !last ? headLength(random) : 0;
        const double now = monotonicSeconds();
        if (!held.isEmpty())
            writtenAt[i - 1].store(now, std::memory_order_release);
        else if (!last)
            writtenAt[i].store(now, std::memory_order_release);
        line.write(held + report.first(report.size() - kept));
        held = kept ? report.last(kept) : QByteArray();
        due = std::max(due + period, now + kReportTime);
    }
}

void writeLinkReports(emulator::PseudoTerminal& line, double perSecond, int reports)
{
    constexpr quint64 kFramesPerSecond = 38'400;
    const quint64 framesPerReport = quint64(double(kFramesPerSecond) / perSecond);
    quint64 recv = 0, lost = 0, errored = 0, bits = 0;
    double due = monotonicSeconds() + 0.1;
    for (int i = 1; i <= reports; ++i) {
        const double linkSeconds = double(i) / perSecond;
        const bool outage = linkSeconds >= 10 && linkSeconds < 22;
        const bool event = std::fmod(linkSeconds, 0.5) < 1 / perSecond;
        const quint64 stepRecv = outage ? 0 : framesPerReport;
        const quint64 stepLost = outage ? framesPerReport : 0;
        const quint64 stepErrored = event && !outage ? 5 : 0;
        if (recv + stepRecv > 65535 || lost + stepLost > 65535) // a new test period holds this step
            recv = lost = errored = bits = 0;
        recv += stepRecv;
        lost += stepLost;
        errored += stepErrored;
        bits += stepErrored * 20;
        const timespec until{time_t(due), long((due - time_t(due)) * 1e9)};
        clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr);
        line.write(emulator::encodeReport({quint16(recv), quint16(lost), quint16(errored), quint32(bits)}));
        due += 1 / perSecond;
    }
}

} // namespace bench
