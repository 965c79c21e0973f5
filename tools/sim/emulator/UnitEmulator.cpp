#include "emulator/UnitEmulator.h"

#include "emulator/CounterReportEncoding.h"
#include "emulator/LineEnd.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

namespace emulator {

namespace {

constexpr double kBitsPerByteOnWire = 10; // start bit, 8 data bits, stop bit
// After a stall of the event loop a burst catches up at most this far, so the line is not
// flooded with everything it missed.
constexpr double kMaxBurstCatchUpSeconds = 0.05;
// A piece due this soon is waited for by sleeping: a timer may wake a millisecond late, many
// bytes' time at a high baud rate, which would show as a pause on the line.
constexpr double kPieceSleepSeconds = 0.002;

} // namespace

UnitEmulator::UnitEmulator(LineEnd& line, const EmulatorSettings& settings, QObject* parent)
    : QObject(parent)
    , m_line(line)
    , m_settings(settings)
    , m_link(settings.link, settings.seed, settings.overflow)
{
    m_settings.intervalMs = std::max(1, settings.intervalMs);
    m_settings.baudRate = std::max(1, settings.baudRate);
    m_settings.pieces = std::clamp(settings.pieces, 1, kMaxPieces);
    std::seed_seq seed{settings.seed, 0x6761u}; // garbage draws apart from the link's
    m_garbageRandom.seed(seed);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &UnitEmulator::onTimer);
}

void UnitEmulator::start()
{
    if (m_running)
        return;
    if (!m_line.isOpen()) {
        emit failed(m_line.errorString());
        return;
    }
    // Started again after stop(), the link carries on where the real clock has got to.
    if (!m_clock.isValid())
        m_clock.start();
    m_running = true;
    m_nextDue = elapsedSeconds() + m_settings.intervalMs / 1000.0;
    m_timer.start(m_settings.intervalMs);
}

void UnitEmulator::stop()
{
    m_running = false;
    m_timer.stop();
    // A unit switched off in the middle of a transmission never finishes it.
    m_pieces.clear();
}

void UnitEmulator::onTimer()
{
    // The rest of a transmission in pieces goes first; nothing else comes between its pieces.
    while (m_running && !m_pieces.isEmpty()) {
        if (!waitBriefly(m_pieceDue))
            return scheduleTimer();
        writePiece();
    }
    // Pieces keep the line's pace to the byte, and so does the transmission that follows them.
    if (m_running && m_settings.pieces > 1)
        waitBriefly(m_nextDue);
    const double now = elapsedSeconds();
    // A late timer sends what was due, once; a burst may catch up a little, as bytes queue on a line.
    const double tolerance = m_settings.faults.backToBack() ? kMaxBurstCatchUpSeconds : m_settings.intervalMs / 2000.0;
    if (now - m_nextDue > tolerance)
        m_nextDue = now;
    while (m_running && m_pieces.isEmpty() && m_nextDue <= now)
        takeSlot(m_nextDue);
    if (m_running)
        scheduleTimer();
}

void UnitEmulator::scheduleTimer()
{
    const double left = (m_pieces.isEmpty() ? m_nextDue : m_pieceDue) - elapsedSeconds();
    // Qt refuses a negative interval, and a slow write can take the clock past the next slot.
    if (m_settings.pieces == 1)
        m_timer.start(std::max(0, int(std::ceil(left * 1000))));
    else // a little early: waitBriefly() sleeps the rest
        m_timer.start(std::max(0, int(left * 1000) - 1));
}

// True at `dueSeconds`, after sleeping for it if it is near; false at once if it is further off.
bool UnitEmulator::waitBriefly(double dueSeconds) const
{
    double left = dueSeconds - elapsedSeconds();
    if (left > kPieceSleepSeconds)
        return false;
    while (left > 0) {
        std::this_thread::sleep_for(std::chrono::duration<double>(left));
        left = dueSeconds - elapsedSeconds();
    }
    return true;
}

// Sends the transmission due at `lineSeconds` and sets the next slot, or ends the run there.
void UnitEmulator::takeSlot(double lineSeconds)
{
    const FaultPlan& faults = m_settings.faults;
    if (faults.hangUpAfter >= 0 && m_transmissions == faults.hangUpAfter) {
        stop();
        m_line.hangUp();
        emit hungUp();
        return;
    }
    if (m_settings.count > 0 && m_transmissions == m_settings.count) {
        stop();
        emit finished();
        return;
    }

    m_sending = nextTransmission(lineSeconds);
    ++m_transmissions;
    const bool backToBack = faults.backToBack() && m_transmissions != m_settings.count;
    m_nextDue = lineSeconds + (backToBack ? wireSeconds(m_sending.size()) : m_settings.intervalMs / 1000.0);
    m_pieces = splitIntoPieces(m_sending, m_settings.pieces);
    writePiece();
}

// Writes the next piece of the transmission under way; after its last piece the transmission is done.
void UnitEmulator::writePiece()
{
    const QByteArray piece = m_pieces.takeFirst();
    const double writtenAt = elapsedSeconds();
    if (!m_line.write(piece)) {
        m_pieces.clear(); // the rest of a transmission the line dropped would be garbage
        if (m_line.isOpen()) {
            ++m_dropped;
        } else {
            stop();
            emit failed(m_line.errorString());
        }
        return;
    }
    m_pieceDue = writtenAt + wireSeconds(piece.size());
    if (!m_pieces.isEmpty())
        return;
    // The next transmission waits for the last piece to leave the wire. (In one write, a burst
    // keeps to the line's clock instead, catching up a little after a late timer.)
    if (m_settings.pieces > 1)
        m_nextDue = std::max(m_nextDue, m_pieceDue);
    emit transmitted(m_sending);
}

QByteArray UnitEmulator::nextTransmission(double lineSeconds)
{
    const ReportFault fault = m_settings.faults.faultFor(m_transmissions + 1);
    QList<QByteArray> reports;
    for (int i = 0; i < reportsCarried(fault); ++i) {
        if (lineSeconds > m_linkSeconds) {
            m_link.advance(lineSeconds - m_linkSeconds);
            m_linkSeconds = lineSeconds;
        }
        const LinkCounts counts = m_settings.faults.markerCounts ? kMarkerCounts : m_link.counts();
        reports.append(encodeReport(counts, quint8(++m_reports)));
        lineSeconds += wireSeconds(kReportSize); // a report that follows leaves the unit later
    }
    return shapeTransmission(fault, reports, m_garbageRandom);
}

double UnitEmulator::wireSeconds(qsizetype bytes) const
{
    return double(bytes) * kBitsPerByteOnWire / m_settings.baudRate;
}

double UnitEmulator::elapsedSeconds() const
{
    return double(m_clock.nsecsElapsed()) / 1e9;
}

} // namespace emulator
