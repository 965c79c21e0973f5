#pragma once

#include "measurement/RunSettings.h"
#include "recording/LineSplitter.h"
#include "recording/RowEvents.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>

// One row of a recording as a reader gets it back. Rates that are "N/A",
// missing or too large for a double (1e999) are NaN.
struct ReadRow
{
    qint64 line = 0; // in the file, from 1
    QDateTime time;  // UTC
    // Seconds from the run's start, on a clock that never goes back; from 0
    // to kMaxElapsedSeconds, so that any span of it in milliseconds fits a qint64.
    double elapsed = 0;
    // How far `time` moved against `elapsed` since the run's row before, in
    // seconds, when the host's clock was set (or the host slept); 0 within
    // the clocks' drift and the rows' rounding (measurement::clockStepped).
    double clockStep = 0;
    QString event; // empty for a report
    quint64 recvFrames = 0;
    quint64 lossFrames = 0;
    quint64 errorFrames = 0;
    quint64 errorBits = 0;
    double ber = 0, berLoss = 0, per = 0, perLoss = 0;
    quint64 runBits = 0;
    double runBer = 0, runBerUpper = 0;
    QString detail;

    bool isReport() const { return event.isEmpty(); }
    bool is(RowEvent what) const { return event == eventName(what); }
};

// The longest run a recording may hold, some 300 years.
inline constexpr double kMaxElapsedSeconds = 1e10;

// Takes each row as it is read, with the number of its run, from 1: the
// rows from one `started` row to the next. A std::overflow_error it throws
// (the run's totals outgrow their counts) makes the recording bad at that row.
using RowSink = std::function<void(const ReadRow& row, int run)>;

// Reads a recording line by line and keeps nothing of it: each row goes to
// the sink, so that a day of reports takes no more memory than a minute.
class RecordingParser
{
public:
    // `name` is the file's name for messages.
    RecordingParser(const QString& name, RowSink sink);

    // The next whole line, without its newline. False once the recording is
    // found bad; error() then names the line.
    bool addLine(const QByteArray& line);
    // The file's last line, which ends without a newline: a recorder killed
    // mid-write leaves such a torn line, skipped with a warning if it does not
    // read as a row.
    bool addLastUnended(const QByteArray& line);
    // The next line grew past kMaxLineBytes before its end came: the
    // recording is bad there. Returns false.
    bool refuseLongLine();
    // After the last line: a recording must hold a report.
    bool finish();

    const QString& error() const { return m_error; }
    const QStringList& warnings() const { return m_warnings; }
    int runs() const { return m_runs; }
    qint64 lines() const { return m_lines; }

private:
    bool add(const QByteArray& line, bool unended);
    bool fail(qint64 line, const QString& why);
    void noteClockStep(ReadRow& row);

    QString m_name;
    RowSink m_sink;
    QString m_error;
    QStringList m_warnings;
    qint64 m_lines = 0;
    bool m_former = false; // the header of the version before
    int m_runs = 0;
    qint64 m_reports = 0;
    QDateTime m_lastTime; // of the run's row before
    bool m_outOfOrder = false;
    qint64 m_clockOffsetMs = 0; // time less elapsed of the run's row before
    qint64 m_lastElapsedMs = 0;
    bool m_clockStepped = false; // said once a run
};

struct RecordingScan
{
    QString error; // names the file and the line at fault; empty for a good recording
    QStringList warnings;
    int runs = 0;
    qint64 lines = 0;
    QByteArray sha256; // of every byte read, in hexadecimal

    bool ok() const { return error.isEmpty(); }
};

// Reads the recording at `path`, handing each row to `sink`.
RecordingScan readRecording(const QString& path, const RowSink& sink);
