#pragma once

#include <QObject>

// Ends the event loop cleanly on SIGINT and SIGTERM.
class QuitOnSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject* parent = nullptr);
};
