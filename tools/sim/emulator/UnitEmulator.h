#pragma once

#include "emulator/Faults.h"
#include "emulator/LinkModel.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <random>

namespace emulator {

class LineEnd;

struct EmulatorSettings
{
    int baudRate = 9600;  // paces bursts: 10 bits a byte on the wire; at least 1
    int intervalMs = 1000;  // at least 1
    LinkRates link;
    FaultPlan faults;
    int count = 0;        // transmissions before the unit stops; 0: no end
    quint32 seed = 1;
};

// The unit under test: it runs the link test and sends a counter report every interval, or,
// in a burst, one report after the other as fast as the line carries them.
//
// Each report carries the counts at the moment it was due on the line's clock, which follows the
// real one: in a steady run, report n counts n × interval × frame rate frames sent. Byte 11 of
// report n is n modulo 256, which tells reports apart. The first report comes one interval after
// start().
class UnitEmulator : public QObject
{
    Q_OBJECT

public:
    // `line` must outlive the emulator.
    UnitEmulator(LineEnd& line, const EmulatorSettings& settings, QObject* parent = nullptr);

    void start();
    // Stops sending; the line stays as it is.
    void stop();
    bool isRunning() const { return m_running; }

    int transmissions() const { return m_transmissions; }
    // Transmissions the line did not take in full (a pseudo-terminal that nobody reads).
    int droppedTransmissions() const { return m_dropped; }

signals:
    void transmitted(const QByteArray& bytes);
    // The hang-up fault took the line away; the emulator has stopped.
    void hungUp();
    // All `count` transmissions went out, and one interval more passed for the reader to take the
    // last; the emulator has stopped.
    void finished();
    // The line failed for good; the emulator has stopped.
    void failed(const QString& message);

private:
    void onTimer();
    void takeSlot(double lineSeconds);
    QByteArray nextTransmission(double lineSeconds);
    double wireSeconds(qsizetype bytes) const;
    double elapsedSeconds() const;

    LineEnd& m_line;
    EmulatorSettings m_settings;
    LinkModel m_link;
    std::mt19937 m_garbageRandom;
    QTimer m_timer;
    QElapsedTimer m_clock;
    bool m_running = false;
    double m_linkSeconds = 0;  // how far the link model has run
    double m_nextDue = 0;      // when the next transmission or hang-up is due
    int m_transmissions = 0;
    int m_reports = 0;
    int m_dropped = 0;
};

} // namespace emulator
