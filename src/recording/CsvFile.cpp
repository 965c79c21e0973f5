#include "recording/CsvFile.h"

#include "recording/RowEvents.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

bool writeWhole(int fd, const QByteArray& line)
{
    qsizetype done = 0;
    while (done < line.size()) {
        const ssize_t n = ::write(fd, line.constData() + done, size_t(line.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = EIO; // no progress and no cause: do not leave a stale errno
        if (n <= 0)
            return false;
        done += n;
    }
    return true;
}

namespace {

// Reads exactly `size` bytes at `offset`; fewer at the end of the file.
QByteArray readAt(int fd, qint64 offset, qint64 size)
{
    QByteArray bytes(size, '\0');
    const ssize_t n = ::pread(fd, bytes.data(), size_t(size), off_t(offset));
    bytes.resize(n > 0 ? n : 0);
    return bytes;
}

// Offset just past the last newline before `end`; 0 when there is none.
qint64 endOfLastLine(int fd, qint64 end)
{
    constexpr qint64 kChunk = 64 * 1024;
    while (end > 0) {
        const qint64 start = std::max<qint64>(0, end - kChunk);
        const QByteArray chunk = readAt(fd, start, end - start);
        const qsizetype newline = chunk.lastIndexOf('\n');
        if (newline >= 0)
            return start + newline + 1;
        end = start;
    }
    return 0;
}

// "run.csv" becomes "run.2026-12-08.csv", or "run.2026-12-08-2.csv" when that is taken.
QString datedName(const QString& path)
{
    const QFileInfo info(path);
    const QString date = QDate::currentDate().toString(Qt::ISODate);
    const QString suffix = info.suffix().isEmpty() ? QString() : QLatin1Char('.') + info.suffix();
    const QString stem = info.dir().filePath(info.suffix().isEmpty() ? info.fileName() : info.completeBaseName());
    QString name = stem + QLatin1Char('.') + date + suffix;
    for (int n = 2; QFileInfo::exists(name); ++n)
        name = QStringLiteral("%1.%2-%3%4").arg(stem, date).arg(n).arg(suffix);
    return name;
}

} // namespace

CsvFile::~CsvFile()
{
    if (m_fd >= 0) {
        sync();
        ::close(m_fd);
    }
}

bool CsvFile::fail(const QString& why)
{
    m_error = QStringLiteral("--csv '%1': %2").arg(m_path, why);
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    return false;
}

// A torn row is cut back to the end of the last whole one: a reader sees
// whole rows only, and the cause stays for the message.
void CsvFile::failWrite(int error)
{
    m_errno = error ? error : EIO;
    m_broken = true;
    m_error = QStringLiteral("%1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(m_errno)));
    if (::ftruncate(m_fd, off_t(m_end)) != 0)
        m_error +=
            QStringLiteral("; the torn row could not be cut: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
}

bool CsvFile::open(const QString& path, const QByteArray& header, const QList<QByteArray>& formerHeaders)
{
    m_path = path;
    m_header = header;
    m_renamedTo.clear();
    m_error.clear();
    m_broken = false;
    return openPath(formerHeaders, &m_cut);
}

// The file at the path, made when missing, its torn last line cut (`cut`
// tells how much, when asked) and the header written when it has none.
bool CsvFile::openPath(const QList<QByteArray>& formerHeaders, qint64* cut)
{
    const QString& path = m_path;
    const QByteArray& header = m_header;
    const QByteArray name = QFile::encodeName(path);
    // Whether the file is made here decides whether a failed header removes it.
    bool created = false;
    m_fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CLOEXEC);
    if (m_fd < 0 && errno == ENOENT) {
        m_fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CLOEXEC | O_CREAT | O_EXCL, 0644);
        created = m_fd >= 0;
        // Made meanwhile by another program, or a link to a file yet to be made.
        if (m_fd < 0 && errno == EEXIST)
            m_fd = ::open(name.constData(), O_RDWR | O_APPEND | O_CLOEXEC | O_CREAT, 0644);
    }
    if (m_fd < 0)
        return fail(QString::fromLocal8Bit(std::strerror(errno)));
    struct stat info
    {
    };
    if (::fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode))
        return fail(QStringLiteral("not a regular file"));
    // Two recorders appending to one file would interleave their runs.
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0)
        return fail(QStringLiteral("another program is writing to it"));

    const qint64 size = info.st_size;
    const QByteArray head = readAt(m_fd, 0, header.size());
    const bool tornHeader = size < header.size() && header.startsWith(head) && !head.contains('\n');
    for (const QByteArray& former : formerHeaders) {
        if (readAt(m_fd, 0, former.size()) != former)
            continue;
        // Renamed while locked, so that no other recorder appends to it meanwhile.
        const QString dated = datedName(path);
        if (::rename(QFile::encodeName(path).constData(), QFile::encodeName(dated).constData()) != 0)
            return fail(QStringLiteral("it is in a former format and cannot be renamed: %1")
                            .arg(QString::fromLocal8Bit(std::strerror(errno))));
        ::close(m_fd);
        m_fd = -1;
        const bool opened = openPath({}, cut);
        m_renamedTo = dated;
        return opened;
    }
    if (size > 0 && head != header && !tornHeader)
        return fail(QStringLiteral("its first line is not this program's header; it is left untouched"));

    const qint64 keep = tornHeader ? 0 : endOfLastLine(m_fd, size);
    if (keep < size) {
        if (::ftruncate(m_fd, off_t(keep)) != 0)
            return fail(QString::fromLocal8Bit(std::strerror(errno)));
        if (cut)
            *cut = size - keep;
    }
    m_end = keep;
    if ((keep == 0 && !write(header)) || !sync()) {
        // A file that cannot take even its header is not left behind empty.
        if (created)
            ::unlink(name.constData());
        return fail(QString::fromLocal8Bit(std::strerror(m_errno)));
    }
    return true;
}

