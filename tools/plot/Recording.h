#pragma once

#include "measurement/RunAnalysis.h"

#include <QDateTime>
#include <QPointF>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// One row of a recording as bermon-log writes it. Rates that are "N/A",
// missing or too large for a double (1e999) are NaN.
struct RecordingRow
{
    qint64 line = 0;    // in the file, from 1
    QDateTime time;     // UTC
    double elapsed = 0; // seconds from the run's start
    QString event;      // empty for a report
    quint64 recvFrames = 0;
    quint64 lossFrames = 0;
    quint64 errorFrames = 0;
    quint64 errorBits = 0;
    double ber = 0, berLoss = 0, per = 0, perLoss = 0;
    quint64 runBits = 0;
    double runBer = 0, runBerUpper = 0;
    QString detail;
};

// The rows from one `started` row to the next.
struct RecordingRun
{
    measurement::RunSettings settings; // from the started row's detail
    std::vector<RecordingRow> rows;

    qint64 reports() const;
};

// The run's reports fed to the analysis the recorder uses, with `maxBer` in
// place of the run's own BER limit when given.
measurement::RunAnalysis analyseRun(const RecordingRun& run, std::optional<double> maxBer = {});

struct Recording
{
    std::vector<RecordingRun> runs;
    QStringList warnings; // e.g. a torn last line, skipped
    QString error;        // names the line at fault; empty when the file is a recording

    bool ok() const { return error.isEmpty(); }
};

// Reads a recording from its bytes; `name` is the file's name for messages.
Recording parseRecording(const QByteArray& bytes, const QString& name);
Recording readRecording(const QString& path);

// Splits a curve into the stretches an axis can show, leaving gaps: a value
// that is not finite ends a stretch, and so does one not above 0 on a
// logarithmic axis.
QList<QList<QPointF>> drawableStretches(const QList<QPointF>& points, bool logAxis);
