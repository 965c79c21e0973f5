#include "Benches.h"
#include "ReportWriter.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <thread>

namespace bench {

// The same reports read by a bare poll/read loop: what the system and the
// pseudo-terminal cost before any toolkit is involved. Reads that hold more
// than one report show how often the line itself delivers reports together.
std::vector<Figure> benchPtyFloor()
{
    emulator::PseudoTerminal line;
    const int fd = ::open(qPrintable(line.slavePath()), O_RDONLY | O_NOCTTY);
    if (fd < 0)
        return {{QStringLiteral("Floor"), QStringLiteral("cannot open the pseudo-terminal"), {}, false}};

    std::vector<std::atomic<double>> writtenAt(kNumberedReports + 1);
    std::thread writer([&] { writeNumberedReports(line, writtenAt); });

    std::vector<double> latencies;
    int reads = 0;
    int merged = 0;
    unsigned char buffer[4096];
    size_t pending = 0; // bytes of a report cut by a read
    const double cpuStart = threadCpuSeconds();
    const double wallStart = monotonicSeconds();
    while (latencies.size() < size_t(kNumberedReports)) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 2000) <= 0)
            break;
        const ssize_t n = read(fd, buffer + pending, sizeof buffer - pending);
        if (n <= 0)
            break;
        const double now = monotonicSeconds();
        ++reads;
        const size_t available = pending + size_t(n);
        if (available >= 24)
            ++merged;
        size_t at = 0;
        for (; at + 12 <= available; at += 12) {
            const quint32 i = quint32(buffer[at + 7]) << 24 | quint32(buffer[at + 8]) << 16
                              | quint32(buffer[at + 9]) << 8 | buffer[at + 10];
            if (i >= 1 && i <= quint32(kNumberedReports))
                latencies.push_back(now - writtenAt[i].load(std::memory_order_acquire));
        }
        pending = available - at;
        std::copy(buffer + at, buffer + available, buffer);
    }
    const double cpuShare = (threadCpuSeconds() - cpuStart) / (monotonicSeconds() - wallStart);
    writer.join();
    ::close(fd);

    const double p99 = quantile(latencies, 0.99);
    return {{QStringLiteral("Floor: bare poll/read loop on the same line (p99 / reads with 2+ reports / CPU)"),
             QStringLiteral("%1 us / %2 of %3 / %4 %")
                 .arg(p99 * 1e6, 0, 'f', 0)
                 .arg(merged)
                 .arg(reads)
                 .arg(cpuShare * 100, 0, 'f', 2),
             QStringLiteral("(reference)"), true}};
}

} // namespace bench
