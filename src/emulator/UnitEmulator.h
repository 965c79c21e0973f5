#pragma once

#include "emulator/EmulatorSettings.h"
#include "emulator/LinkRun.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <deque>
#include <optional>
#include <random>
#include <vector>

namespace emulator {

class LineEnd;

// The unit under test: it runs the link test and sends a counter report every interval, or,
// in a burst, one report after the other as fast as the line carries them.
//
// Each report carries the counts at the moment it was due on the line's clock, which follows the
// real one: in a steady run, report n counts n × interval × frame rate frames sent, until a count
// would pass 65535 and a new test period begins (see LinkModel). Byte 11 of report n is n modulo
// 256, which tells reports apart. The first report comes one interval after start().
//
// The link runs along UTC time (a LinkRun): the line's clock starts with the first start() at the
// system's time then, and a report due `s` seconds on it is at that time + s, to the millisecond.
// The run goes on to each UTC second as it passes, so the truth of each second comes soon after it
// ends (never past a report that is still due, which carries the counts of its own moment).
//
// A transmission in pieces goes out as it would from a UART fed in parts: each piece is written
// once the one before has had its wire time, and no other transmission comes between them.
//
// With a send delay the counts are still taken at each report's own moment, and so is the truth;
// only the transmission leaves later, a time drawn evenly from 0 to the delay, as a USB serial
// adapter's latency timer holds the bytes. Transmissions queue in order on the line's clock: one
// that is due while the one ahead of it is waiting or on the wire follows it once its wire time
// has passed. One that would wait longer than the delay behind the others (reports due faster than
// the line carries them) is lost, as from an adapter whose buffer is full. A run that ends with
// `count` or a hang-up waits for the queue to empty, then one interval more.
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

    // The link's run, from the first start() on.
    const LinkRun* linkRun() const { return m_run ? &*m_run : nullptr; }

    int transmissions() const { return m_transmissions; }
    // Transmissions the line did not take in full (a pseudo-terminal that nobody reads), or lost
    // behind too many that were waiting for their send delay.
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
    // UTC seconds of the link's run that have ended, in order, each once. The one under way when
    // the emulator stops stays in linkRun()->truth().
    void secondsCompleted(const std::vector<emulator::SecondTruth>& seconds);

private:
    // A queued transmission: its bytes, and when it leaves on the line's clock.
    struct Queued
    {
        QByteArray bytes;
        double startSeconds = 0;
    };

    void onTimer();
    void onDelayedTimer();
    void onSecondTimer();
    void scheduleSecondTimer();
    void stopAt(double lineSeconds);
    void handOnCompleteTruth();
    double nextIntervalSeconds();
    qint64 utcMsAt(double lineSeconds) const;
    void takeSlot(double lineSeconds);
    void writePiece();
    bool delaysSending() const { return m_settings.sendDelayMs > 0; }
    void queueTransmission(const QByteArray& bytes, double countedAt);
    void writeNext();
    double nextWriteSeconds() const;
    bool endsAtNextSlot() const;
    bool slotMayCome() const;
    bool lineIdle() const { return m_pieces.isEmpty() && m_queued.empty(); }
    bool waitBriefly(double dueSeconds) const;
    void scheduleTimer();
    QByteArray nextTransmission(double lineSeconds);
    double wireSeconds(qsizetype bytes) const;
    double elapsedSeconds() const;

    LineEnd& m_line;
    EmulatorSettings m_settings;
    std::optional<LinkRun> m_run;
    qint64 m_startUtcMs = 0; // UTC at 0 on the line's clock
    std::mt19937 m_garbageRandom;
    std::mt19937 m_intervalRandom;
    std::mt19937 m_delayRandom;
    QTimer m_timer;
    QTimer m_secondTimer; // the next UTC second
    QElapsedTimer m_clock;
    bool m_running = false;
    int m_intervalMs = 0;        // the interval drawn last
    double m_nextDue = 0;        // when the next transmission or hang-up is due
    QByteArray m_sending;        // the transmission whose pieces are going out
    QList<QByteArray> m_pieces;  // its pieces not written yet
    double m_pieceDue = 0;       // when the first of them may go
    std::deque<Queued> m_queued; // with a send delay: the transmissions not yet begun, in order
    double m_queueFree = 0;      // when the last of them is off the wire, on the line's clock
    int m_transmissions = 0;
    int m_reports = 0;
    int m_dropped = 0;
};

} // namespace emulator
