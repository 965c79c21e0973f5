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
    [[maybe_unused]] const ssize_t written = ::write(g_sockets[0], &number, 1);
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
    ::fcntl(g_sockets[0], F_SETFL, O_NONBLOCK);
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
    if (::read(g_sockets[1], &number, 1) == 1)
        emit received(number);
}

} // namespace util
