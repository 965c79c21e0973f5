#include "StatusLine.h"

#include "LineFile.h"

#include <unistd.h>

StatusLine::StatusLine(bool enabled)
    : m_enabled(enabled)
    , m_terminal(::isatty(STDERR_FILENO) == 1)
{
}

void StatusLine::show(const QString& text, bool force)
{
    if (!m_enabled)
        return;
    const qint64 spacing = m_terminal ? 250 : 10'000;
    if (!force && m_sinceShown.isValid() && m_sinceShown.elapsed() < spacing)
        return;
    m_sinceShown.start();
    // Carriage return and erase to the end of the line: one line, rewritten.
    writeWhole(STDERR_FILENO, m_terminal ? "\r" + text.toLocal8Bit() + "\x1b[K" : text.toLocal8Bit() + '\n');
    m_pending = m_terminal;
}

void StatusLine::finish()
{
    if (m_pending)
        writeWhole(STDERR_FILENO, "\n");
    m_pending = false;
}

QString clockText(qint64 ms)
{
    const qint64 s = ms / 1000;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(s / 3600 % 24)
                              .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(s % 60, 2, 10, QLatin1Char('0'));
    return s >= 86400 ? QStringLiteral("%1d %2").arg(s / 86400).arg(clock) : clock;
}
