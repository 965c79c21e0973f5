#pragma once

#include "recording/RecordingWriter.h"

#include <QElapsedTimer>
#include <QString>

// The figures of a run for Prometheus, in its text exposition format, for
// the node exporter's textfile collector to serve.
struct PromFigures
{
    QString device;
    QString unit;
    double confidence = 0.95;
    bool deviceUp = false;
    const WrittenRow* lastReport = nullptr; // none before the first report
    RunFigures run;
    double runErrorDispersion = 0; // NaN when the errors could not be tested for clustering
    measurement::ErrorPerformanceFigures performance;
    quint64 unframedBytes = 0;
};

QByteArray promText(const PromFigures& figures);

// Replaces the file at `path` whole with `text`; why it failed, or nothing.
QString writePromFile(const QString& path, const QByteArray& text);

// The file the collector reads. Each write goes to a temporary file in the
// same directory that is then renamed over it, so that a scrape never sees
// half a file. Reports are written at most once a second; events at once.
class PromFile
{
public:
    explicit PromFile(const QString& path);

    bool isEnabled() const { return !m_path.isEmpty(); }
    const QString& path() const { return m_path; }
    // Writes now; false with error() set when it failed.
    bool write(const QByteArray& text);
    // A write is on its way, by writePromFile() elsewhere: the file is no longer stale.
    void markWritten();
    // A report came: true when the file is due for a write now.
    bool reportIsDue();
    // True when a report has not been written yet.
    bool isStale() const { return m_stale; }
    QString error() const { return m_error; }

private:
    QString m_path;
    QString m_error;
    QElapsedTimer m_sinceWritten;
    bool m_stale = false;
};
