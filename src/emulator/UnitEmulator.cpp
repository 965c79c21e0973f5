#include "emulator/UnitEmulator.h"

#include "emulator/CounterReportEncoding.h"
#include "emulator/LineEnd.h"

#include <QDateTime>
#include <QMetaMethod>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>
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
// Float sums on the line's clock may pass the send delay by a hair; no transmission is lost for that.
constexpr double kQueueSlackSeconds = 1e-9;

} // namespace

UnitEmulator::UnitEmulator(LineEnd& line, const EmulatorSettings& settings, QObject* parent)
    : QObject(parent)
    , m_line(line)
    , m_settings(settings)
{
    m_settings.intervalMs = std::max(1, settings.intervalMs);
    m_settings.intervalMaxMs = std::max(m_settings.intervalMs, settings.intervalMaxMs);
    m_intervalMs = m_settings.intervalMs;
    m_settings.baudRate = std::max(1, settings.baudRate);
    m_settings.pieces = std::clamp(settings.pieces, 1, kMaxPieces);
    m_settings.sendDelayMs = std::clamp(settings.sendDelayMs, 0, kMaxSendDelayMs);
    std::seed_seq seed{settings.seed, 0x6761u}; // garbage draws apart from the link's
    m_garbageRandom.seed(seed);
    std::seed_seq intervalSeed{settings.seed, 0x696eu};
    m_intervalRandom.seed(intervalSeed);
    std::seed_seq delaySeed{settings.seed, 0x646cu};
    m_delayRandom.seed(delaySeed);
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &UnitEmulator::onTimer);
    m_secondTimer.setSingleShot(true);
    m_secondTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_secondTimer, &QTimer::timeout, this, &UnitEmulator::onSecondTimer);
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
    if (!m_clock.isValid()) {
        m_clock.start();
        m_startUtcMs = QDateTime::currentMSecsSinceEpoch();
        m_run.emplace(m_settings, m_startUtcMs);
    }
    m_running = true;
    m_nextDue = elapsedSeconds() + nextIntervalSeconds();
    m_timer.start(m_intervalMs);
    scheduleSecondTimer();
}

void UnitEmulator::stop()
{
    stopAt(elapsedSeconds());
}

// The link's run ends at `lineSeconds`, as far as the truth goes.
void UnitEmulator::stopAt(double lineSeconds)
{
    if (!m_running)
        return;
    m_running = false;
    m_timer.stop();
    m_secondTimer.stop();
    // A unit switched off in the middle of a transmission never finishes it, nor sends what waits.
    m_pieces.clear();
    m_queued.clear();
    m_queueFree = 0;
    m_run->advanceTo(utcMsAt(lineSeconds));
    handOnCompleteTruth();
}

void UnitEmulator::onSecondTimer()
{
    if (!m_running)
        return;
    // To the last second passed, but not beyond a report still due: it carries its own moment's counts.
    const qint64 until = std::min(utcMsAt(elapsedSeconds()), utcMsAt(m_nextDue));
    m_run->advanceTo(until - until % 1000);
    handOnCompleteTruth();
    scheduleSecondTimer();
}

void UnitEmulator::scheduleSecondTimer()
{
    // Only for whoever takes the seconds as they end: otherwise no wake-up a second.
    if (!isSignalConnected(QMetaMethod::fromSignal(&UnitEmulator::secondsCompleted)))
        return;
    const qint64 nowMs = utcMsAt(elapsedSeconds());
    m_secondTimer.start(int(1000 - nowMs % 1000) + 1);
}

void UnitEmulator::handOnCompleteTruth()
{
    std::vector<SecondTruth> seconds = m_run->takeCompleteTruth();
    if (!seconds.empty())
        emit secondsCompleted(seconds);
}

double UnitEmulator::nextIntervalSeconds()
{
    if (m_settings.intervalMaxMs > m_settings.intervalMs)
        m_intervalMs =
            std::uniform_int_distribution<int>(m_settings.intervalMs, m_settings.intervalMaxMs)(m_intervalRandom);
    return m_intervalMs / 1000.0;
}

qint64 UnitEmulator::utcMsAt(double lineSeconds) const
{
    return m_startUtcMs + std::llround(lineSeconds * 1000);
}

void UnitEmulator::onTimer()
{
    if (delaysSending())
        return onDelayedTimer();
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
    const double tolerance = m_settings.faults.backToBack() ? kMaxBurstCatchUpSeconds : m_intervalMs / 2000.0;
    if (now - m_nextDue > tolerance)
        m_nextDue = now;
    while (m_running && m_pieces.isEmpty() && m_nextDue <= now)
        takeSlot(m_nextDue);
    if (m_running) {
        handOnCompleteTruth();
        scheduleTimer();
    }
}

