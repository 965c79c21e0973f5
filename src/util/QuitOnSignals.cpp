#include "util/QuitOnSignals.h"

#include "util/SignalNotifier.h"

#include <QCoreApplication>

#include <csignal>

namespace util {

QuitOnSignals::QuitOnSignals(QObject* parent)
    : QObject(parent)
{
    auto* notifier = new SignalNotifier({SIGHUP, SIGINT, SIGTERM}, this);
    connect(notifier, &SignalNotifier::received, this, [] { QCoreApplication::quit(); });
}

} // namespace util
