#pragma once

#include <vector>

namespace bench {

// One pass of the numbered reports at 960 a second over a pseudo-terminal,
// read on the calling thread by a bare poll/read loop.
struct PtyFloorRun
{
    bool opened = false;
    std::vector<double> latencies; // per report, from its last byte written to its read
    int reads = 0;
    int merged = 0;          // reads that held two reports or more
    double cpuSeconds = 0;   // the reading thread's, from /proc
    double wallSeconds = 0;
};

PtyFloorRun runPtyFloor();

} // namespace bench
