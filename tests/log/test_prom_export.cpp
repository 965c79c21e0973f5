// bermon-log --prom-file served by Debian's prometheus-node-exporter through
// its textfile collector, scraped over HTTP, and checked by promtool.

#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"
#include "support/RequireInstalled.h"

#include <QDir>
#include <QDateTime>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using emulator::EmulatorSettings;
using emulator::PseudoTerminal;
using emulator::UnitEmulator;

namespace {

QString tool(const QString& name)
{
    return QStandardPaths::findExecutable(name, {QStringLiteral("/usr/bin"), QStringLiteral("/usr/sbin")});
}

// A port nobody listens on now; the exporter takes it a moment later.
quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// The node exporter on 127.0.0.1 with the textfile collector alone.
struct Exporter
{
    Exporter(const QString& program, const QString& textDir)
        : port(freePort())
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(program,
                      {QStringLiteral("--web.listen-address=127.0.0.1:%1").arg(port), "--collector.disable-defaults",
                       "--collector.textfile", "--collector.textfile.directory=" + textDir});
    }
    ~Exporter()
    {
        process.terminate();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished();
    }
    // The scrape's text; empty when the exporter did not answer.
    QByteArray scrape()
    {
        QNetworkReply* reply =
            network.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/metrics").arg(port))));
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        reply->deleteLater();
        return reply->error() == QNetworkReply::NoError ? reply->readAll() : QByteArray();
    }
    // The value of the sample `name` that has all of `labels` (the exporter sorts
    // them by name); NaN when there is none.
    static double value(const QByteArray& text, const QString& name, const QStringList& labels = {})
    {
        for (const QByteArray& line : text.split('\n')) {
            const QString sample = QString::fromUtf8(line);
            if (sample.startsWith(name + '{') || sample.startsWith(name + ' ')) {
                if (std::ranges::all_of(labels, [&](const QString& label) { return sample.contains(label); }))
                    return line.mid(line.lastIndexOf(' ') + 1).toDouble();
            }
        }
        return std::nan("");
    }

    quint16 port;
    QProcess process;
    QNetworkAccessManager network;
};

QStringList lastReportRow(const QString& csvPath, QStringList& header)
{
    QFile file(csvPath);
    file.open(QIODevice::ReadOnly);
    const QList<QByteArray> lines = file.readAll().trimmed().split('\n');
    header = QString::fromUtf8(lines.first()).split(',');
    for (qsizetype i = lines.size() - 1; i > 0; --i) {
        const QStringList row = QString::fromUtf8(lines[i]).split(',');
        if (row.value(2).isEmpty()) // no event: a report
            return row;
    }
    return {};
}

} // namespace

class TestPromExport : public QObject
{
    Q_OBJECT

private slots:
    void exporterServesTheFiguresAndTheDeviceGoingDown();
};

