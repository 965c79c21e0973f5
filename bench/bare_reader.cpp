// bermon-bare-reader DEVICE: reads the reports on a line with nothing but
// poll and read, in a process of its own: the floor that the recorder's CPU
// is measured beside, taken from /proc the same way. Prints "ready" once the
// line is open, and the reports read at the end.
#include "BareReadLoop.h"

#include <fcntl.h>

#include <climits>
#include <cstdio>

int main(int argc, char* argv[])
{
    if (argc != 2) {
        std::fputs("usage: bermon-bare-reader DEVICE\n", stderr);
        return 2;
    }
    const int fd = ::open(argv[1], O_RDONLY | O_NOCTTY);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    std::puts("ready");
    std::fflush(stdout);
    const bench::BareReads counted = bench::readReportsBare(fd, INT_MAX, [](const unsigned char*) {});
    std::printf("%d reports\n", counted.reports);
    return 0;
}
