#include "serial/PortMapping.h"

#include <QFileInfo>
#include <QSerialPortInfo>

#include <algorithm>

namespace serial {

QString systemDeviceForPort(int port)
{
    const QString index = QString::number(port - 1);
#if defined(Q_OS_WIN)
    return QStringLiteral("COM%1").arg(port);
#elif defined(Q_OS_LINUX)
    for (const char* family : {"/dev/ttyUSB", "/dev/ttyACM"}) {
        const QString device = QLatin1String(family) + index;
        if (QFileInfo::exists(device))
            return device;
    }
    return QStringLiteral("/dev/ttyS") + index;
#else
    QStringList names;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        names << info.systemLocation();
    std::sort(names.begin(), names.end());
    return port >= 1 && port <= names.size() ? names[port - 1] : QStringLiteral("port %1").arg(port);
#endif
}

} // namespace serial
