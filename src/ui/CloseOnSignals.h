#pragma once

#include <QObject>

namespace util {
class SignalNotifier;
}

namespace ui {

class Form1;

// SIGTERM, SIGINT and SIGHUP close the window for a reason other than the
// operator: it unloads, the port is closed as the close box closes it, and the
// program ends with status 0.
class CloseOnSignals final : public QObject
{
    Q_OBJECT
public:
    explicit CloseOnSignals(Form1& form);

private:
    void onSignal(int signalNumber);

    Form1& m_form;
    util::SignalNotifier* m_signals;
};

} // namespace ui
