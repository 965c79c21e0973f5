#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// What bermon-plot and bermon-report, which write what they draw of a
// recording to a file, do alike in main().

// Before the application object exists: a file is drawn without a display.
// Qt Charts draws through widgets' graphics items, which want an application
// with a platform; the offscreen one needs none (unless QT_QPA_PLATFORM names
// another). No warning about the runtime directory either, and a file-size
// limit makes a write fail rather than end the program.
void drawWithoutDisplay();

// A command line at fault is said with a hint, status 2; one that asks for
// help has `help()` printed on standard output, status 0. Nothing when the
// program goes on.
std::optional<int> commandLineEnd(const QString& program, const QString& error, bool showHelp, QString (*help)(),
                                  bool showVersion);

// Prints the warnings and the error of writing the file; the exit status,
// 0 when it was written, else 2.
int writtenStatus(const QString& program, const QStringList& warnings, const QString& error);
