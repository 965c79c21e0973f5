#include "ui/CloseOnSignals.h"

#include "ui/Form1.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ui {

namespace {

constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

// The origins of a close request, as the close handlers number them: the end
// of the operator's session, and another program ending this one.
constexpr qint16 kOriginSessionEnds = 2;
constexpr qint16 kOriginEndedByAnother = 3;

int g_sockets[2] = {-1, -1}; // [0] written by the handler, [1] read by the event loop

extern "C" void writeSignalNumber(int signal)
{
    const int savedErrno = errno;
    const char number = char(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_sockets[0], &number, 1);
    errno = savedErrno;
}

} // namespace

CloseOnSignals::CloseOnSignals(Form1& form)
    : QObject(&form)
    , m_form(form)
{
    if (g_sockets[0] >= 0 || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_sockets) != 0)
        return;
    // The handler must never block, even with signals piling up unhandled.
    ::fcntl(g_sockets[0], F_SETFL, O_NONBLOCK);
    m_notifier = new QSocketNotifier(g_sockets[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &CloseOnSignals::onSignal);

    struct sigaction action {};
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (const int signal : kSignals)
        ::sigaction(signal, &action, nullptr);
}

CloseOnSignals::~CloseOnSignals()
{
    if (!isActive())
        return;
    for (const int signal : kSignals)
        ::signal(signal, SIG_DFL);
    delete m_notifier;
    ::close(g_sockets[0]);
    ::close(g_sockets[1]);
    g_sockets[0] = g_sockets[1] = -1;
}

void CloseOnSignals::onSignal()
{
    char number = 0;
    if (::read(g_sockets[1], &number, 1) != 1)
        return;
    const qint16 origin = number == SIGHUP ? kOriginSessionEnds : kOriginEndedByAnother;
    // A window that a handler has already ended keeps the status it set.
    if (m_form.closeFor(origin) && !m_form.hasEnded())
        QCoreApplication::exit(EXIT_SUCCESS);
}

} // namespace ui
