#include "serial/ReportFramer.h"

#include "measurement/CounterReport.h"

#include <algorithm>
#include <vector>

namespace serial {

namespace {

using measurement::kReportLength;
using measurement::kReportMarker;

// The most bytes that may stand ahead of a report whatever their values.
constexpr qsizetype kMaxStrayRun = kReportLength - 1;

// Where a reading of the bytes stands between two items.
enum State : int {
    Boundary,     // at the start, or after a whole report
    AfterGarbage, // after bytes ahead of a report: a report follows
    AfterCut,     // after a report cut short: a whole one follows, or the line goes quiet
    AfterLateCut, // after a cut that followed garbage or another cut: a whole one follows
    Adrift,       // at a place not known to be a boundary: the rest of an item may come first
    StateCount
};

// Every reading of a run of bytes: sequences of items (whole reports, cut
// reports, garbage) that the line's faults allow. Positions are item
// boundaries; a reading is a path from the start to the end through them.
class Readings
{
public:
    Readings(const QByteArray& bytes, bool adrift, bool burstEnded)
        : m_bytes(bytes)
        , m_size(bytes.size())
        , m_burstEnded(burstEnded)
        , m_nextMarker(size_t(m_size) + 1, m_size)
        , m_reached(nodeCount(), 0)
        , m_live(nodeCount(), 0)
    {
        for (qsizetype i = m_size - 1; i >= 0; --i)
            m_nextMarker[size_t(i)] = isMarker(i) ? i : m_nextMarker[size_t(i) + 1];
        findReachable(adrift ? Adrift : Boundary);
        findLive();
    }

    bool any() const { return m_live[node(0, m_start)]; }

    // Starts of the whole reports that every reading has, in order.
    QList<qsizetype> sharedReports() const
    {
        // A reading covers each byte with exactly one item, so a report is
        // shared when the only items of any reading over its first byte are
        // that report itself.
        std::vector<int> othersOver(size_t(m_size) + 1, 0);
        std::vector<char> reportAt(size_t(m_size), 0);
        for (qsizetype i = 0; i < m_size; ++i) {
            for (int s = 0; s < StateCount; ++s) {
                if (!m_reached[node(i, State(s))])
                    continue;
                forEachItem(i, State(s), [&](qsizetype end, State next, bool whole) {
                    if (!m_live[node(end, next)])
                        return;
                    if (whole)
                        reportAt[size_t(i)] = 1;
                    ++othersOver[size_t(whole ? i + 1 : i)];
                    --othersOver[size_t(end)];
                });
            }
        }
        QList<qsizetype> starts;
        int over = 0;
        for (qsizetype i = 0; i < m_size; ++i) {
            over += othersOver[size_t(i)];
            if (reportAt[size_t(i)] && over == 0)
                starts.append(i);
        }
        return starts;
    }

private:
    size_t nodeCount() const { return size_t(m_size + 1) * StateCount; }
    static size_t node(qsizetype position, State state) { return size_t(position) * StateCount + state; }
    bool isMarker(qsizetype i) const { return quint8(m_bytes[i]) == kReportMarker; }

    bool isFinal(State state) const
    {
        // While the burst goes on, any reading of the bytes so far may still
        // be completed; once the line is quiet, the last item must be a whole
        // report or a report cut short.
        return !m_burstEnded || state == Boundary || state == AfterCut || state == Adrift;
    }

    // Calls visit(end, stateAtEnd, isWholeReport) for each item that may start
    // at byte `i` in state `s`.
    template <typename Visit>
    void forEachItem(qsizetype i, State s, Visit&& visit) const
    {
        const bool marker = isMarker(i);
        if (marker && i + kReportLength <= m_size)
            visit(i + kReportLength, Boundary, true);
        if (s == Adrift) {
            // The rest of a report or of garbage already under way.
            for (qsizetype end = i + 1; end <= std::min(i + kMaxStrayRun, m_size); ++end)
                visit(end, Boundary, false);
        } else if (s != Boundary && !marker) {
            return; // a cut report is followed by a whole one, garbage by a report
        }
        // A cut report and garbage are followed by a report, so they can only
        // end where a marker is, or at the newest byte.
        const State afterCut = s == Boundary || s == Adrift ? AfterCut : AfterLateCut;
        const bool garbage = s == Boundary || s == Adrift;
        const qsizetype last = std::min(i + kMaxStrayRun, m_size);
        for (qsizetype end = m_nextMarker[size_t(i) + 1]; end <= last; end = m_nextMarker[size_t(end) + 1]) {
            if (marker)
                visit(end, afterCut, false);
            // Up to 11 bytes of garbage of any value end here; at the newest
            // byte only while more may follow.
            if (garbage && (end < m_size || !m_burstEnded))
                visit(end, AfterGarbage, false);
            if (end == m_size)
                break;
        }
        // Or any number of bytes without a marker.
        const qsizetype marked = m_nextMarker[size_t(i)];
        if (garbage && !marker && marked > last && (marked < m_size || !m_burstEnded))
            visit(marked, AfterGarbage, false);
    }

