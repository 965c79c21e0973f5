#include "Benches.h"
#include "BareReadLoop.h"
#include "PtyFloor.h"
#include "ReportWriter.h"

#include <fcntl.h>

#include <thread>

namespace bench {

PtyFloorRun runPtyFloor()
{
    PtyFloorRun run;
    emulator::PseudoTerminal line;
    const int fd = ::open(qPrintable(line.slavePath()), O_RDONLY | O_NOCTTY);
    if (fd < 0)
        return run;
    run.opened = true;

    std::vector<std::atomic<double>> writtenAt(kNumberedReports + 1);
    std::thread writer([&] { writeNumberedReports(line, writtenAt); });
    run.latencies.reserve(kNumberedReports);
    const double cpuStart = scheduledSecondsOfThisThread();
    const double wallStart = monotonicSeconds();
    const BareReads counted = readReportsBare(fd, kNumberedReports, [&](const unsigned char* report) {
        const quint32 i = quint32(report[7]) << 24 | quint32(report[8]) << 16 | quint32(report[9]) << 8 | report[10];
        if (i >= 1 && i <= quint32(kNumberedReports))
            run.latencies.push_back(monotonicSeconds() - writtenAt[i].load(std::memory_order_acquire));
    });
    run.cpuSeconds = scheduledSecondsOfThisThread() - cpuStart;
    run.wallSeconds = monotonicSeconds() - wallStart;
    run.reads = counted.reads;
    run.merged = counted.merged;
    writer.join();
    ::close(fd);
    return run;
}

// The same reports read by a bare poll/read loop: what the system and the
// pseudo-terminal cost before any toolkit is involved. Reads that hold more
// than one report show how often the line itself delivers reports together.
std::vector<Figure> benchPtyFloor()
{
    PtyFloorRun run = runPtyFloor();
    if (!run.opened)
        return {{QStringLiteral("Floor"), QStringLiteral("cannot open the pseudo-terminal"), {}, false}};
    const double p99 = quantile(run.latencies, 0.99);
    return {{QStringLiteral("Floor: bare poll/read loop on the same line (p99 / reads with 2+ reports / CPU / CPU per "
                            "report)"),
             QStringLiteral("%1 us / %2 of %3 / %4 % / %5 us")
                 .arg(p99 * 1e6, 0, 'f', 0)
                 .arg(run.merged)
                 .arg(run.reads)
                 .arg(run.cpuSeconds / run.wallSeconds * 100, 0, 'f', 2)
                 .arg(run.cpuSeconds / kNumberedReports * 1e6, 0, 'f', 1),
             QStringLiteral("(reference)"), true}};
}

} // namespace bench
