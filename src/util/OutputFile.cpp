#include "util/OutputFile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace {

// The temporary file a signal removes, in what a signal handler may read.
char s_temporary[4096];
volatile std::sig_atomic_t s_armed = 0;

void removeAndEnd(int signalNumber)
{
    if (s_armed)
        ::unlink(s_temporary);
    // The handler was reset on entry: the signal, raised again, ends the
    // program as it would have without one, once this returns.
    std::raise(signalNumber);
}

void removeOnSignals(const QByteArray& path)
{
    s_armed = 0;
    if (path.size() >= qsizetype(sizeof s_temporary))
        return; // no such path opens either
    std::memcpy(s_temporary, path.constData(), size_t(path.size()) + 1);
    s_armed = 1;
    struct sigaction action
    {
    };
    action.sa_handler = removeAndEnd;
    action.sa_flags = SA_RESETHAND;
    sigemptyset(&action.sa_mask);
    for (const int signalNumber : {SIGHUP, SIGINT, SIGTERM})
        ::sigaction(signalNumber, &action, nullptr);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

OutputFile::OutputFile(const QString& path)
    : m_path(path)
{
}

OutputFile::~OutputFile()
{
    if (!m_temporary.isEmpty())
        discard({});
}

bool OutputFile::open()
{
    const QFileInfo info(m_path);
    for (int attempt = 0; m_fd < 0 && attempt < 100; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QLatin1Char("abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)]);
        m_temporary = info.dir().filePath(QLatin1Char('.') + info.fileName() + QLatin1Char('.') + suffix);
        // Made here with the mode any new file gets, the umask applied.
        m_fd = ::open(QFile::encodeName(m_temporary).constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (m_fd < 0 && errno != EEXIST)
            break;
    }
    if (m_fd < 0) {
        m_error = QStringLiteral("-o '%1': cannot be written: %2").arg(m_path, systemError(errno));
        m_temporary.clear();
        return false;
    }
    removeOnSignals(QFile::encodeName(m_temporary));
    m_drawing.open(QIODevice::WriteOnly);
    return true;
}

void OutputFile::fail(const QString& why)
{
    if (!m_temporary.isEmpty())
        discard(why);
}

void OutputFile::discard(const QString& why)
{
    if (m_error.isEmpty() && !why.isNull())
        m_error = QStringLiteral("-o '%1': %2").arg(m_path, why);
    s_armed = 0;
    ::close(m_fd);
    m_fd = -1;
    ::unlink(QFile::encodeName(m_temporary).constData());
    m_temporary.clear();
}

bool OutputFile::commit()
{
    if (m_temporary.isEmpty())
        return false;
    const QByteArray& bytes = m_drawing.data();
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            discard(systemError(n < 0 ? errno : EIO));
            return false;
        }
        done += n;
    }
    if (::fsync(m_fd) != 0 || ::close(std::exchange(m_fd, -1)) != 0) {
        discard(systemError(errno));
        return false;
    }
    if (::rename(QFile::encodeName(m_temporary).constData(), QFile::encodeName(m_path).constData()) != 0) {
        discard(systemError(errno));
        return false;
    }
    s_armed = 0;
    m_temporary.clear();
    return true;
}
