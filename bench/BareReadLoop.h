#pragma once

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>

namespace bench {

// What a bare reader of the line counted.
struct BareReads
{
    int reads = 0;
    int merged = 0; // reads that held two reports or more
    int reports = 0;
};

// The least any reader of the line does: waits for bytes with poll, reads
// them and cuts them into 12-byte reports, handing each to `onReport`. Ends
// after `reports` reports, at the end of the line, or after 2 s without a byte.
template <typename OnReport>
BareReads readReportsBare(int fd, int reports, OnReport&& onReport)
{
    BareReads counted;
    unsigned char buffer[4096];
    size_t pending = 0; // bytes of a report cut by a read
    while (counted.reports < reports) {
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 2000) <= 0)
            break;
        const ssize_t n = read(fd, buffer + pending, sizeof buffer - pending);
        if (n <= 0)
            break;
        ++counted.reads;
        const size_t available = pending + size_t(n);
        if (available >= 24)
            ++counted.merged;
        size_t at = 0;
        for (; at + 12 <= available; at += 12, ++counted.reports)
            onReport(buffer + at);
        pending = available - at;
        std::copy(buffer + at, buffer + available, buffer);
    }
    return counted;
}

} // namespace bench
