#pragma once

#include <QObject>

class QSocketNotifier;

// Ends the event loop cleanly on SIGINT and SIGTERM. The signal handler only writes a byte to a
// socket pair; the quit happens in the event loop, where any work is safe.
class QuitOnSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject* parent = nullptr);
    ~QuitOnSignals() override;

    bool isValid() const { return m_notifier != nullptr; }

private:
    void onSignal();

    QSocketNotifier* m_notifier = nullptr;
};
