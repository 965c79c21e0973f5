#pragma once

#include <QString>

#include <optional>

namespace serial {

// A process that holds a serial device.
struct HoldingProcess
{
    qint64 pid = 0;
    QString name; // empty where the system does not tell it
};

// Who holds `device`: the live process named in its lock file (in the
// directories where serial programs put them), else a process that has the
// device open, as far as /proc shows. Nothing when none is found or the
// system has no /proc.
std::optional<HoldingProcess> findHoldingProcess(const QString& device);

// "in use by process 1234 (minicom)".
QString describeHoldingProcess(const HoldingProcess& holder);

} // namespace serial
