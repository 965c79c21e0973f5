#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

// The longest line a recording may hold. The recorder's longest rows (a
// `stopped` row with every figure, an `unframed` row) take well under 2 KiB;
// a longer line is no row of this program, and reading stops there rather
// than hold it.
inline constexpr qsizetype kMaxLineBytes = 64 * 1024;

// Cuts the pieces a recording is read in into lines, holding at most
// kMaxLineBytes of a line whose end has not come yet.
class LineSplitter
{
public:
    // Hands each line that `piece` ends to `take`, without its newline, the
    // start carried over from the pieces before; a false from `take` stops.
    // False when stopped, or when a line grew too long (tooLong()).
    bool add(QByteArrayView piece, const std::function<bool(const QByteArray& line)>& take);
    // The start of a line whose end has not come.
    const QByteArray& pending() const { return m_pending; }
    bool tooLong() const { return m_tooLong; }

private:
    QByteArray m_pending;
    bool m_tooLong = false;
};
