// The report framer against lines within its fault model. The input describes
// a line: reports with chosen counts (markers inside them are likely), the
// faults the line may add, how the bytes are cut into pieces, and quiet
// lines. The harness builds the bytes, feeds them to the framer in those
// pieces with endOfBurst at each quiet line, and aborts with a transcript of
// the line when
//  - a report is yielded where none was sent whole;
//  - the pieces yielded, put together, are not the bytes fed: a prefix of
//    them while the burst goes on, all of them at a quiet line;
//  - a burst ends in a whole report with no marker in bytes 1 to 11 and that
//    report has not been yielded at the quiet line;
//  - a burst that follows a quiet line starts with such a report and it is
//    not yielded as soon as its last byte is fed.
//
// Input layout, read from the front; bytes past the end read as 0:
//   byte 0   bit 0: the line is first heard in the middle of a report (the
//            framer starts adrift); bits 1-7: the piece size, as in op 6
//   byte 1   when adrift, the line starts with the last 1 + n % 11 bytes of a
//            report
//   then steps: an op byte, op % 8, and its operands
//     0, 1  a whole report: k and 11 count bytes (see report())
//     2     n, then 1 + n % 11 bytes of any value ahead of the next report
//     3     n and 4 pattern bytes: 12 + n bytes without a marker ahead of the
//           next report, the pattern over and over
//     4     n, then a report as in 0 of which only the first 1 + n % 11 bytes
//           are sent
//     5     the line goes quiet
//     6     n: from now on bytes are fed in pieces of n bytes, or a whole
//           burst at once for n = 0
//     7     what is not yet fed is fed now, as one piece
// A step the fault model does not allow where it stands (bytes ahead of bytes
// ahead, or right after a cut report) is left out; where the model owes a
// whole report before the line may go quiet, a plain one is sent first.

#include "measurement/CounterReport.h"
#include "serial/ReportFramer.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <vector>

namespace {

using serial::ReportFramer;

constexpr qsizetype kReportLength = measurement::kReportLength;
constexpr char kMarker = char(measurement::kReportMarker);

std::string hexBytes(const QByteArray& bytes)
{
    if (bytes.size() <= 48)
        return bytes.toHex(' ').toUpper().toStdString();
    return bytes.first(24).toHex(' ').toUpper().toStdString() + " ... "
           + bytes.last(12).toHex(' ').toUpper().toStdString() + " (" + std::to_string(bytes.size()) + " bytes)";
}

bool hasInnerMarker(const QByteArray& report)
{
    return report.indexOf(kMarker, 1) >= 0;
}

class Input
{
public:
    Input(const uint8_t* data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }
    bool atEnd() const { return m_at >= m_size; }
    quint8 next() { return m_at < m_size ? m_data[m_at++] : 0; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_at = 0;
};

// A report whose counts come from the input: k < 0x60 puts no marker into
// them by itself, 0x60-0xBF one at byte 1 + k % 11, from 0xC0 a second one at
// byte 1 + k / 11 % 11; then the 11 bytes as they are.
QByteArray report(Input& in)
{
    const quint8 k = in.next();
    QByteArray bytes(1, kMarker);
    for (int i = 0; i < 11; ++i)
        bytes += char(in.next());
    if (k >= 0x60)
        bytes[1 + k % 11] = kMarker;
    if (k >= 0xC0)
        bytes[1 + k / 11 % 11] = kMarker;
    return bytes;
}

// Sent where the model owes a whole report and the input gives none.
const QByteArray kPlainReport = QByteArray::fromHex("F1000100000000000000002A");

class Line
{
public:
    Line(bool adrift, qsizetype pieceSize)
        : m_pieceSize(pieceSize)
    {
        // A new framer starts adrift; a quiet line puts it at a boundary.
        if (!adrift)
            m_framer.endOfBurst();
        m_afterQuiet = !adrift;
    }

    void whole(const QByteArray& bytes)
    {
        if (m_afterQuiet && m_items.empty() && !hasInnerMarker(bytes))
            m_promptAt = end();
        m_wholeAt.insert(end());
        add(Whole, bytes);
    }

    void cut(const QByteArray& bytes) { add(m_next == Any ? CutMayEnd : CutOwing, bytes); }

    // Bytes ahead of the next report; refused where the model has none.
    void ahead(const QByteArray& bytes)
    {
        if (m_next == Any)
            add(Ahead, bytes);
    }

    // The rest of an item already under way when the line is first heard.
    void tail(const QByteArray& bytes)
    {
        m_pending += bytes;
        log("rest of a report", end() - bytes.size(), bytes);
    }

    void setPieceSize(qsizetype size)
    {
        m_pieceSize = size;
        feedWhole();
    }

    void feedPending()
    {
        if (!m_pending.isEmpty())
            feed(std::exchange(m_pending, {}));
    }

    void quiet()
    {
        if (m_next != Any && m_next != WholeOrQuiet)
            whole(kPlainReport);
        feedPending();
        log("quiet line", end());
        take(m_framer.endOfBurst());
        if (m_taken != m_fed.size())
            violated("at a quiet line " + std::to_string(m_fed.size() - m_taken) + " bytes fed were not yielded");
        if (!m_items.empty() && m_items.back().kind == Whole && !hasInnerMarker(m_items.back().bytes)
            && !m_yieldedAt.contains(m_items.back().at))
            violated("the burst ended in the whole report at " + std::to_string(m_items.back().at)
                     + ", which holds no marker after its first byte, yet it was not yielded");
        m_items.clear();
        m_next = Any;
        m_afterQuiet = true;
        m_promptAt = -1;
    }

private:
    enum Kind { Whole, CutMayEnd, CutOwing, Ahead };
    // What the fault model lets come next.
    enum Next {
        Any,          // at the start of a burst, or after a whole report
        WholeOrQuiet, // after a cut report: a whole one, another cut one, or a quiet line
        ReportOwed,   // after bytes ahead of a report, or a cut after a fault: a report follows
    };
    struct Item
    {
        Kind kind;
        qsizetype at;
        QByteArray bytes;
    };

