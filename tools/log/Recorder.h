#pragma once

#include "recording/CsvFile.h"
#include "LogOptions.h"
#include "PromFile.h"
#include "recording/RecordingWriter.h"
#include "StatusLine.h"
#include "UnframedBytes.h"

#include "measurement/RunAnalysis.h"

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <memory>
#include <optional>

class OutputQueue;

namespace serial {
class CommControl;
}

// Exit statuses of bermon-log.
enum LogStatus { Pass = 0, Fail = 1, BadCommandLine = 2, NoRecording = 3, NotDecided = 4 };

// One recording run: every whole report from the serial-port control becomes
// a record, the run totals and their bound follow, the stop conditions and
// the device's comings and goings are watched, and the end gives a verdict.
class Recorder final : public QObject
{
    Q_OBJECT
public:
    explicit Recorder(const LogOptions& options, QObject* parent = nullptr);
    ~Recorder() override;

    // Opens the CSV file and the device. An exit status when the run cannot
    // go on (the reason has been printed); nothing while it runs.
    std::optional<int> start();
    // Ends the run once: records why, flushes, prints the verdict, and
    // returns the exit status. Later calls return the same status.
    int finish(const QString& why);
    bool hasFinished() const { return m_finished; }

signals:
    // The run has ended by itself (a stop condition, the device, a write
    // failure) with this exit status.
    void stopped(int status);

private:
    void onReport(const QByteArray& report);
    void onDeviceLost(const QString& reason);
    void onUnframed(const QByteArray& bytes);
    void putUnframed();
    void tryReopen();
    void onTick();
    void stopWith(const QString& why);
    // Now, or a moment read from the monotonic clock, as a row's time: never
    // before the row written last, but across a step of the wall clock,
    // which writes a `clock stepped` row first.
    measurement::RunMoment rowMoment();
    measurement::RunMoment rowMoment(qint64 monotonicMs);
    WrittenRow newRecord(RowEvent event = RowEvent::Report, const QString& detail = {});
    WrittenRow newRecord(const measurement::RunMoment& at, RowEvent event = RowEvent::Report,
                         const QString& detail = {});
    void put(const WrittenRow& record);
    void watchSilence();
    void warnOfRestarts();
    QStringList statusParts() const;
    QString describeDevice() const;
    QString unitName() const;
    measurement::RunSettings runSettings() const;
    // Writes the prom file when there is one, or hands it to the outputs'
    // thread once the run is on; false when it failed before.
    bool writeProm();
    void sayPromFailure();
    // Whether writing the rows failed, which stops the run.
    bool outputsFailed();

    LogOptions m_options;
    std::unique_ptr<serial::CommControl> m_comm;
    std::unique_ptr<measurement::RunAnalysis> m_analysis; // from start() on
    CsvFile m_csv;
    std::unique_ptr<OutputQueue> m_outputs; // after m_csv, which it writes: gone first
    StatusLine m_status;
    PromFile m_prom;
    std::optional<WrittenRow> m_lastReport; // for the prom file
    bool m_deviceUp = false;
    bool m_promFailed = false; // said once; the recording goes on without it
    QTimer m_tick;             // once a second: fsync, status, duration, a paced prom file
    QTimer m_reopen;           // while waiting for the device
    UnframedBytes m_unframed;
    QTimer m_unframedRow; // writes the gathered unframed bytes once a row is due
    QElapsedTimer m_clock;
    std::optional<measurement::RunMoment> m_lastRow; // of the row written last
    qint64 m_clockOffsetMs = 0;                      // UTC less the run's clock at the row written last
    std::optional<qint64> m_lastReportMs;            // the last report's arrival, on the run's clock
    bool m_silenceSaid = false;                      // of the silence going on
    bool m_maxSilenceSaid = false;
    bool m_restartsSaid = false;
    bool m_deviceFailed = false;
    bool m_writeFailed = false;
    bool m_outputBehind = false;
    bool m_finished = false;
    int m_exitStatus = Pass;
};
