#include "emulator/UnitEmulator.h"

#include "emulator/CounterReportEncoding.h"
#include "emulator/LineEnd.h"

#include <algorithm>
#include <cmath>

namespace emulator {

namespace {

constexpr double BitsPerByteOnWire = 10;  // start bit, 8 data bits, stop bit
// After a stall of the event loop a burst catches up at most this far, so the line is not
// flooded with everything it missed.
constexpr double MaxBurstCatchUpSeconds = 0.05;

} // namespace

UnitEmulator::UnitEmulator(LineEnd& line, const EmulatorSettings& settings, QObject* parent)
    : QObject(parent)
    , m_line(line)
    , m_settings(settings)
    , m_link(settings.link, settings.seed)
{
    m_settings.intervalMs = std::max(1, settings.intervalMs);
    m_settings.baudRate = std::max(1, settings.baudRate);
    std::seed_seq seed { settings.seed, 0x6761u };  // garbage draws apart from the link's
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
}

void UnitEmulator::onTimer()
{
    const double now = elapsedSeconds();
    // A late timer sends what was due, once; a burst may catch up a little, as bytes queue on a line.
    const double tolerance = m_settings.faults.burst ? MaxBurstCatchUpSeconds : m_settings.intervalMs / 2000.0;
    if (now - m_nextDue > tolerance)
        m_nextDue = now;
    while (m_running && m_nextDue <= now)
        takeSlot(m_nextDue);
    // A slow write can take the clock past the next slot; Qt refuses a negative interval.
    if (m_running)
        m_timer.start(std::max(0, int(std::ceil((m_nextDue - elapsedSeconds()) * 1000))));
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

    const QByteArray bytes = nextTransmission(lineSeconds);
    ++m_transmissions;
    const bool backToBack = faults.burst && m_transmissions != m_settings.count;
    m_nextDue = lineSeconds + (backToBack ? wireSeconds(bytes.size()) : m_settings.intervalMs / 1000.0);
    if (m_line.write(bytes)) {
        emit transmitted(bytes);
    } else if (m_line.isOpen()) {
        ++m_dropped;
    } else {
        stop();
        emit failed(m_line.errorString());
    }
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
        reports.append(encodeReport(m_link.counts(), quint8(++m_reports)));
        lineSeconds += wireSeconds(ReportSize);  // a report that follows leaves the unit later
    }
    return shapeTransmission(fault, reports, m_garbageRandom);
}

double UnitEmulator::wireSeconds(qsizetype bytes) const
{
    return double(bytes) * BitsPerByteOnWire / m_settings.baudRate;
}

double UnitEmulator::elapsedSeconds() const
{
    return double(m_clock.nsecsElapsed()) / 1e9;
}

} // namespace emulator
