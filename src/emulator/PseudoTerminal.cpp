#include "emulator/PseudoTerminal.h"

#include <QDeadlineTimer>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

namespace emulator {

namespace {

bool setUp(int fd, PseudoTerminal::Mode mode)
{
    termios attributes{};
    if (::tcgetattr(fd, &attributes) != 0)
        return false;
    if (mode == PseudoTerminal::Mode::Raw) {
        ::cfmakeraw(&attributes);
    } else {
        attributes.c_iflag |= ICRNL | ISTRIP | IXON;
        attributes.c_lflag |= ICANON | ISIG | IEXTEN | ECHO;
    }
    return ::tcsetattr(fd, TCSANOW, &attributes) == 0;
}

} // namespace

PseudoTerminal::PseudoTerminal(Mode mode)
{
    open(mode);
}

void PseudoTerminal::open(Mode mode)
{
    // Non-blocking, so that a line nobody reads cannot stall the unit (see write()).
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_master < 0)
        return fail(QStringLiteral("cannot create a pseudo-terminal"));
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return fail(QStringLiteral("cannot unlock the pseudo-terminal"));
    if (const char* name = ::ptsname(m_master))
        m_slavePath = QString::fromLocal8Bit(name);
    else
        return fail(QStringLiteral("cannot name the pseudo-terminal"));
    const QString setUpFailed =
        QStringLiteral("cannot set %1 mode on %2").arg(mode == Mode::Raw ? "raw" : "cooked", m_slavePath);
    if (!setUp(m_master, mode))
        return fail(setUpFailed);

    // Linux keeps one set of terminal attributes for both sides; other systems keep the slave's
    // apart, so it is set up as well, through a descriptor closed again at once.
    const int slave = ::open(m_slavePath.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0)
        return fail(QStringLiteral("cannot open %1").arg(m_slavePath));
    const bool slaveSetUp = setUp(slave, mode);
    ::close(slave);
    if (!slaveSetUp)
        return fail(setUpFailed);
}

PseudoTerminal::~PseudoTerminal()
{
    hangUp();
}

bool PseudoTerminal::write(const QByteArray& bytes)
{
    if (m_master < 0) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("the line is hung up");
        return false;
    }
    const QDeadlineTimer deadline(kWriteTimeoutMs);
    const char* next = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        const ssize_t written = ::write(m_master, next, static_cast<size_t>(left));
        if (written > 0) {
            next += written;
            left -= written;
        } else if (written < 0 && errno == EINTR) {
            continue;
        } else if (written == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!waitForRoom(int(deadline.remainingTime()))) {
                // A real line loses what nobody takes; the unit goes on.
                m_error = QStringLiteral("nobody reads %1: %2 of %3 bytes dropped")
                              .arg(m_slavePath)
                              .arg(left)
                              .arg(bytes.size());
                return false;
            }
        } else {
            fail(QStringLiteral("cannot write to %1").arg(m_slavePath));
            return false;
        }
    }
    return true;
}

bool PseudoTerminal::waitForRoom(int timeoutMs)
{
    pollfd wanted{m_master, POLLOUT, 0};
    for (;;) {
        const int ready = ::poll(&wanted, 1, timeoutMs);
        if (ready < 0 && errno == EINTR)
            continue;
        // No slave open and the buffer full: poll reports a hang-up at once, and waiting is useless.
        return ready > 0 && (wanted.revents & POLLOUT);
    }
}

void PseudoTerminal::hangUp()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PseudoTerminal::fail(const QString& what)
{
    m_error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(errno)));
    hangUp();
}

} // namespace emulator
