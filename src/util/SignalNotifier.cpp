#include "util/SignalNotifier.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace util {

namespace {

int g_sockets[2] = {-1, -1}; // [0] written by the handler, [1] read by the event loop

extern "C" void writeSignalNumber(int signalNumber)
{
    const int savedErrno = errno;
    const char number = char(signalNumber);
    ssize_t written = 0;
    do
        written = ::write(g_sockets[0], &number, 1);
    while (written < 0 && errno == EINTR);
    // A full socket (EAGAIN) holds signals not yet handled, and handling one
    // does what this one would. Any other failure means the event loop never
    // hears of it: the signal then takes its default action, as it would
    // with no notifier, rather than being lost.
    if (written < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
        ::signal(signalNumber, SIG_DFL);
        ::raise(signalNumber);
    }
    errno = savedErrno;
}

} // namespace

SignalNotifier::SignalNotifier(std::initializer_list<int> signalNumbers, QObject* parent)
    : QObject(parent)
    , m_signalNumbers(signalNumbers)
{
    if (g_sockets[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_sockets) != 0)
        return;
    // The handler must never block, even with signals piling up unhandled.
    if (::fcntl(g_sockets[0], F_SETFL, O_NONBLOCK) != 0) {
        ::close(g_sockets[0]);
        ::close(g_sockets[1]);
        g_sockets[0] = g_sockets[1] = -1;
        return;
    }
    m_notifier = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalNotifier::onReadable);

    struct sigaction action
    {
    };
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signalNumber : m_signalNumbers)
        ::sigaction(signalNumber, &action, nullptr);
}

SignalNotifier::~SignalNotifier()
{
    if (!isActive())
        return;
    for (const int signalNumber : m_signalNumbers)
        ::signal(signalNumber, SIG_DFL);
    delete m_notifier;
    ::close(g_sockets[0]);
    ::close(g_sockets[1]);
    g_sockets[0] = g_sockets[1] = -1;
}

void SignalNotifier::onReadable()
{
    char number = 0;
    ssize_t got = 0;
    do
        got = ::read(g_sockets[1], &number, 1);
    while (got < 0 && errno == EINTR);
    if (got == 1) {
        emit received(number);
        return;
    }
    if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
        return; // nothing to read after all
    // The socket failed or was closed: it would stay readable and wake the
    // event loop forever. The notifier stops, and the signals take their
    // default action again, so that one still ends the program.
    m_notifier->setEnabled(false);
    for (const int signalNumber : m_signalNumbers)
        ::signal(signalNumber, SIG_DFL);
}

} // namespace util