    qsizetype end() const { return m_fed.size() + m_pending.size(); }

    void add(Kind kind, const QByteArray& bytes)
    {
        static const char* const names[] = {"whole report", "cut report", "cut report", "bytes ahead"};
        log(names[kind], end(), bytes);
        m_items.push_back({kind, end(), bytes});
        m_pending += bytes;
        switch (kind) {
        case Whole:
            m_next = Any;
            break;
        case CutMayEnd:
            m_next = WholeOrQuiet;
            break;
        case CutOwing:
        case Ahead:
            m_next = ReportOwed;
            break;
        }
        feedWhole();
    }

    // Feeds every whole piece of the pending bytes.
    void feedWhole()
    {
        while (m_pieceSize > 0 && m_pending.size() >= m_pieceSize) {
            feed(m_pending.first(m_pieceSize));
            m_pending.remove(0, m_pieceSize);
        }
    }

    void feed(const QByteArray& bytes)
    {
        log("  fed", m_fed.size(), bytes);
        m_fed += bytes;
        take(m_framer.feed(bytes));
        if (m_promptAt >= 0 && m_fed.size() >= m_promptAt + kReportLength) {
            if (!m_yieldedAt.contains(m_promptAt))
                violated("the report at " + std::to_string(m_promptAt)
                         + " starts its burst and holds no marker after its first byte, yet it was not yielded "
                           "once complete");
            m_promptAt = -1;
        }
    }

    void take(const QList<ReportFramer::Piece>& pieces)
    {
        for (const ReportFramer::Piece& piece : pieces) {
            const bool isReport = piece.kind == ReportFramer::Piece::Report;
            log(isReport ? "    yielded report" : "    yielded rejected", m_taken, piece.bytes);
            if (piece.bytes.isEmpty())
                violated("an empty piece was yielded");
            if (m_taken + piece.bytes.size() > m_fed.size() || m_fed.sliced(m_taken, piece.bytes.size()) != piece.bytes)
                violated("the pieces yielded are not the bytes fed, from byte " + std::to_string(m_taken));
            if (isReport) {
                if (piece.bytes.size() != kReportLength || !m_wholeAt.contains(m_taken))
                    violated("a report was yielded at byte " + std::to_string(m_taken)
                             + ", where no report was sent whole");
                m_yieldedAt.insert(m_taken);
            }
            m_taken += piece.bytes.size();
        }
    }

    // Kept as it happens, written out only when an invariant fails.
    struct LogEntry
    {
        const char* what;
        qsizetype at;
        QByteArray bytes;
    };
    void log(const char* what, qsizetype at, const QByteArray& bytes = {}) { m_log.push_back({what, at, bytes}); }

    [[noreturn]] void violated(const std::string& what) const
    {
        std::fprintf(stderr, "\nThe line, as sent and fed:\n");
        for (const LogEntry& entry : m_log)
            std::fprintf(stderr, "  %s at byte %lld%s%s\n", entry.what, static_cast<long long>(entry.at),
                         entry.bytes.isEmpty() ? "" : ": ", entry.bytes.isEmpty() ? "" : hexBytes(entry.bytes).c_str());
        std::fprintf(stderr, "\n*** framer invariant violated: %s\n", what.c_str());
        std::fflush(stderr);
        std::abort();
    }

    ReportFramer m_framer;
    qsizetype m_pieceSize;
    QByteArray m_fed;              // every byte fed
    QByteArray m_pending;          // sent, not yet fed
    qsizetype m_taken = 0;         // bytes yielded, reports and rejected together
    std::set<qsizetype> m_wholeAt; // where whole reports start
    std::set<qsizetype> m_yieldedAt;
    std::vector<Item> m_items; // of the current burst
    Next m_next = Any;
    bool m_afterQuiet = true;
    qsizetype m_promptAt = -1; // a report to be yielded as soon as it is complete
    std::vector<LogEntry> m_log;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in(data, size);
    const quint8 head = in.next();
    const quint8 tailLength = in.next();
    const bool adrift = head & 1;
    Line line(adrift, head >> 1);
    if (adrift)
        line.tail(kPlainReport.last(1 + tailLength % 11));

    while (!in.atEnd()) {
        const quint8 op = in.next();
        switch (op % 8) {
        case 0:
        case 1:
            line.whole(report(in));
            break;
        case 2: {
            const int length = 1 + in.next() % 11;
            QByteArray bytes;
            for (int i = 0; i < length; ++i)
                bytes += char(in.next());
            line.ahead(bytes);
            break;
        }
        case 3: {
            const qsizetype length = kReportLength + qsizetype(in.next());
            QByteArray pattern;
            for (int i = 0; i < 4; ++i) {
                const quint8 b = in.next();
                pattern += char(b) == kMarker ? char(0x71) : char(b);
            }
            QByteArray bytes;
            while (bytes.size() < length)
                bytes += pattern;
            line.ahead(bytes);
            break;
        }
        case 4: {
            const int length = 1 + in.next() % 11;
            line.cut(report(in).first(length));
            break;
        }
        case 5:
            line.quiet();
            break;
        case 6:
            line.setPieceSize(in.next());
            break;
        case 7:
            line.feedPending();
            break;
        }
    }
    line.quiet();
    return 0;
}
