#include "StatusLine.h"

#include "recording/CsvFile.h"

#include <sys/ioctl.h>
#include <unistd.h>

namespace {

// Columns of the terminal on standard error; 0 when it does not say.
int terminalWidth()
{
    winsize size{};
    return ::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 ? size.ws_col : 0;
}

} // namespace

StatusLine::StatusLine(bool enabled)
    : m_enabled(enabled)
    , m_terminal(::isatty(STDERR_FILENO) == 1)
{
}

void StatusLine::show(const std::function<QStringList()>& parts, bool force)
{
    if (!m_enabled)
        return;
    const qint64 spacing = m_terminal ? 250 : 10'000;
    if (!force && m_sinceShown.isValid() && m_sinceShown.elapsed() < spacing)
        return;
    m_sinceShown.start();
    if (!m_terminal) {
        writeWhole(STDERR_FILENO, fittedLine(parts(), 0).toLocal8Bit() + '\n');
        return;
    }
    // One column left free: a line that fills the last one wraps on some terminals.
    const QString text = fittedLine(parts(), std::max(0, terminalWidth() - 1));
    // Carriage return and erase to the end of the line: one line, rewritten.
    writeWhole(STDERR_FILENO, "\r" + text.toLocal8Bit() + "\x1b[K");
    m_pending = true;
}

void StatusLine::finish()
{
    if (m_pending)
        writeWhole(STDERR_FILENO, "\n");
    m_pending = false;
}

QString fittedLine(const QStringList& parts, int width)
{
    QString line;
    for (const QString& part : parts) {
        const qsizetype grown = line.size() + (line.isEmpty() ? 0 : 2) + part.size();
        if (width > 0 && grown > width)
            continue;
        line += (line.isEmpty() ? QString() : QStringLiteral("  ")) + part;
    }
    return line;
}
