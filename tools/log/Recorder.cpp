#include "Recorder.h"

#include "OutputQueue.h"

#include "measurement/ConfidenceBound.h"
#include "measurement/RunAnalysis.h"
#include "measurement/CounterReport.h"
#include "serial/CommControl.h"
#include "serial/HoldingProcess.h"
#include "serial/PortError.h"
#include "serial/PortMapping.h"
#include "serial/SerialPortBackend.h"

#include <QDateTime>
#include <QFileInfo>

#include <cmath>
#include <cstdio>

#include <unistd.h>

using measurement::CounterModel;

namespace {

using measurement::clockText;
using measurement::figureText;

constexpr int kReopenMs = 1000;

void printError(const QString& text)
{
    writeWhole(STDERR_FILENO, (QStringLiteral("bermon-log: ") + text + QLatin1Char('\n')).toLocal8Bit());
}

// The verdict stands alone on its line, for scripts to read.
void printVerdict(const QString& text)
{
    writeWhole(STDERR_FILENO, (text + QLatin1Char('\n')).toLocal8Bit());
}

// The run totals that a record and the prom file both carry.
RunFigures runFigures(const measurement::RunAnalysis& analysis)
{
    const measurement::ReportCounts totals = analysis.totals();
    return {.bits = analysis.bits(),
            .errorBits = analysis.bitErrors(),
            .berUpper = analysis.berUpper(),
            .frames = totals.recvFrame,
            .lostFrames = totals.lossFrame,
            .errorFrames = totals.errorFrame};
}

} // namespace

Recorder::Recorder(const LogOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_status(!options.quiet)
    , m_prom(options.promPath)
{
    serial::DeviceForPort deviceForPort = serial::systemPorts;
    if (!options.device.isEmpty())
        deviceForPort = [device = options.device](int) { return device; };
    m_comm = std::make_unique<serial::CommControl>(std::make_unique<serial::SerialPortBackend>(), deviceForPort);
    connect(m_comm.get(), &serial::CommControl::reportFramed, this, &Recorder::onReport);
    connect(m_comm.get(), &serial::CommControl::deviceLost, this, &Recorder::onDeviceLost);
    connect(m_comm.get(), &serial::CommControl::bytesUnframed, this, &Recorder::onUnframed);
    m_unframedRow.setSingleShot(true);
    connect(&m_unframedRow, &QTimer::timeout, this, &Recorder::putUnframed);
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &Recorder::onTick);
    m_reopen.setInterval(kReopenMs);
    connect(&m_reopen, &QTimer::timeout, this, &Recorder::tryReopen);
}

Recorder::~Recorder() = default;

measurement::RunSettings Recorder::runSettings() const
{
    measurement::RunSettings settings = m_options.run;
    settings.device = describeDevice();
    // The unit as given, or none: the Prometheus label's stand-in is no name anyone chose.
    settings.version = measurement::programVersion();
    return settings;
}

