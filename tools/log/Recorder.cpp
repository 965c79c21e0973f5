#include "Recorder.h"

#include "measurement/ConfidenceBound.h"
#include "measurement/CounterReport.h"
#include "serial/CommControl.h"
#include "serial/PortError.h"
#include "serial/PortMapping.h"
#include "serial/SerialPortBackend.h"

#include <QDateTime>
#include <QFileInfo>

#include <cmath>
#include <cstdio>

#include <unistd.h>

namespace {

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

QString figure(double value)
{
    return QString::number(value, 'g', 3);
}

measurement::ReportCounts decode(const QByteArray& report)
{
    using measurement::reportField;
    return {*reportField(report, 1, 2), *reportField(report, 3, 2), *reportField(report, 5, 2),
            *reportField(report, 7, 4)};
}

} // namespace

Recorder::Recorder(const LogOptions& options, QObject* parent)
    : QObject(parent)
    , m_options(options)
    , m_totals(options.counters)
    , m_status(!options.quiet)
    , m_prom(options.promPath)
{
    serial::DeviceForPort deviceForPort = serial::systemDeviceForPort;
    if (!options.device.isEmpty())
        deviceForPort = [device = options.device](int) { return device; };
    m_comm = std::make_unique<serial::CommControl>(std::make_unique<serial::SerialPortBackend>(), deviceForPort);
    connect(m_comm.get(), &serial::CommControl::reportFramed, this, &Recorder::onReport);
    connect(m_comm.get(), &serial::CommControl::deviceLost, this, &Recorder::onDeviceLost);
    m_tick.setInterval(1000);
    connect(&m_tick, &QTimer::timeout, this, &Recorder::onTick);
    m_reopen.setInterval(kReopenMs);
    connect(&m_reopen, &QTimer::timeout, this, &Recorder::tryReopen);
}

Recorder::~Recorder() = default;

std::optional<int> Recorder::start()
{
    // A prom file that cannot be written is a bad command line, found before any row is recorded.
    if (!writeProm())
        return BadCommandLine;
    if (!m_options.csvPath.isEmpty() && !m_csv.open(m_options.csvPath, csvHeader())) {
        printError(m_csv.error());
        return BadCommandLine;
    }
    m_clock.start();
    if (m_options.port > 0)
        m_comm->setCommPort(qint16(m_options.port));
    m_comm->setSettings(QStringLiteral("%1,n,8,1").arg(m_options.baudRate));

    QString started = QStringLiteral("%1, %2 baud, counters %3, confidence %4")
                          .arg(describeDevice())
                          .arg(m_options.baudRate)
                          .arg(counterModelName(m_options.counters))
                          .arg(m_options.confidence);
    if (m_options.maxBer)
        started += QStringLiteral(", max BER %1").arg(*m_options.maxBer);
    put(newRecord(QStringLiteral("started"), started));
    if (m_csv.cutBytes() > 0)
        put(newRecord(QStringLiteral("torn line cut"),
                      QStringLiteral("cut %1 bytes of a torn last line before appending").arg(m_csv.cutBytes())));
    if (m_options.maxBer) {
        const double needed = measurement::bitsForPass(*m_options.maxBer, m_options.confidence);
        printError(QStringLiteral("a pass at BER %1 and %2 % confidence needs %3 bits with no error%4")
                       .arg(*m_options.maxBer)
                       .arg(m_options.confidence * 100)
                       .arg(qint64(std::ceil(std::min(needed, 1e18))))
                       .arg(m_options.stopBitsAuto ? QStringLiteral("; the run stops there") : QString()));
    }

    try {
        m_comm->setPortOpen(true);
    } catch (const serial::PortError& error) {
        const QString why = QStringLiteral("cannot open ") + error.message();
        if (!m_options.reconnect) {
            printError(why);
            m_deviceFailed = true;
            return finish(why);
        }
        put(newRecord(QStringLiteral("device lost"), why + QStringLiteral("; waiting for it")));
        m_reopen.start();
    }
    m_deviceUp = m_comm->portOpen();
    writeProm();
    if (m_options.durationMs > 0 && m_options.durationMs <= std::numeric_limits<int>::max())
        QTimer::singleShot(int(m_options.durationMs), this, [this] { stopWith(QStringLiteral("duration reached")); });
    m_tick.start();
    m_status.show(statusText(), true);
    if (m_writeFailed)
        return finish(QStringLiteral("a record could not be written"));
    return std::nullopt;
}

