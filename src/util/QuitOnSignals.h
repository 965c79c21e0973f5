#pragma once

#include <QObject>

namespace util {

// Ends the event loop cleanly on SIGINT and SIGTERM: for the programs
// without a window, and for the windows that close on them alike.
class QuitOnSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject* parent = nullptr);
};

} // namespace util