std::optional<int> Recorder::start()
{
    if (m_options.port > 0)
        m_comm->setCommPort(qint16(m_options.port));
    m_comm->lookUpDevice(); // the started row names the device that the open opens
    m_analysis = std::make_unique<measurement::RunAnalysis>(runSettings());
    // A prom file that cannot be written is a bad command line, found before any row is recorded.
    if (!writeProm())
        return BadCommandLine;
    if (!m_options.csvPath.isEmpty() && !m_csv.open(m_options.csvPath, csvHeader(), {formerCsvHeader()})) {
        printError(m_csv.error());
        return BadCommandLine;
    }
    // A file truncated or replaced under the run (logrotate) takes the
    // started row again at its top; the run and its totals go on.
    const QString started = measurement::startedDetail(m_analysis->settings());
    m_csv.setRestart(
        [started](const QString& why, const QByteArray& next) { return restartedCsvLine(started, why, next); });
    // From here on the outputs are written by a thread of their own.
    m_outputs = std::make_unique<OutputQueue>(m_csv.isOpen() ? &m_csv : nullptr, m_options.jsonl,
                                              m_prom.isEnabled() ? m_prom.path() : QString());
    m_clock.start();
    m_comm->setSettings(QStringLiteral("%1,n,8,1").arg(m_options.run.baud));

    put(newRecord(RowEvent::Started, measurement::startedDetail(m_analysis->settings())));
    if (!m_csv.renamedTo().isEmpty()) {
        const QString renamed = QStringLiteral("%1 was in the format of an earlier version: renamed to %2, this file "
                                               "begun anew")
                                    .arg(m_options.csvPath, m_csv.renamedTo());
        put(newRecord(RowEvent::EarlierFormatRenamed, renamed));
        printError(renamed);
    }
    if (m_csv.cutBytes() > 0)
        put(newRecord(RowEvent::TornLineCut,
                      QStringLiteral("cut %1 bytes of a torn last line before appending").arg(m_csv.cutBytes())));
    if (m_options.run.maxBer) {
        const double needed = measurement::bitsForPass(*m_options.run.maxBer, m_options.run.confidence);
        printError(QStringLiteral("a pass at BER %1 and %2 % confidence needs %3 bits with no error%4")
                       .arg(*m_options.run.maxBer)
                       .arg(m_options.run.confidence * 100)
                       .arg(qint64(std::ceil(std::min(needed, 1e18))))
                       .arg(m_options.stopBitsAuto ? QStringLiteral("; the run stops there") : QString()));
    }

    try {
        m_comm->setPortOpen(true);
        if (m_options.port > 0)
            printError(QStringLiteral("recording from %1").arg(describeDevice()));
    } catch (const serial::PortError& error) {
        QString why = m_options.port > 0 && m_comm->device().isEmpty()
                          ? QStringLiteral("there is no serial device for port %1").arg(m_options.port)
                          : QStringLiteral("cannot open ") + error.message();
        // Another program that holds the device is named, as the window names it.
        if (const std::optional<serial::HoldingProcess> holder = serial::findHoldingProcess(m_comm->device()))
            why += QStringLiteral("; ") + serial::describeHoldingProcess(*holder);
        if (!m_options.reconnect) {
            printError(why);
            m_deviceFailed = true;
            return finish(why);
        }
        put(newRecord(RowEvent::DeviceLost, why + QStringLiteral("; waiting for it")));
        m_reopen.start();
    }
    m_deviceUp = m_comm->portOpen();
    writeProm();
    if (m_options.durationMs() > 0 && m_options.durationMs() <= std::numeric_limits<int>::max())
        // Precise: a coarse timer may fire 5 % early, and a run that stops
        // before its --duration has not reached it.
        QTimer::singleShot(int(m_options.durationMs()), Qt::PreciseTimer, this,
                           [this] { stopWith(QLatin1String(measurement::kDurationReached)); });
    m_tick.start();
    m_status.show([this] { return statusParts(); }, true);
    // The first rows written before the run goes on: a file that cannot take them is found now.
    m_outputs->drain();
    if (outputsFailed())
        return finish(QStringLiteral("a record could not be written"));
    return std::nullopt;
}

