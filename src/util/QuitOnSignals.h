#pragma once

#include <QObject>

namespace util {

// Ends the event loop cleanly on SIGHUP, SIGINT and SIGTERM: for the
// programs without a window, and for the windows that close on them alike.
// A terminal that closes sends SIGHUP: a recorder started from it ends as
// when it is stopped, with its last row and its figures written.
class QuitOnSignals : public QObject
{
    Q_OBJECT

public:
    explicit QuitOnSignals(QObject* parent = nullptr);
};

} // namespace util
