#pragma once

#include "emulator/Faults.h"
#include "emulator/LinkConditions.h"
#include "emulator/LinkModel.h"

#include <QtGlobal>

namespace emulator {

constexpr int kMaxSendDelayMs = 1000;

struct EmulatorSettings
{
    int baudRate = 9600;   // paces bursts and pieces: 10 bits a byte on the wire; at least 1
    int intervalMs = 1000; // at least 1
    // Above intervalMs: each interval is drawn anew, evenly from intervalMs to this; else (0 too)
    // every interval is intervalMs.
    int intervalMaxMs = 0;
    LinkRates link;
    LinkConditionPlan conditions; // errored seconds and outages, second by second of the run
    CountOverflow overflow = CountOverflow::RestartPeriod;
    FaultPlan faults;
    int pieces = 1; // writes a transmission takes, 1 to kMaxPieces, paced at the line's rate
    // Each transmission leaves a time drawn evenly from 0 to this after its counts were taken, as
    // a USB serial adapter's latency timer holds bytes; 0 to kMaxSendDelayMs, 0: at once.
    int sendDelayMs = 0;
    int count = 0; // transmissions before the unit stops; 0: no end
    quint32 seed = 1;
};

} // namespace emulator