void Recorder::onReport(const QByteArray& report)
{
    if (m_finished)
        return;
    // The framer hands on whole reports only.
    const std::optional<measurement::ReportCounts> decoded = measurement::decodeReport(report);
    if (!decoded)
        return;
    const measurement::ReportCounts& counts = *decoded;
    // The moment its last byte came, which a report the framer held for a
    // quiet line keeps; the counts were taken some time before.
    const measurement::RunMoment arrived = rowMoment(m_comm->reportArrivedMs());
    if (m_silenceSaid && m_lastReportMs)
        put(newRecord(arrived, RowEvent::Silent,
                      QStringLiteral("reports again after %1 s without one")
                          .arg(double(arrived.elapsedMs - *m_lastReportMs) / 1000, 0, 'f', 1)));
    m_silenceSaid = m_maxSilenceSaid = false;
    m_lastReportMs = arrived.elapsedMs;
    const QString decrease = m_analysis->add(arrived, counts).decreases;
    if (!decrease.isEmpty()) {
        const bool newPeriod = m_options.run.counters == CounterModel::Restart && decrease.contains("recv_frames");
        put(newRecord(arrived, RowEvent::CountsWentDown,
                      decrease
                          + (m_options.run.counters == CounterModel::Wrap ? QStringLiteral("; counted as a wrap")
                             : newPeriod                                  ? QStringLiteral("; a new test period")
                                                                          : QString())));
    }
    WrittenRow record = newRecord(arrived);
    describeReport(counts, record);
    put(record);
    warnOfRestarts();
    m_status.show([this] { return statusParts(); });
    m_lastReport = record;
    if (m_prom.isEnabled() && m_prom.reportIsDue())
        writeProm();

    const qint64 reports = m_analysis->reports();
    if (outputsFailed())
        stopWith(QStringLiteral("a record could not be written"));
    else if (m_options.run.stopReports > 0 && reports >= m_options.run.stopReports)
        stopWith(QStringLiteral("%1 reports recorded").arg(reports));
    else if (m_options.run.stopBits > 0 && double(m_analysis->bits()) >= m_options.run.stopBits)
        stopWith(QStringLiteral("%1 bits counted").arg(m_analysis->bits()));
}

// Counter restarts leave the seconds around each one possibly errored: a
// limit of errored seconds below what the restarts within --duration may
// leave open cannot be met, which the operator learns now rather than at the end.
void Recorder::warnOfRestarts()
{
    if (m_restartsSaid || m_options.run.counters != CounterModel::Restart || m_options.durationMs() <= 0
        || m_analysis->reports() < 5 || m_analysis->reportedSeconds() < 2)
        return;
    m_restartsSaid = true;
    const double framesPerSecond = m_analysis->bitRate() / double(measurement::kBitsPerFrame);
    if (!(framesPerSecond > 0))
        return;
    const double period = 65536 / framesPerSecond;
    const double duration = double(m_options.durationMs()) / 1000;
    const qint64 restarts = qint64(duration / period);
    const double interval = m_analysis->reportedSeconds() / double(m_analysis->reports() - 1);
    // The interval across a restart, with the latency before it, reaches into this many seconds.
    const qint64 perRestart = qint64(std::ceil(interval + m_options.run.latencyMs / 1000)) + 1;
    const qint64 open = restarts * perRestart;
    QStringList short_;
    if (m_options.run.maxEs && *m_options.run.maxEs < open)
        short_ << QStringLiteral("--max-es %1").arg(*m_options.run.maxEs);
    if (m_options.run.maxSes && *m_options.run.maxSes < open)
        short_ << QStringLiteral("--max-ses %1").arg(*m_options.run.maxSes);
    if (restarts == 0 || short_.isEmpty())
        return;
    const QString text =
        QStringLiteral("at %1 frames a second the unit's counts start again about every %2 s: %3 restarts in the "
                       "--duration may leave up to %4 seconds possibly errored, more than %5 allows, so the run "
                       "cannot pass; --counters wrap (if the unit wraps its counts), more reports a second or a "
                       "higher limit would help")
            .arg(figureText(framesPerSecond), figureText(period))
            .arg(restarts)
            .arg(open)
            .arg(short_.join(QStringLiteral(" and ")));
    put(newRecord(RowEvent::Settings, text));
    printError(text);
}

void Recorder::onUnframed(const QByteArray& bytes)
{
    if (m_finished)
        return;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (m_unframed.add(bytes, now))
        putUnframed();
    else if (!m_unframedRow.isActive())
        m_unframedRow.start(int(m_unframed.rowDueInMs(now)));
}

void Recorder::putUnframed()
{
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (const std::optional<QString> detail = m_unframed.takeRow(now))
        put(newRecord(RowEvent::Unframed, *detail));
}

void Recorder::onDeviceLost(const QString& reason)
{
    if (m_finished)
        return;
    put(newRecord(RowEvent::DeviceLost, reason));
    m_analysis->deviceLost();
    m_deviceUp = false;
    writeProm();
    if (!m_options.reconnect) {
        printError(QStringLiteral("%1 failed: %2").arg(describeDevice(), reason));
        m_deviceFailed = true;
        stopWith(QStringLiteral("device lost: ") + reason);
        return;
    }
    m_reopen.start();
}

