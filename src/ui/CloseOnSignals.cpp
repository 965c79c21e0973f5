#include "ui/CloseOnSignals.h"

#include "ui/Form1.h"
#include "util/SignalNotifier.h"

#include <QCoreApplication>

#include <csignal>

namespace ui {

CloseOnSignals::CloseOnSignals(Form1& form)
    : QObject(&form)
    , m_form(form)
    , m_signals(new util::SignalNotifier({SIGTERM, SIGINT, SIGHUP}, this))
{
    connect(m_signals, &util::SignalNotifier::received, this, &CloseOnSignals::onSignal);
}

void CloseOnSignals::onSignal(int signalNumber)
{
    const Form1::CloseOrigin origin = signalNumber == SIGHUP ? Form1::SessionEnds : Form1::EndedByAnother;
    // A window that a handler has already ended keeps the status it set.
    if (m_form.closeFor(origin) && !m_form.hasEnded())
        QCoreApplication::exit(EXIT_SUCCESS);
}

} // namespace ui
