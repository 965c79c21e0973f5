#pragma once

#include <QElapsedTimer>
#include <QString>
#include <QStringList>

#include <functional>

// The live status on standard error. On a terminal one line is rewritten in
// place, a few times a second at most, and fitted to the terminal's width;
// elsewhere (a log file, a journal) a plain line goes out at most every ten
// seconds.
class StatusLine
{
public:
    explicit StatusLine(bool enabled);

    // Shows the parts, most important first, unless the last showing was too
    // recent; `force` shows them anyway. The parts are only made when shown.
    void show(const std::function<QStringList()>& parts, bool force = false);
    // Ends a line rewritten in place, so that what follows starts on a line of its own.
    void finish();

private:
    bool m_enabled;
    bool m_terminal;
    bool m_pending = false; // a rewritten line is on screen without its newline
    QElapsedTimer m_sinceShown;
};

// The parts joined by two blanks, leaving out those that would pass `width`
// characters; all of them when `width` is 0.
QString fittedLine(const QStringList& parts, int width);