void Recorder::tryReopen()
{
    try {
        m_comm->setPortOpen(true);
    } catch (const serial::PortError&) {
        return; // still away; the timer tries again
    }
    m_reopen.stop();
    put(newRecord(RowEvent::DeviceBack, describeDevice()));
    m_deviceUp = true;
    writeProm();
}

void Recorder::onTick()
{
    watchSilence();
    if (m_prom.isStale())
        writeProm();
    m_outputs->syncCsv();
    sayPromFailure();
    m_status.show([this] { return statusParts(); });
    if (const std::optional<OutputQueue::Output> behind = m_outputs->behind(); behind && !m_outputBehind) {
        // Nothing is dropped: what waits is written before the run ends.
        m_outputBehind = true;
        const QString text = QStringLiteral("%1 is more than %2 MiB behind: it does not take rows as fast as "
                                            "they come")
                                 .arg(OutputQueue::name(*behind))
                                 .arg(OutputQueue::kMaxWaitingBytes >> 20);
        put(newRecord(RowEvent::OutputBehind, text));
        printError(text);
        stopWith(QStringLiteral("output behind: ") + OutputQueue::name(*behind));
        return;
    }
    if (outputsFailed())
        stopWith(QStringLiteral("a record could not be written"));
    else if (m_options.durationMs() > 0 && m_clock.elapsed() >= m_options.durationMs())
        stopWith(QLatin1String(measurement::kDurationReached));
}

// A time without reports longer than the longest interval before it and the
// latency is a silence, said once; --max-silence reached fails the run.
void Recorder::watchSilence()
{
    if (!m_lastReportMs)
        return;
    const qint64 now = m_clock.elapsed();
    const double silent = double(now - *m_lastReportMs) / 1000;
    if (!m_silenceSaid && m_analysis->performance().silentAt(now)) {
        m_silenceSaid = true;
        put(newRecord(RowEvent::Silent,
                      QStringLiteral("no report for %1 s, longer than the longest interval so far (%2 s) and the "
                                     "latency (%3 ms)")
                          .arg(silent, 0, 'f', 1)
                          .arg(double(m_analysis->performance().longestIntervalMs()) / 1000)
                          .arg(m_options.run.latencyMs)));
    }
    if (m_options.run.maxSilenceSeconds && !m_maxSilenceSaid && silent >= *m_options.run.maxSilenceSeconds) {
        m_maxSilenceSaid = true;
        const QString text =
            QStringLiteral("no report for %1 s: --max-silence reached, the run fails").arg(silent, 0, 'f', 1);
        put(newRecord(RowEvent::Silent, text));
        printError(text);
    }
}

void Recorder::stopWith(const QString& why)
{
    if (m_finished)
        return;
    emit stopped(finish(why));
}

