#pragma once

#include <QObject>

#include <initializer_list>
#include <vector>

class QSocketNotifier;

namespace util {

// Turns process signals such as SIGTERM into a Qt signal in the event loop.
// The handler only writes the signal's number to a socket pair; what follows
// runs in the event loop, where any work is safe. One at a time: the handlers
// are the process's. On destruction the signals get their default action back.
class SignalNotifier final : public QObject
{
    Q_OBJECT
public:
    SignalNotifier(std::initializer_list<int> signalNumbers, QObject* parent = nullptr);
    ~SignalNotifier() override;

    // False when another notifier is active, or the socket pair could not be made.
    bool isActive() const { return m_notifier != nullptr; }

signals:
    void received(int signalNumber);

private:
    void onReadable();

    std::vector<int> m_signalNumbers;
    QSocketNotifier* m_notifier = nullptr;
};

} // namespace util
