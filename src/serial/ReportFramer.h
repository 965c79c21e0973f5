#pragma once

#include <QByteArray>
#include <QList>

#include <chrono>

namespace serial {

// Finds whole counter reports in the byte stream of a serial line.
//
// A report has no length field and no check value, only the marker in its
// first byte, and the marker may also occur inside the counts. What the line
// can do to reports: bytes ahead of a report (at most 11 of any value, or any
// number without a marker), and a report cut short, after which a whole one
// may follow at once. The unit's last report before the line goes quiet is
// whole or cut, never followed by anything else.
//
// The framer keeps every reading of the bytes since the last quiet line that
// these rules allow, and yields a report only when every reading has a whole
// report at the same place: ambiguity shows nothing rather than something
// false. A report that starts after a quiet line and holds no marker in its
// other bytes is yielded as soon as it is complete; a later marker 12 bytes
// on, or the quiet line itself, settles the others.
class ReportFramer
{
public:
    struct Piece
    {
        enum Kind { Report, Rejected };
        Kind kind;
        QByteArray bytes; // a whole report, or bytes that belong to none
        friend bool operator==(const Piece&, const Piece&) = default;
    };

    // More than this many undecided bytes are an overrun: the oldest go. Only
    // counts full of markers sent back to back stay undecided that long, and
    // then nothing can be shown before the line goes quiet anyway; the bound
    // keeps the work per arrival small.
    static constexpr qsizetype kMaxUndecided = 256;

    // Takes bytes as they arrive and returns what they settle, oldest first.
    QList<Piece> feed(const QByteArray& bytes);
    // The line has gone quiet: settles everything still undecided.
    QList<Piece> endOfBurst();
    // Forgets everything: the next byte may fall anywhere in a report.
    void reset()
    {
        m_undecided.clear();
        m_adrift = true;
    }
    // Drops the undecided bytes, a half-received report included; the next
    // byte may then fall anywhere in that report.
    void dropUndecided()
    {
        if (!m_undecided.isEmpty())
            reset();
    }
    // The line is known to be at a boundary, as a device just opened with
    // nothing waiting: the next byte starts an item. A report the unit was
    // sending at that moment shows up as bytes ahead of the next report,
    // which every reading allows, so this never yields a report not sent.
    void startAtBoundary()
    {
        if (m_undecided.isEmpty())
            m_adrift = false;
    }
    // The bytes not yet settled into a report or a rejection.
    const QByteArray& undecided() const { return m_undecided; }
    // Whether a quiet line would settle nothing: no byte is undecided and the
    // next one starts an item.
    bool settled() const { return m_undecided.isEmpty() && !m_adrift; }

private:
    QList<Piece> settle(bool burstEnded);

    QByteArray m_undecided; // bytes since the last report or rejection settled
    bool m_adrift = true;   // whether they may begin inside an item
};

// How long the line must stay silent to count as quiet at this baud rate:
// longer than a USB adapter's 16 ms latency timer plus scheduling jitter, and
// than three report times, so that a byte-at-a-time UART is never mistaken
// for a pause.
std::chrono::milliseconds quietLineTime(qint32 baudRate);

} // namespace serial
