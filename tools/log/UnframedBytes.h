#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <optional>

// Bytes of the line that belong to no whole report, gathered for the record:
// a noisy line makes at most one `unframed` row a second, each saying since
// when, how many bytes and the first of them in hex.
class UnframedBytes
{
public:
    static constexpr qsizetype kShownBytes = 36;
    static constexpr qint64 kRowSpacingMs = 1000;

    // Takes bytes released at `now`. True when a row is due at once; else the
    // row waits for rowDueInMs().
    bool add(const QByteArray& bytes, const QDateTime& now);
    // The gathered bytes as a row's detail, and starts a new gathering; none
    // when nothing is gathered.
    std::optional<QString> takeRow(const QDateTime& now);
    // How long until the gathered bytes may make a row.
    qint64 rowDueInMs(const QDateTime& now) const;

    quint64 total() const { return m_total; }

private:
    quint64 m_total = 0;
    QDateTime m_since; // when the gathered bytes began; invalid when none
    quint64 m_gathered = 0;
    QByteArray m_head; // the first kShownBytes of them
    QDateTime m_lastRow;
};
