#include "ui/CloseOnSignals.h"

#include "ui/Form1.h"
#include "util/SignalNotifier.h"

#include <QCoreApplication>

#include <csignal>

namespace ui {

namespace {

// The origins of a close request, as the close handlers number them: the end
// of the operator's session, and another program ending this one.
constexpr qint16 kOriginSessionEnds = 2;
constexpr qint16 kOriginEndedByAnother = 3;

} // namespace

CloseOnSignals::CloseOnSignals(Form1& form)
    : QObject(&form)
    , m_form(form)
    , m_signals(new util::SignalNotifier({SIGTERM, SIGINT, SIGHUP}, this))
{
    connect(m_signals, &util::SignalNotifier::received, this, &CloseOnSignals::onSignal);
}

bool CloseOnSignals::isActive() const
{
    return m_signals->isActive();
}

void CloseOnSignals::onSignal(int signalNumber)
{
    const qint16 origin = signalNumber == SIGHUP ? kOriginSessionEnds : kOriginEndedByAnother;
    // A window that a handler has already ended keeps the status it set.
    if (m_form.closeFor(origin) && !m_form.hasEnded())
        QCoreApplication::exit(EXIT_SUCCESS);
}

} // namespace ui
