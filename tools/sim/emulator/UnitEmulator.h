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
    int baudRate = 9600;   // paces bursts and pieces: 10 bits a byte on the wire; at least 1
    int intervalMs = 1000; // at least 1
    LinkRates link;
    CountOverflow overflow = CountOverflow::RestartPeriod;
    FaultPlan faults;
    int pieces = 1; // writes a transmission takes, 1 to kMaxPieces, paced at the line's rate
    int count = 0;  // transmissions before the unit stops; 0: no end
    quint32 seed = 1;
};

// The unit under test: it runs the link test and sends a counter report every interval, or,
// in a burst, one report after the other as fast as the line carries them.
//
// Each report carries the counts at the moment it was due on the line's clock, which follows the
// real one: in a steady run, report n counts n × interval × frame rate frames sent, until a count
// would pass 65535 and a new test period begins (see LinkModel). Byte 11 of report n is n modulo
// 256, which tells reports apart. The first report comes one interval after start().
//
// A transmission in pieces goes out as it would from a UART fed in parts: each piece is written
// once the one before has had its wire time, and no other transmission comes between them.
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
    // A whole transmission went out, all its pieces.
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
    void writePiece();
    bool waitBriefly(double dueSeconds) const;
    void scheduleTimer();
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
    double m_linkSeconds = 0;   // how far the link model has run
    double m_nextDue = 0;       // when the next transmission or hang-up is due
    QByteArray m_sending;       // the transmission whose pieces are going out
    QList<QByteArray> m_pieces; // its pieces not written yet
    double m_pieceDue = 0;      // when the first of them may go
    int m_transmissions = 0;
    int m_reports = 0;
    int m_dropped = 0;
};

} // namespace emulator