// With a send delay the counts keep to the line's clock, whatever waits to be written: slots and
// writes take their turns in the order they are due.
void UnitEmulator::onDelayedTimer()
{
    if (nextWriteSeconds() < m_nextDue || !slotMayCome())
        waitBriefly(nextWriteSeconds()); // as for a piece, a write due in a moment is slept for
    const double now = elapsedSeconds();
    const double tolerance = m_settings.faults.backToBack() ? kMaxBurstCatchUpSeconds : m_intervalMs / 2000.0;
    if (now - m_nextDue > tolerance)
        m_nextDue = now;
    while (m_running) {
        const double write = nextWriteSeconds();
        if (m_nextDue <= std::min(now, write) && slotMayCome())
            takeSlot(m_nextDue);
        else if (write <= now)
            writeNext();
        else
            break;
    }
    if (m_running) {
        handOnCompleteTruth();
        scheduleTimer();
    }
}

// Writes the next piece, of the transmission under way or of the first one queued.
void UnitEmulator::writeNext()
{
    if (m_pieces.isEmpty()) {
        m_sending = m_queued.front().bytes;
        m_queued.pop_front();
        m_pieces = splitIntoPieces(m_sending, m_settings.pieces);
    }
    writePiece();
}

// When the next piece or queued transmission may go; infinity when nothing waits. In one write a
// transmission keeps to the line's clock, so a late write does not put off the ones behind it; in
// pieces it waits for the last piece ahead of it to leave the wire.
double UnitEmulator::nextWriteSeconds() const
{
    if (!m_pieces.isEmpty())
        return m_pieceDue;
    if (m_queued.empty())
        return std::numeric_limits<double>::infinity();
    const double start = m_queued.front().startSeconds;
    return m_settings.pieces > 1 ? std::max(start, m_pieceDue) : start;
}

// Takes the counts of a transmission due at `countedAt` into the queue, behind the others.
void UnitEmulator::queueTransmission(const QByteArray& bytes, double countedAt)
{
    const double mostDelay = m_settings.sendDelayMs / 1000.0;
    const double delay = std::uniform_real_distribution<double>(0, mostDelay)(m_delayRandom);
    const double start = std::max(countedAt + delay, m_queueFree);
    if (start - countedAt > mostDelay + kQueueSlackSeconds) {
        ++m_dropped;
        return;
    }
    m_queueFree = start + wireSeconds(bytes.size());
    m_queued.push_back({bytes, start});
}

// Whether the next slot ends the run, by `count` or by a hang-up.
bool UnitEmulator::endsAtNextSlot() const
{
    const FaultPlan& faults = m_settings.faults;
    return (faults.hangUpAfter >= 0 && m_transmissions == faults.hangUpAfter)
           || (m_settings.count > 0 && m_transmissions == m_settings.count);
}

// Whether the next slot may be taken when due: one that ends the run waits for the queue to empty.
bool UnitEmulator::slotMayCome() const
{
    return !endsAtNextSlot() || lineIdle();
}

void UnitEmulator::scheduleTimer()
{
    if (delaysSending()) {
        const double now = elapsedSeconds();
        // A slot at its millisecond; a write a little early, as waitBriefly() sleeps the rest.
        double ms = slotMayCome() ? std::ceil((m_nextDue - now) * 1000) : std::numeric_limits<double>::infinity();
        ms = std::min(ms, std::floor((nextWriteSeconds() - now) * 1000) - 1);
        m_timer.start(int(std::clamp(ms, 0.0, double(std::numeric_limits<int>::max()))));
        return;
    }
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
        stopAt(lineSeconds);
        m_line.hangUp();
        emit hungUp();
        return;
    }
    if (m_settings.count > 0 && m_transmissions == m_settings.count) {
        stopAt(lineSeconds);
        emit finished();
        return;
    }

    const QByteArray bytes = nextTransmission(lineSeconds);
    ++m_transmissions;
    const bool backToBack = faults.backToBack() && m_transmissions != m_settings.count;
    m_nextDue = lineSeconds + (backToBack ? wireSeconds(bytes.size()) : nextIntervalSeconds());
    if (delaysSending())
        return queueTransmission(bytes, lineSeconds);
    m_sending = bytes;
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
    // keeps to the line's clock instead, catching up a little after a late timer.) With a send
    // delay the counts keep to the clock anyway, and the end of the run comes one interval after
    // the queue has emptied.
    if (delaysSending()) {
        if (m_queued.empty() && endsAtNextSlot())
            m_nextDue = std::max(m_nextDue, m_pieceDue + m_intervalMs / 1000.0);
    } else if (m_settings.pieces > 1) {
        m_nextDue = std::max(m_nextDue, m_pieceDue);
    }
    emit transmitted(m_sending);
}

QByteArray UnitEmulator::nextTransmission(double lineSeconds)
{
    const ReportFault fault = m_settings.faults.faultFor(m_transmissions + 1);
    QList<QByteArray> reports;
    for (int i = 0; i < reportsCarried(fault); ++i) {
        const LinkCounts linkCounts = m_run->advanceTo(utcMsAt(lineSeconds));
        const LinkCounts counts = m_settings.faults.markerCounts ? kMarkerCounts : linkCounts;
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
