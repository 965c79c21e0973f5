#include "serial/PortMapping.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSerialPortInfo>

#include <algorithm>
#include <optional>
#include <tuple>

#if defined(Q_OS_UNIX)
#include <sys/stat.h>
#endif

namespace serial {

namespace {

// Where a name stands in the port order: kind, place of its family within
// the kind, family, number.
struct PortOrder
{
    int kind = 0;
    int family = 0;
    QString prefix;
    qint64 number = -1;

    auto key() const { return std::tie(kind, family, prefix, number); }
};

bool presentAsDevice(const QString& path)
{
#if defined(Q_OS_UNIX)
    // Follows links; a plain file left where a device was (a write to an
    // absent /dev/ttyUSB0 by root makes one) is not a device.
    struct stat status
    {
    };
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && S_ISCHR(status.st_mode);
#else
    return QFileInfo::exists(path);
#endif
}

// The order of a name in `deviceDir`, or nothing for names that are not
// serial ports.
std::optional<PortOrder> portOrder(const QString& name, bool listed)
{
    static const QRegularExpression numbered(QStringLiteral("^(.*?)(\\d+)$"));
    const QRegularExpressionMatch match = numbered.match(name);
    PortOrder order;
    order.prefix = match.hasMatch() ? match.captured(1) : name;
    order.number = match.hasMatch() ? match.captured(2).toLongLong() : -1;

    // Virtual consoles are terminals, never serial ports.
    if (order.prefix == QLatin1String("tty"))
        return std::nullopt;
    if (order.number < 0 && !listed)
        return std::nullopt;
    if (order.prefix == QLatin1String("ttyUSB"))
        order.kind = 0;
    else if (order.prefix == QLatin1String("ttyACM"))
        order.kind = 1;
    else if (order.prefix == QLatin1String("ttyS")) {
        // Linux makes ttyS0..ttyS31 whether or not a UART is fitted.
        if (!listed)
            return std::nullopt;
        order.kind = 3;
    } else {
        static const QStringList known{QStringLiteral("ttyAMA"), QStringLiteral("rfcomm"), QStringLiteral("ttyXRUSB")};
        const qsizetype family = known.indexOf(order.prefix);
        if (family < 0 && !listed)
            return std::nullopt;
        order.kind = 2;
        order.family = family < 0 ? int(known.size()) : int(family);
    }
    return order;
}

} // namespace

QList<SerialDevice> orderSerialDevices(const QString& deviceDir, const QList<SerialDevice>& listed)
{
    const QDir dir(deviceDir);
    std::vector<std::pair<PortOrder, SerialDevice>> found;
    for (const QString& name : dir.entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        const auto known = std::find_if(listed.begin(), listed.end(), [&](const SerialDevice& device) {
            return QFileInfo(device.path).fileName() == name;
        });
        const bool isListed = known != listed.end();
        const std::optional<PortOrder> order = portOrder(name, isListed);
        const QString path = dir.filePath(name);
        if (!order || !presentAsDevice(path))
            continue;
        SerialDevice device = isListed ? *known : SerialDevice{};
        device.path = path;
        found.emplace_back(*order, device);
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first.key() < b.first.key(); });
    QList<SerialDevice> ordered;
    for (auto& [order, device] : found)
        ordered << std::move(device);
    return ordered;
}

namespace {

// The ports the system's enumeration reports.
QList<SerialDevice> listedSerialPorts()
{
    QList<SerialDevice> listed;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        listed << SerialDevice{info.systemLocation(), info.description(), info.manufacturer(), info.serialNumber()};
    return listed;
}

// The listed ports in this system's port order.
QList<SerialDevice> inPortOrder(QList<SerialDevice> listed)
{
#if defined(Q_OS_LINUX)
    return orderSerialDevices(QStringLiteral("/dev"), listed);
#else
    std::sort(listed.begin(), listed.end(),
              [](const SerialDevice& a, const SerialDevice& b) { return a.path < b.path; });
    return listed;
#endif
}

} // namespace

SerialDevices::SerialDevices(QList<SerialDevice> ordered, QList<SerialDevice> listed)
    : m_ordered(std::move(ordered))
    , m_listed(std::move(listed))
{
}

SerialDevices SerialDevices::read()
{
    QList<SerialDevice> listed = listedSerialPorts();
    QList<SerialDevice> ordered = inPortOrder(listed);
    return SerialDevices(std::move(ordered), std::move(listed));
}

QString SerialDevices::deviceForPort(int port) const
{
#if defined(Q_OS_WIN)
    return QStringLiteral("COM%1").arg(port);
#else
    return port >= 1 && port <= m_ordered.size() ? m_ordered[port - 1].path : QString();
#endif
}

QString SerialDevices::describe(const QString& path) const
{
    // A link made by hand describes the device it leads to.
    const QString target = QFileInfo(path).canonicalFilePath();
    QStringList lines{path};
    for (const SerialDevice& device : m_listed) {
        if (device.path != path && (target.isEmpty() || device.path != target))
            continue;
        if (!device.description.isEmpty())
            lines << device.description;
        if (!device.manufacturer.isEmpty())
            lines << QStringLiteral("Maker: %1").arg(device.manufacturer);
        if (!device.serialNumber.isEmpty())
            lines << QStringLiteral("Serial number: %1").arg(device.serialNumber);
        break;
    }
    return lines.join(QLatin1Char('\n'));
}

QString noDeviceText(int port)
{
    return QStringLiteral("no serial device for port %1").arg(port);
}

} // namespace serial