void Recorder::onReport(const QByteArray& report)
{
    if (m_finished)
        return;
    const measurement::ReportCounts counts = decode(report);
    ++m_reports;
    const QString decrease = m_totals.add(counts);
    if (!decrease.isEmpty()) {
        const bool newPeriod = m_options.counters == CounterModel::Restart && decrease.contains("recv_frames");
        put(newRecord(QStringLiteral("counts went down"),
                      decrease
                          + (m_options.counters == CounterModel::Wrap ? QStringLiteral("; counted as a wrap")
                             : newPeriod                              ? QStringLiteral("; a new test period")
                                                                      : QString())));
    }
    Record record = newRecord();
    describeReport(counts, record);
    put(record);
    m_status.show(statusText());
    m_lastReport = record;
    if (m_prom.isEnabled() && m_prom.reportIsDue())
        writeProm();

    if (m_writeFailed)
        stopWith(QStringLiteral("a record could not be written"));
    else if (m_options.stopReports > 0 && m_reports >= m_options.stopReports)
        stopWith(QStringLiteral("%1 reports recorded").arg(m_reports));
    else if (m_options.stopBits > 0 && double(m_totals.bits()) >= m_options.stopBits)
        stopWith(QStringLiteral("%1 bits counted").arg(m_totals.bits()));
}

void Recorder::onDeviceLost(const QString& reason)
{
    if (m_finished)
        return;
    put(newRecord(QStringLiteral("device lost"), reason));
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
    put(newRecord(QStringLiteral("device back"), describeDevice()));
    m_deviceUp = true;
    writeProm();
}

void Recorder::onTick()
{
    if (m_prom.isStale())
        writeProm();
    if (!m_csv.isOpen() || m_csv.sync())
        m_status.show(statusText());
    else
        m_writeFailed = true;
    if (m_writeFailed)
        stopWith(QStringLiteral("a record could not be written"));
    else if (m_options.durationMs > 0 && m_clock.elapsed() >= m_options.durationMs)
        stopWith(QStringLiteral("duration reached"));
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
    put(newRecord(QStringLiteral("stopped"), why));
    m_finished = true;
    m_tick.stop();
    m_reopen.stop();
    m_comm->setPortOpen(false);
    m_deviceUp = false;
    writeProm();
    if (m_csv.isOpen() && !m_csv.sync())
        m_writeFailed = true;
    m_status.show(statusText(), true);
    m_status.finish();

    if (m_writeFailed)
        printError(QStringLiteral("a record could not be written: the recording is incomplete"));
    if (m_reports == 0 && !m_deviceFailed)
        printError(QStringLiteral("no report came from %1").arg(describeDevice()));
    m_exitStatus = verdict();
    if (m_deviceFailed || m_writeFailed || m_reports == 0)
        m_exitStatus = NoRecording;
    return m_exitStatus;
}

Record Recorder::newRecord(const QString& event, const QString& detail)
{
    Record record;
    record.time = QDateTime::currentDateTimeUtc();
    record.elapsedSeconds = m_clock.isValid() ? double(m_clock.elapsed()) / 1000 : 0;
    record.event = event;
    record.detail = detail;
    record.runBits = m_totals.bits();
    record.runErrorBits = m_totals.bitErrors();
    record.runBerUpper = runUpperBound();
    return record;
}

void Recorder::put(const Record& record)
{
    if (m_csv.isOpen() && !m_csv.append(csvLine(record)))
        m_writeFailed = true;
    if (m_options.jsonl && !writeWhole(STDOUT_FILENO, jsonLine(record)))
        m_writeFailed = true;
}