void TestPromExport::exporterServesTheFiguresAndTheDeviceGoingDown()
{
    const QString exporterProgram = tool("prometheus-node-exporter");
    BERMON_REQUIRE_INSTALLED(!exporterProgram.isEmpty(), "prometheus-node-exporter", "test");
    QTemporaryDir dir;
    const QString textDir = dir.filePath("textfile");
    QVERIFY(QDir().mkpath(textDir));
    const QString prom = textDir + "/bench-7.prom";
    const QString csv = dir.filePath("run.csv");

    Exporter exporter(exporterProgram, textDir);
    QVERIFY2(QTest::qWaitFor([&] { return !exporter.scrape().isEmpty(); }, 20000), "the node exporter did not answer");

    EmulatorSettings settings;
    settings.intervalMs = 100;
    settings.link.frameRate = 1e5;
    settings.link.bitErrorRate = 1e-5;
    settings.link.frameLossRate = 1e-3;
    settings.faults.hangUpAfter = 25;
    PseudoTerminal line;
    UnitEmulator unit(line, settings);
    QProcess log;
    log.start(BERMON_LOG_PATH, {"--device", line.slavePath(), "--csv", csv, "--prom-file", prom, "--unit",
                                "bench \"7\"", "--reconnect", "--quiet", "--confidence", "0.99"});
    QVERIFY(QTest::qWaitFor([&] { return QFile(csv).size() > 300 || log.state() == QProcess::NotRunning; }, 20000));
    QTest::qWait(100);
    unit.start();

    // Labels are escaped; the device is up while reports come.
    const QStringList labels{QStringLiteral("device=\"%1\"").arg(line.slavePath()), "unit=\"bench \\\"7\\\"\""};
    QByteArray text;
    QVERIFY(QTest::qWaitFor(
        [&] {
            text = exporter.scrape();
            return exporter.value(text, "bermon_recv_frames", labels) > 0;
        },
        20000));
    QCOMPARE(exporter.value(text, "bermon_device_up", labels), 1.0);

    // After the hang-up the file holds the last report exactly, and the device down.
    QVERIFY(QTest::qWaitFor(
        [&] {
            text = exporter.scrape();
            return exporter.value(text, "bermon_device_up", labels) == 0.0;
        },
        20000));
    QCOMPARE(log.state(), QProcess::Running);
    QStringList header;
    const QStringList row = lastReportRow(csv, header);
    const auto column = [&](const char* name) { return row.value(header.indexOf(name)).toDouble(); };
    const struct
    {
        const char* metric;
        double expected;
    } expectations[] = {
        {"bermon_recv_frames", column("recv_frames")},
        {"bermon_loss_frames", column("loss_frames")},
        {"bermon_error_frames", column("error_frames")},
        {"bermon_bit_errors", column("error_bits")},
        {"bermon_run_received_bit", column("run_bits")},
        {"bermon_run_bit_errors", column("run_error_bits")},
        {"bermon_last_report_timestamp_seconds",
         double(QDateTime::fromString(row.value(0), Qt::ISODateWithMs).toMSecsSinceEpoch()) / 1000},
    };
    QVERIFY(column("run_error_bits") > 0);
    for (const auto& [metric, expected] : expectations)
        QVERIFY2(exporter.value(text, metric, labels) == expected, metric);
    // The rates are single precision, and the CSV file holds nine digits of them.
    QCOMPARE(float(exporter.value(text, "bermon_ber", labels + QStringList{"kind=\"without_sync_loss\""})),
             float(column("ber")));
    QCOMPARE(float(exporter.value(text, "bermon_per", labels + QStringList{"kind=\"with_sync_loss\""})),
             float(column("per_loss")));
    const double bound =
        exporter.value(text, "bermon_run_ber_upper_bound", labels + QStringList{"confidence=\"0.99\""});
    QVERIFY(std::abs(bound / column("run_ber_upper") - 1) < 1e-8);
    // The collector read the file without complaint, and nothing but the file is left beside it.
    QCOMPARE(exporter.value(text, "node_textfile_scrape_error"), 0.0);
    QCOMPARE(QDir(textDir).entryList(QDir::Files), QStringList{"bench-7.prom"});

    log.terminate();
    QVERIFY(log.waitForFinished(20000));
    QCOMPARE(exporter.value(exporter.scrape(), "bermon_device_up", labels), 0.0);

    const QString promtool = tool("promtool");
    BERMON_REQUIRE_INSTALLED(!promtool.isEmpty(), "promtool (package prometheus)", "test");
    QProcess check;
    check.setStandardInputFile(prom);
    check.start(promtool, {"check", "metrics"});
    QVERIFY(check.waitForFinished(20000));
    const QByteArray complaints = check.readAllStandardOutput() + check.readAllStandardError();
    QVERIFY2(check.exitCode() == 0 && complaints.isEmpty(), complaints.constData());
}

QTEST_GUILESS_MAIN(TestPromExport)
#include "test_prom_export.moc"
