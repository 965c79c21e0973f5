#pragma once

#include "measurement/ErrorPerformance.h"
#include "measurement/Rates.h"
#include "recording/RecordingColumns.h"
#include "recording/RowEvents.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <array>
#include <optional>

// The run's totals as of a row, over all its reports: the run_* columns.
struct RunFigures
{
    quint64 bits = 0;
    quint64 errorBits = 0;
    double berUpper = 0; // meaningful when bits > 0
    quint64 frames = 0;
    quint64 lostFrames = 0;
    quint64 errorFrames = 0;
};

// One row as the recorder writes it: a report, or an event with its detail.
// Read back, it is a ReadRow (recording/RecordingReader.h).
struct WrittenRow
{
    QDateTime time; // UTC
    double elapsedSeconds = 0;
    QString event; // empty for a report
    std::optional<measurement::ReportCounts> counts;
    measurement::RateValues rates;    // with counts only
    std::array<QString, 4> rateTexts; // ber, ber_loss, per, per_loss as the window shows them
    RunFigures run;
    QString detail;
    // The run's error performance, a JSON object; on the `stopped` row only,
    // and in JSON lines only.
    QString performanceJson;
};

// {"seconds":900,"es":[2,5],"esr":null,...}
QString performanceJson(const measurement::ErrorPerformanceFigures& figures);

// The `started` row again, for a file begun anew under a running recorder
// (`why`: "file truncated" or "file replaced", which its detail's words
// end with): its time, elapsed time and run totals are those of `next`, the
// row it comes before, so that the run goes on in the file as in the
// recorder. Empty when `next` is no row.
QByteArray restartedCsvLine(const QString& startedDetail, const QString& why, const QByteArray& next);

// One whole line each, newline included.
QByteArray csvLine(const WrittenRow& record);
QByteArray jsonLine(const WrittenRow& record);

// Counts and rates of one report exactly as the window computes and shows
// them, without a window.
void describeReport(const measurement::ReportCounts& counts, WrittenRow& record);
