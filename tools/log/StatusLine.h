#pragma once

#include <QElapsedTimer>
#include <QString>

// The live status on standard error. On a terminal one line is rewritten in
// place, a few times a second at most; elsewhere (a log file, a journal) a
// plain line goes out at most every ten seconds.
class StatusLine
{
public:
    explicit StatusLine(bool enabled);

    // Shows `text` unless the last showing was too recent; `force` shows it anyway.
    void show(const QString& text, bool force = false);
    // Ends a line rewritten in place, so that what follows starts on a line of its own.
    void finish();

private:
    bool m_enabled;
    bool m_terminal;
    bool m_pending = false; // a rewritten line is on screen without its newline
    QElapsedTimer m_sinceShown;
};

// "2:03:04", or "3d 2:03:04" for long runs.
QString clockText(qint64 ms);
