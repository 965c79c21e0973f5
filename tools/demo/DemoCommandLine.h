#pragma once

#include "SimOptions.h"

// bermon-demo's command line: bermon-sim's options for the built-in unit, with the demo's own
// defaults (a report every 250 ms, 1000 frames a second, BER 2e-5, 0.1 % of frames lost) and
// no --device.
SimCommandLine demoCommandLine();
