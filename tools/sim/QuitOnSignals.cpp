#include "QuitOnSignals.h"

#include "util/SignalNotifier.h"

#include <QCoreApplication>

#include <csignal>

QuitOnSignals::QuitOnSignals(QObject* parent)
    : QObject(parent)
{
    auto* notifier = new util::SignalNotifier({SIGINT, SIGTERM}, this);
    connect(notifier, &util::SignalNotifier::received, this, [] { QCoreApplication::quit(); });
}
