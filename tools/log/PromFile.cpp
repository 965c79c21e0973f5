#include "PromFile.h"

#include <QSaveFile>

#include <cmath>

namespace {

QString labelValue(const QString& text)
{
    QString out = text;
    out.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    out.replace(QLatin1Char('"'), QStringLiteral("\\\""));
    out.replace(QLatin1Char('\n'), QStringLiteral("\\n"));
    return out;
}

QString sampleValue(double value)
{
    if (std::isnan(value))
        return QStringLiteral("NaN");
    if (std::isinf(value))
        return value > 0 ? QStringLiteral("+Inf") : QStringLiteral("-Inf");
    return QString::number(value, 'g', 17);
}

class Writer
{
public:
    explicit Writer(const PromFigures& f)
        : m_labels(QStringLiteral("device=\"%1\",unit=\"%2\"").arg(labelValue(f.device), labelValue(f.unit)))
    {
    }

    void family(const char* name, const char* help)
    {
        m_name = QLatin1String(name);
        m_text += QStringLiteral("# HELP %1 %2\n# TYPE %1 gauge\n").arg(m_name, QLatin1String(help));
    }
    void sample(const QString& value, const QString& extraLabel = {})
    {
        m_text += QStringLiteral("%1{%2%3} %4\n")
                      .arg(m_name, m_labels, extraLabel.isEmpty() ? QString() : QLatin1Char(',') + extraLabel, value);
    }
    void sample(quint64 value) { sample(QString::number(value)); }
    void sample(double value, const QString& extraLabel = {}) { sample(sampleValue(value), extraLabel); }

    QByteArray text() const { return m_text.toUtf8(); }

private:
    QString m_labels;
    QString m_name;
    QString m_text;
};

} // namespace

QByteArray promText(const PromFigures& f)
{
    Writer w(f);
    // The unit's own totals go down when it starts a new test period: gauges, not counters.
    if (const WrittenRow* r = f.lastReport; r && r->counts) {
        const auto withLoss = QStringLiteral("kind=\"with_sync_loss\"");
        const auto withoutLoss = QStringLiteral("kind=\"without_sync_loss\"");
        w.family("bermon_recv_frames", "Frames received, as the unit's last report counts them.");
        w.sample(r->counts->recvFrame);
        w.family("bermon_loss_frames", "Frames lost through loss of sync, as the unit's last report counts them.");
        w.sample(r->counts->lossFrame);
        w.family("bermon_error_frames", "Frames with errors, as the unit's last report counts them.");
        w.sample(r->counts->errorFrame);
        // Prometheus's naming rules take "bits" for a unit (to be given in bytes): these names avoid the word.
        w.family("bermon_bit_errors", "Bit errors, as the unit's last report counts them.");
        w.sample(r->counts->errorBit);
        w.family("bermon_ber", "Bit error ratio of the last report; NaN when no frame was counted.");
        w.sample(double(r->rates.ber), withoutLoss);
        w.sample(double(r->rates.berLoss), withLoss);
        w.family("bermon_per", "Packet error ratio of the last report; NaN when no frame was counted.");
        w.sample(double(r->rates.per), withoutLoss);
        w.sample(double(r->rates.perLoss), withLoss);
        w.family("bermon_last_report_timestamp_seconds", "Time of the last whole report, in seconds since the epoch.");
        w.sample(double(r->time.toMSecsSinceEpoch()) / 1000);
    }
    const double noBits = std::nan("");
    w.family("bermon_run_received_bit", "Bits received and counted by this run over all its reports.");
    w.sample(f.run.bits);
    w.family("bermon_run_bit_errors", "Bit errors counted by this run over all its reports.");
    w.sample(f.run.errorBits);
    w.family("bermon_run_ber", "Bit error ratio of this run; NaN before any bit is counted.");
    w.sample(f.run.bits > 0 ? double(f.run.errorBits) / double(f.run.bits) : noBits);
    w.family("bermon_run_ber_upper_bound",
             "Exact Poisson upper bound on the run's bit error ratio without sync loss at the confidence level.");
    w.sample(f.run.bits > 0 ? f.run.berUpper : noBits, QStringLiteral("confidence=\"%1\"").arg(f.confidence));
    w.family("bermon_run_frames", "Frames received by this run over all its reports.");
    w.sample(f.run.frames);
    w.family("bermon_run_lost_frames", "Frames lost through loss of sync over this run.");
    w.sample(f.run.lostFrames);
    w.family("bermon_run_error_frames", "Frames with bit errors over this run.");
    w.sample(f.run.errorFrames);
    w.family("bermon_run_error_dispersion",
             "Dispersion index of the run's bit errors over its report intervals: about 1 for independent errors, "
             "far above for clustered ones; NaN until they can be tested.");
    w.sample(f.runErrorDispersion);
    // Each the least and the most the reports allow; they may change for 10 s
    // after the fact, while a streak of severely errored seconds is confirmed.
    const std::pair<const char*, const char*> performance[] = {
        {"bermon_run_errored_seconds", "Errored seconds of this run in available time."},
        {"bermon_run_severely_errored_seconds", "Severely errored seconds of this run in available time."},
        {"bermon_run_unavailable_seconds", "Unavailable seconds of this run."},
        {"bermon_run_background_block_errors", "Errored frames of this run outside severely errored seconds."},
    };
    const measurement::Bounded figures[] = {f.performance.es, f.performance.ses, f.performance.unavailable,
                                            f.performance.bbe};
    for (int i = 0; i < 4; ++i) {
        w.family(performance[i].first, performance[i].second);
        w.sample(figures[i].least, QStringLiteral("bound=\"least\""));
        w.sample(figures[i].most, QStringLiteral("bound=\"most\""));
    }
    w.family("bermon_run_unframed_bytes", "Bytes received by this run that belong to no whole report.");
    w.sample(f.unframedBytes);
    w.family("bermon_device_up", "1 while the recorder has its device open, 0 when it is lost or the recorder ended.");
    w.sample(quint64(f.deviceUp ? 1 : 0));
    return w.text();
}

PromFile::PromFile(const QString& path)
    : m_path(path)
{
}

QString writePromFile(const QString& path, const QByteArray& text)
{
    QSaveFile file(path);
    // Readable by the node exporter, which runs as a user of its own, whatever the umask.
    const bool ok = file.open(QIODevice::WriteOnly)
                    && file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup
                                           | QFileDevice::ReadOther)
                    && file.write(text) == text.size() && file.commit();
    return ok ? QString() : QStringLiteral("--prom-file '%1': %2").arg(path, file.errorString());
}

bool PromFile::write(const QByteArray& text)
{
    markWritten();
    m_error = writePromFile(m_path, text);
    return m_error.isEmpty();
}

void PromFile::markWritten()
{
    m_stale = false;
    m_sinceWritten.start();
}

bool PromFile::reportIsDue()
{
    m_stale = true;
    return !m_sinceWritten.isValid() || m_sinceWritten.elapsed() >= 1000;
}
