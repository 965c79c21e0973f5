#include "serial/HoldingProcess.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstring>

namespace serial {

namespace {

// Where QSerialPort, lockdev and uucp-style programs keep their locks.
const QStringList kLockDirs{
    QStringLiteral("/run/lock"),  QStringLiteral("/var/lock"),        QStringLiteral("/var/lock/lockdev"),
    QStringLiteral("/etc/locks"), QStringLiteral("/var/spool/locks"), QStringLiteral("/var/spool/uucp"),
    QStringLiteral("/tmp"),       QStringLiteral("/var/tmp")};

bool processExists(qint64 pid)
{
    return pid > 0 && QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid));
}

QString processName(qint64 pid)
{
    QFile comm(QStringLiteral("/proc/%1/comm").arg(pid));
    if (!comm.open(QIODevice::ReadOnly))
        return {};
    return QString::fromLocal8Bit(comm.readAll()).trimmed();
}

// The lock file names the device as seen from /dev, slashes made underscores:
// /dev/ttyUSB0 is LCK..ttyUSB0, /dev/pts/3 is LCK..pts_3.
std::optional<qint64> lockOwner(const QString& device)
{
    QString name = QFileInfo(device).absoluteFilePath();
    if (name.startsWith(QLatin1String("/dev/")))
        name.remove(0, 5);
    name.replace(QLatin1Char('/'), QLatin1Char('_'));
    for (const QString& dir : kLockDirs) {
        QFile lock(dir + QStringLiteral("/LCK..") + name);
        if (!lock.open(QIODevice::ReadOnly))
            continue;
        // The first line is the owner's PID, as text (QLockFile, lockdev) or
        // as a binary int (old uucp).
        const QByteArray content = lock.read(64);
        bool ok = false;
        qint64 pid = content.split('\n').value(0).trimmed().toLongLong(&ok);
        if (!ok && content.size() >= qsizetype(sizeof(qint32))) {
            qint32 binary = 0;
            std::memcpy(&binary, content.constData(), sizeof binary);
            pid = binary;
        }
        if (processExists(pid))
            return pid;
    }
    return std::nullopt;
}

// A process with the device open, found through its descriptors.
std::optional<qint64> openedBy(const QString& device)
{
    const QString target = QFileInfo(device).canonicalFilePath();
    if (target.isEmpty())
        return std::nullopt;
    const QDir proc(QStringLiteral("/proc"));
    for (const QString& entry : proc.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (!isPid)
            continue;
        const QDir fds(proc.filePath(entry) + QStringLiteral("/fd"));
        for (const QFileInfo& fd : fds.entryInfoList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot))
            if (fd.symLinkTarget() == target)
                return pid;
    }
    return std::nullopt;
}

} // namespace

std::optional<HoldingProcess> findHoldingProcess(const QString& device)
{
    if (device.isEmpty())
        return std::nullopt;
    std::optional<qint64> pid = lockOwner(device);
    if (!pid)
        pid = openedBy(device);
    if (!pid)
        return std::nullopt;
    return HoldingProcess{*pid, processName(*pid)};
}

QString describeHoldingProcess(const HoldingProcess& holder)
{
    if (holder.name.isEmpty())
        return QStringLiteral("in use by process %1").arg(holder.pid);
    return QStringLiteral("in use by process %1 (%2)").arg(holder.pid).arg(holder.name);
}

} // namespace serial