    void findReachable(State start)
    {
        m_start = start;
        m_reached[node(0, start)] = 1;
        for (qsizetype i = 0; i < m_size; ++i)
            for (int s = 0; s < StateCount; ++s)
                if (m_reached[node(i, State(s))])
                    forEachItem(i, State(s), [&](qsizetype end, State next, bool) { m_reached[node(end, next)] = 1; });
    }

    void findLive()
    {
        for (int s = 0; s < StateCount; ++s)
            m_live[node(m_size, State(s))] = isFinal(State(s));
        for (qsizetype i = m_size - 1; i >= 0; --i) {
            for (int s = 0; s < StateCount; ++s) {
                char live = 0;
                forEachItem(i, State(s), [&](qsizetype end, State next, bool) { live |= m_live[node(end, next)]; });
                m_live[node(i, State(s))] = live;
            }
        }
    }

    const QByteArray& m_bytes;
    const qsizetype m_size;
    const bool m_burstEnded;
    State m_start = Boundary;
    std::vector<qsizetype> m_nextMarker; // first marker at or after each byte
    std::vector<char> m_reached;         // some reading gets here from the start
    std::vector<char> m_live;            // some reading goes on from here to the end
};

} // namespace

QList<ReportFramer::Piece> ReportFramer::feed(const QByteArray& bytes)
{
    // A line in step brings whole reports with no marker but their first
    // byte: at a boundary the only reading of each is that report, so they
    // settle without the search through every reading.
    if (settled() && !bytes.isEmpty() && bytes.size() % kReportLength == 0) {
        QList<Piece> reports;
        for (qsizetype at = 0; at < bytes.size(); at += kReportLength) {
            const QByteArrayView report = QByteArrayView(bytes).sliced(at, kReportLength);
            if (quint8(report.front()) != kReportMarker || report.sliced(1).contains(char(kReportMarker)))
                break;
            reports.append({Piece::Report, bytes.size() == kReportLength ? bytes : bytes.sliced(at, kReportLength)});
        }
        if (reports.size() * kReportLength == bytes.size())
            return reports;
    }
    m_undecided += bytes;
    return settle(false);
}

QList<ReportFramer::Piece> ReportFramer::endOfBurst()
{
    return settle(true);
}

QList<ReportFramer::Piece> ReportFramer::settle(bool burstEnded)
{
    QList<Piece> settled;
    const auto reject = [&](qsizetype count) {
        if (count > 0)
            settled.append({Piece::Rejected, m_undecided.first(count)});
        m_undecided.remove(0, count);
    };

    Readings readings(m_undecided, m_adrift, burstEnded);
    if (!readings.any()) {
        // The line broke its own rules. After a quiet line nothing of it can
        // be trusted; within a burst, look again from the last report length.
        if (burstEnded) {
            reject(m_undecided.size());
            m_adrift = false;
            return settled;
        }
        reject(std::max<qsizetype>(1, m_undecided.size() - kReportLength));
        m_adrift = true;
        return settled + settle(false);
    }

    qsizetype taken = 0;
    for (const qsizetype start : readings.sharedReports()) {
        if (start > taken)
            settled.append({Piece::Rejected, m_undecided.sliced(taken, start - taken)});
        settled.append({Piece::Report, m_undecided.sliced(start, kReportLength)});
        taken = start + kReportLength;
    }
    m_undecided.remove(0, taken);
    if (taken > 0)
        m_adrift = false;

    if (burstEnded) {
        reject(m_undecided.size()); // whatever no reading agrees on
        m_adrift = false;           // the next byte starts a burst
    } else if (m_undecided.size() > kMaxUndecided) {
        reject(m_undecided.size() - kReportLength);
        m_adrift = true;
    }
    return settled;
}

std::chrono::milliseconds quietLineTime(qint32 baudRate)
{
    using namespace std::chrono;
    constexpr milliseconds kAdapterLatency{16};
    constexpr milliseconds kFloor{32};
    constexpr qint64 kBitsPerByte = 10; // start, 8 data, stop
    const qint64 threeReportsMs = (3 * kReportLength * kBitsPerByte * 1000 + baudRate - 1) / std::max(baudRate, 1);
    return std::max(kFloor, kAdapterLatency + milliseconds(threeReportsMs));
}

} // namespace serial
