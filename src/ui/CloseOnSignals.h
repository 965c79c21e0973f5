#pragma once

#include <QObject>

class QSocketNotifier;

namespace ui {

class Form1;

// SIGTERM, SIGINT and SIGHUP close the window for a reason other than the
// operator: it unloads, the port is closed as the close box closes it, and the
// program ends with status 0. The signal handler only writes the signal's
// number to a socket pair; the close runs in the event loop, where any work
// is safe. One at a time: the handlers are the process's.
class CloseOnSignals final : public QObject
{
    Q_OBJECT
public:
    explicit CloseOnSignals(Form1& form);
    ~CloseOnSignals() override;

    bool isActive() const { return m_notifier != nullptr; }

private:
    void onSignal();

    Form1& m_form;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace ui
