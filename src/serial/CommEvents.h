#pragma once

#include "measurement/ReportPort.h"

namespace serial {

// The event kinds that the serial control's CommEvent reports, which the
// report handler below it defines.
using measurement::kCommEventReceive;

} // namespace serial