double Recorder::runUpperBound()
{
    // The upper mean depends on the error count alone; the bits only scale it.
    const quint64 errors = m_totals.bitErrors();
    if (errors != m_boundErrors) {
        m_boundErrors = errors;
        m_boundMean = measurement::poissonUpperMean(errors, m_options.confidence);
    }
    const quint64 bits = m_totals.bits();
    return bits > 0 ? m_boundMean / double(bits) : std::nan("");
}

QString Recorder::statusText()
{
    const quint64 bits = m_totals.bits();
    const quint64 errors = m_totals.bitErrors();
    QString text = QStringLiteral("%1  %2 reports  %3 bits  %4 errors")
                       .arg(clockText(m_clock.elapsed()))
                       .arg(m_reports)
                       .arg(figure(double(bits)))
                       .arg(errors);
    if (bits > 0)
        text += QStringLiteral("  BER %1, below %2 at %3 %")
                    .arg(figure(double(errors) / double(bits)), figure(runUpperBound()))
                    .arg(m_options.confidence * 100);
    if (m_options.durationMs > 0)
        text +=
            QStringLiteral("  %1 left").arg(clockText(std::max<qint64>(0, m_options.durationMs - m_clock.elapsed())));
    if (m_options.stopBits > 0)
        text += QStringLiteral("  %1 bits left").arg(figure(std::max(0.0, m_options.stopBits - double(bits))));
    if (m_reopen.isActive())
        text += QStringLiteral("  waiting for the device");
    return text;
}

int Recorder::verdict()
{
    if (!m_options.maxBer)
        return Pass;
    const double maxBer = *m_options.maxBer;
    const quint64 bits = m_totals.bits();
    const quint64 errors = m_totals.bitErrors();
    if (bits == 0) {
        printVerdict(QStringLiteral("not decided: no bits counted"));
        return NotDecided;
    }
    const double upper = runUpperBound();
    const double lower = measurement::berLowerBound(errors, bits, m_options.confidence);
    const QString evidence = QStringLiteral("%1 errors in %2 bits, %3 % confidence")
                                 .arg(errors)
                                 .arg(figure(double(bits)))
                                 .arg(m_options.confidence * 100);
    if (upper <= maxBer) {
        printVerdict(
            QStringLiteral("pass: BER below %1, at or below %2 (%3)").arg(figure(upper)).arg(maxBer).arg(evidence));
        return Pass;
    }
    if (lower > maxBer) {
        printVerdict(QStringLiteral("fail: BER above %1, above %2 (%3)").arg(figure(lower)).arg(maxBer).arg(evidence));
        return Fail;
    }
    printVerdict(QStringLiteral("not decided: BER between %1 and %2, which holds %3 (%4)")
                     .arg(figure(lower), figure(upper))
                     .arg(maxBer)
                     .arg(evidence));
    return NotDecided;
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

bool Recorder::writeProm()
{
    if (!m_prom.isEnabled())
        return true;
    PromFigures figures;
    figures.device = m_options.port == 0 ? m_options.device : m_comm->device();
    figures.unit = !m_options.unit.isEmpty() ? m_options.unit
                   : m_options.port == 0     ? QFileInfo(m_options.device).fileName()
                                             : QStringLiteral("port%1").arg(m_options.port);
    figures.confidence = m_options.confidence;
    figures.deviceUp = m_deviceUp;
    figures.lastReport = m_lastReport ? &*m_lastReport : nullptr;
    figures.runBits = m_totals.bits();
    figures.runErrorBits = m_totals.bitErrors();
    figures.runBerUpper = runUpperBound();
    if (m_prom.write(promText(figures))) {
        m_promFailed = false;
        return true;
    }
    if (!m_promFailed) { // once per spell of failures, not once a second
        m_promFailed = true;
        printError(m_prom.error());
    }
    return false;
}