// Why the file at the path is no longer the one written: "file truncated"
// when it holds less than was written, "file replaced" when another file,
// or none, is there; empty while it is the same.
QString CsvFile::movedUnder() const
{
    struct stat written
    {
    };
    struct stat atPath
    {
    };
    if (::fstat(m_fd, &written) != 0)
        return {};
    if (::stat(QFile::encodeName(m_path).constData(), &atPath) != 0)
        return errno == ENOENT ? fileRestartText(FileRestart::Replaced) : QString();
    if (atPath.st_dev != written.st_dev || atPath.st_ino != written.st_ino)
        return fileRestartText(FileRestart::Replaced);
    if (written.st_size < m_end)
        return fileRestartText(FileRestart::Truncated);
    return {};
}

// The file as it is now, to go on with: a truncated one from its last whole
// line, or from nothing when its header is gone; a replaced one opened anew.
// Where the file ends follows, so that a failed write later cuts back to
// what is there, never to a length from before (which would pad with NULs).
bool CsvFile::takeAnew(const QString& why)
{
    if (why == fileRestartText(FileRestart::Replaced)) {
        ::fsync(m_fd); // the rows of the file moved away are whole there, and on the disk
        ::close(m_fd);
        m_fd = -1;
        if (!openPath({}, nullptr)) {
            m_broken = true;
            return false;
        }
        return true;
    }
    struct stat info
    {
    };
    const qint64 size = ::fstat(m_fd, &info) == 0 ? info.st_size : 0;
    const qint64 keep = readAt(m_fd, 0, m_header.size()) == m_header ? endOfLastLine(m_fd, size) : 0;
    if (::ftruncate(m_fd, off_t(keep)) != 0) {
        m_end = size;
        failWrite(errno);
        return false;
    }
    m_end = keep;
    return keep > 0 || write(m_header);
}

bool CsvFile::append(const QByteArray& lines)
{
    if (m_broken)
        return false;
    if (m_restart) {
        if (const QString why = movedUnder(); !why.isEmpty()) {
            if (!takeAnew(why))
                return false;
            if (!write(m_restart(why, lines.left(lines.indexOf('\n') + 1))))
                return false;
        }
    }
    return write(lines);
}

bool CsvFile::write(const QByteArray& bytes)
{
    m_dirty = true;
    if (!writeWhole(m_fd, bytes)) {
        failWrite(errno);
        return false;
    }
    m_end += bytes.size();
    return true;
}

bool CsvFile::sync()
{
    if (!m_dirty)
        return true;
    m_dirty = false;
    if (::fsync(m_fd) == 0)
        return true;
    m_errno = errno;
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1: %2").arg(m_path, QString::fromLocal8Bit(std::strerror(m_errno)));
    return false;
}
