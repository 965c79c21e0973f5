#pragma once

#include "serial/ReportFramer.h"

#include <QTest>

// Lets the line stay silent until the serial control counts it as quiet, with
// room for a busy machine: what arrived before is settled, and the next byte
// starts a burst.
inline void waitForQuietLine(qint32 baudRate = 9600)
{
    QTest::qWait(int(serial::quietLineTime(baudRate).count()) + 100);
}