int Recorder::finish(const QString& why)
{
    if (m_finished)
        return m_exitStatus;
    // Closing drops what is still undecided: that too goes into the record.
    m_comm->setPortOpen(false);
    m_unframedRow.stop();
    putUnframed();
    m_analysis->setReachedDuration(why == QLatin1String(measurement::kDurationReached));
    // The run lasted until now: a silence since the last report counts.
    const measurement::RunMoment end = rowMoment();
    m_analysis->runUntil(end);
    const measurement::Verdict verdict = measurement::decide(*m_analysis);
    QString detail = why;
    if (!verdict.line.isEmpty())
        detail += QStringLiteral("; ") + verdict.line;
    WrittenRow stopped = newRecord(end, RowEvent::Stopped,
                                   detail + QStringLiteral("; ") + verdict.figures
                                       + QStringLiteral(" unframed_bytes=%1").arg(m_unframed.total()));
    stopped.performanceJson = performanceJson(m_analysis->performance().figures());
    put(stopped);
    m_finished = true;
    m_tick.stop();
    m_reopen.stop();
    m_deviceUp = false;
    writeProm();
    // Every row read is written before the run ends, however long an output takes.
    m_outputs->syncCsv();
    m_outputs->drain();
    outputsFailed();
    sayPromFailure();
    m_status.show([this] { return statusParts(); }, true);
    m_status.finish();

    if (m_writeFailed) {
        const QString error = m_outputs->rowsError();
        printError(QStringLiteral("a record could not be written: ")
                   + (error.isEmpty() ? QStringLiteral("the recording is incomplete") : error));
    }
    const qint64 reports = m_analysis->reports();
    // A run that could not write its first rows did not wait for a report.
    if (reports == 0 && !m_deviceFailed && !m_writeFailed && !m_outputBehind)
        printError(QStringLiteral("no report came from %1").arg(describeDevice()));
    if (!verdict.line.isEmpty())
        printVerdict(verdict.line);
    switch (verdict.outcome) {
    case measurement::Outcome::Fail:
        m_exitStatus = Fail;
        break;
    case measurement::Outcome::NotDecided:
        m_exitStatus = NotDecided;
        break;
    default:
        m_exitStatus = Pass;
    }
    if (m_deviceFailed || m_writeFailed || m_outputBehind || reports == 0)
        m_exitStatus = NoRecording;
    return m_exitStatus;
}

measurement::RunMoment Recorder::rowMoment()
{
    QElapsedTimer now;
    now.start();
    return rowMoment(now.msecsSinceReference());
}

measurement::RunMoment Recorder::rowMoment(qint64 monotonicMs)
{
    QElapsedTimer now;
    now.start();
    const qint64 utcNow = QDateTime::currentMSecsSinceEpoch();
    measurement::RunMoment at;
    at.elapsedMs = m_clock.isValid() ? monotonicMs - m_clock.msecsSinceReference() : 0;
    at.utcMs = utcNow - (now.msecsSinceReference() - monotonicMs);
    if (!m_lastRow) {
        m_clockOffsetMs = at.utcMs - at.elapsedMs;
        m_lastRow = at;
        return at;
    }
    at.elapsedMs = std::max(at.elapsedMs, m_lastRow->elapsedMs);
    const qint64 offset = at.utcMs - at.elapsedMs;
    if (measurement::clockStepped(m_clockOffsetMs, offset, at.elapsedMs - m_lastRow->elapsedMs)) {
        const qint64 step = offset - m_clockOffsetMs;
        m_clockOffsetMs = offset;
        m_lastRow = at;
        put(newRecord(at, RowEvent::ClockStepped,
                      QStringLiteral("the clock moved %1%2 s against the run's own; the seconds around it are "
                                     "unknown")
                          .arg(step > 0 ? "+" : "")
                          .arg(double(step) / 1000, 0, 'f', 3)));
    } else {
        at.utcMs = std::max(at.utcMs, m_lastRow->utcMs);
        m_clockOffsetMs = at.utcMs - at.elapsedMs; // drift is no step
    }
    m_lastRow = at;
    return at;
}

WrittenRow Recorder::newRecord(RowEvent event, const QString& detail)
{
    return newRecord(rowMoment(), event, detail);
}

WrittenRow Recorder::newRecord(const measurement::RunMoment& at, RowEvent event, const QString& detail)
{
    WrittenRow record;
    // Qt::UTC rather than a QTimeZone: the same time, at a fraction of the cost to write out.
    record.time = QDateTime::fromMSecsSinceEpoch(at.utcMs, Qt::UTC);
    record.elapsedSeconds = double(at.elapsedMs) / 1000;
    record.event = eventName(event);
    record.detail = detail;
    record.run = runFigures(*m_analysis);
    return record;
}

void Recorder::put(const WrittenRow& record)
{
    // A row other than a report: the run lasted at least until then.
    if (!record.event.isEmpty())
        m_analysis->runUntil({record.time.toMSecsSinceEpoch(), qRound64(record.elapsedSeconds * 1000)});
    m_outputs->appendRow(m_csv.isOpen() ? csvLine(record) : QByteArray(),
                         m_options.jsonl ? jsonLine(record) : QByteArray());
}

