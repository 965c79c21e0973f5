// bermon-report on a real recording of the emulated unit, read back as text, and on files it must refuse.

#include "recording/RecordingWriter.h"
#include "recording/RecordingReader.h"

#include "emulator/PseudoTerminal.h"
#include "emulator/UnitEmulator.h"
#include "support/ProgramRun.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using emulator::EmulatorSettings;
using emulator::PseudoTerminal;
using emulator::UnitEmulator;

namespace {

// The text of a PDF with every run of white space as one blank, as pdftotext wraps it.
QString pdfText(const QString& pdf)
{
    return runProgram("pdftotext", {"-enc", "UTF-8", pdf, "-"}).out.simplified();
}

QByteArray row(double elapsed, const QString& event, std::optional<measurement::ReportCounts> counts = {})
{
    WrittenRow record;
    record.time = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5), QTimeZone::utc()).addMSecs(qint64(elapsed * 1000));
    record.elapsedSeconds = elapsed;
    record.event = event;
    if (counts)
        describeReport(*counts, record);
    return csvLine(record);
}

} // namespace

class TestReportProgram : public QObject
{
    Q_OBJECT

private slots:
    void reportsARecordedRun();
    void refusesWithoutLeavingAFile_data();
    void refusesWithoutLeavingAFile();
};

void TestReportProgram::reportsARecordedRun()
{
    // Five reports a second, counts that fill and start a new test period
    // every 16 reports, and a two-second outage.
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    PseudoTerminal line;
    EmulatorSettings settings;
    settings.intervalMs = 200;
    settings.link.frameRate = 2e4;
    settings.link.bitErrorRate = 1e-6;
    settings.conditions.outages = {{2, 2}};
    UnitEmulator unit(line, settings);
    QProcess log;
    log.start(BERMON_LOG_PATH, {"--device", line.slavePath(), "--csv", csv, "--duration", "6s", "--max-ber", "1e-5",
                                "--unit", "UUT 7", "--quiet"});
    QVERIFY(QTest::qWaitFor([&] { return QFile(csv).size() > 100; }, 20000));
    unit.start();
    QVERIFY(QTest::qWaitFor([&] { return log.state() == QProcess::NotRunning; }, 30000));

    const QString pdf = dir.filePath("record.pdf");
    const ProgramRun made = runProgram(BERMON_REPORT_PATH, {csv, "-o", pdf, "--page", "letter", "--tz", "Asia/Shanghai",
                                                            "--note", "夜间测试 Prüfplatz 3"});
    QVERIFY2(made.status == 0, qPrintable(made.err));
    const QString text = pdfText(pdf);

    std::vector<ReadRow> events;
    ReadRow lastReport;
    QVERIFY(readRecording(csv, [&](const ReadRow& row, int) {
                (row.isReport() ? lastReport : events.emplace_back()) = row;
            }).ok());
    QFile file(csv);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QByteArray sha = QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex();
    const ReadRow& stopped = events.back();
    QCOMPARE(stopped.event, QStringLiteral("stopped"));
    const QString verdictHead = stopped.detail.section(QStringLiteral("; "), 1, 1).section(QStringLiteral(" ("), 0, 0);
    QVERIFY(!verdictHead.isEmpty());
    QString es, ses;
    for (const auto& [key, value] : measurement::keyValuePairs(stopped.detail.section(QStringLiteral("; "), -1))) {
        // "[3,5]" in the row, "least 3, most 5" in the report.
        const QString shown = QString(value).replace(QRegularExpression("\\[(\\d+),(\\d+)\\]"), "least \\1, most \\2");
        if (key == QLatin1String("es"))
            es = shown;
        else if (key == QLatin1String("ses"))
            ses = shown;
    }
    QVERIFY(!es.isEmpty() && !ses.isEmpty());
    const QStringList expected{
        "BER test record: UUT 7",
        "夜间测试 Prüfplatz 3",
        "CST (Asia/Shanghai)",
        QString::number(lastReport.runBits),
        "Errored seconds (ES) " + es,
        "Severely errored seconds (SES) " + ses,
        verdictHead.simplified(),
        "SHA-256 " + sha,
        "page 3 of",
    };
    for (const QString& wanted : expected)
        QVERIFY2(text.contains(wanted),
                 qPrintable(wanted + " missing from: " + text.mid(text.indexOf("SHA-256") - 100, 300)));
    QVERIFY(std::any_of(events.begin(), events.end(),
                        [](const ReadRow& r) { return r.event == QLatin1String("counts went down"); }));
    // Every event with its time, on the first page and again in the appendix.
    for (const ReadRow& event : events) {
        const QString when = event.time.toString("yyyy-MM-dd hh:mm:ss") + " UTC " + event.event;
        QVERIFY2(text.count(when) >= 2, qPrintable(when));
    }

    const QString info = runProgram("pdfinfo", {pdf}).out;
    QVERIFY2(info.contains(QRegularExpression("Page size: +612 x 792 pts \\(letter\\)")), qPrintable(info));
    const QRegularExpressionMatch pages = QRegularExpression("Pages: +(\\d+)").match(info);
    QVERIFY(pages.hasMatch() && pages.captured(1).toInt() >= 3);
    QVERIFY(text.contains(QStringLiteral("page %1 of %1").arg(pages.captured(1))));
}

void TestReportProgram::refusesWithoutLeavingAFile_data()
{
    QTest::addColumn<QByteArray>("contents");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QString>("message");
    const QByteArray report = row(1, {}, measurement::ReportCounts{40000, 2, 3, 4});
    const QByteArray run = csvHeader() + row(0, "started") + report;
    QTest::newRow("not a recording") << QByteArray("time,value\n1,2\n") << QStringList{}
                                     << "run.csv:1: not a bermon-log recording";
    QTest::newRow("no report") << csvHeader() + row(0, "started") + row(5, "stopped") << QStringList{}
                               << "run.csv:3: the recording holds no report";
    QTest::newRow("bad row") << run + "2026-01-02T03:04:05.000Z,1\n" + report << QStringList{}
                             << "run.csv:4: bad row: 2 fields where a row has 23";
    QTest::newRow("a line without end") << QByteArray(1 << 20, '\0') << QStringList{}
                                        << "run.csv:1: a line of more than 65536 bytes";
    QTest::newRow("run beyond the runs") << run << QStringList{"--run", "2"} << "--run 2: run.csv holds 1 run(s)";
    QTest::newRow("last run without a report")
        << run + row(0, "started") + row(3, "stopped") << QStringList{}
        << "run.csv:4: run 2 holds no report; give the run to report with --run N";
    QTest::newRow("unknown zone") << run << QStringList{"--tz", "Mars/Olympus"}
                                  << "--tz 'Mars/Olympus': not a time zone this machine knows";
    QTest::newRow("page") << run << QStringList{"--page", "a3"} << "--page 'a3': not a4 or letter";
}

void TestReportProgram::refusesWithoutLeavingAFile()
{
    QFETCH(QByteArray, contents);
    QFETCH(QStringList, options);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(QDir::setCurrent(dir.path()));
    QFile file("run.csv");
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(contents) == contents.size());
    file.close();
    const ProgramRun outcome = runProgram(BERMON_REPORT_PATH, QStringList{"run.csv"} + options);
    QCOMPARE(outcome.status, 2);
    const QString output = outcome.out + outcome.err;
    QVERIFY2(output.contains(message), qPrintable(output));
    QCOMPARE(QDir().entryList(QDir::Files), QStringList{"run.csv"});
}

QTEST_MAIN(TestReportProgram)
#include "test_report_program.moc"