QStringList Recorder::statusParts() const
{
    const quint64 bits = m_analysis->bits();
    const quint64 errors = m_analysis->bitErrors();
    QStringList parts{clockText(m_clock.elapsed()), QStringLiteral("%1 reports").arg(m_analysis->reports()),
                      QStringLiteral("%1 bits").arg(figureText(double(bits))),
                      QStringLiteral("%1 %2").arg(errors).arg(errors == 1 ? "error" : "errors"),
                      QStringLiteral("%1 lost").arg(m_analysis->lostFrames())};
    if (m_unframed.total() > 0)
        parts << QStringLiteral("%1 unframed bytes").arg(m_unframed.total());
    const measurement::ErrorPerformanceFigures performance = m_analysis->performance().figures();
    parts << QStringLiteral("ES %1  SES %2  %3 s unavailable")
                 .arg(performance.es.text(), performance.ses.text(), performance.unavailable.text());
    if (bits > 0)
        parts << QStringLiteral("BER %1, below %2 at %3 %")
                     .arg(figureText(double(errors) / double(bits)), figureText(m_analysis->berUpper()))
                     .arg(m_options.run.confidence * 100);
    if (m_reopen.isActive())
        parts << QStringLiteral("waiting for the device");
    if (m_silenceSaid && m_lastReportMs)
        parts << QStringLiteral("silent for %1").arg(clockText(m_clock.elapsed() - *m_lastReportMs));
    if (const std::optional<OutputQueue::Output> behind = m_outputs ? m_outputs->behind() : std::nullopt)
        parts << OutputQueue::name(*behind) + QStringLiteral(" behind");
    if (m_analysis->settings().verdictAsked())
        parts << measurement::decide(*m_analysis).need;
    if (m_options.durationMs() > 0)
        parts << QStringLiteral("%1 left").arg(
            clockText(std::max<qint64>(0, m_options.durationMs() - m_clock.elapsed())));
    if (m_options.run.stopBits > 0)
        parts << QStringLiteral("%1 bits left").arg(figureText(std::max(0.0, m_options.run.stopBits - double(bits))));
    return parts;
}

QString Recorder::describeDevice() const
{
    if (m_options.port == 0)
        return m_options.device;
    const QString device = m_comm->device();
    return QStringLiteral("port %1 (%2)")
        .arg(m_options.port)
        .arg(device.isEmpty() ? QStringLiteral("no device") : device);
}

QString Recorder::unitName() const
{
    return !m_options.run.unit.isEmpty() ? m_options.run.unit
           : m_options.port == 0         ? QFileInfo(m_options.device).fileName()
                                         : QStringLiteral("port%1").arg(m_options.port);
}

bool Recorder::writeProm()
{
    if (!m_prom.isEnabled())
        return true;
    PromFigures figures;
    figures.device = m_options.port == 0 ? m_options.device : m_comm->device();
    figures.unit = unitName();
    figures.confidence = m_options.run.confidence;
    figures.deviceUp = m_deviceUp;
    figures.lastReport = m_lastReport ? &*m_lastReport : nullptr;
    figures.run = runFigures(*m_analysis);
    figures.runErrorDispersion = m_analysis->clusters().dispersion;
    figures.performance = m_analysis->performance().figures();
    figures.unframedBytes = m_unframed.total();
    if (m_outputs) {
        m_prom.markWritten();
        m_outputs->replaceProm(promText(figures));
        return true;
    }
    // Before the run: a file that cannot be written is found at once.
    if (m_prom.write(promText(figures)))
        return true;
    printError(m_prom.error());
    return false;
}

void Recorder::sayPromFailure()
{
    const QString error = m_outputs->promError();
    if (!error.isEmpty() && !m_promFailed) // once per spell of failures, not once a second
        printError(error);
    m_promFailed = !error.isEmpty();
}

bool Recorder::outputsFailed()
{
    m_writeFailed = m_writeFailed || !m_outputs->rowsError().isEmpty();
    return m_writeFailed;
}
