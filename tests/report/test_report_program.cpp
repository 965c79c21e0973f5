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

// The text of a PDF with every run of white space as one blank, as pdftotext
// wraps it, and ligatures as their letters ("ﬁ" as "fi").
QString pdfText(const QString& pdf)
{
    return runProgram("pdftotext", {"-enc", "UTF-8", pdf, "-"})
        .out.simplified()
        .normalized(QString::NormalizationForm_KC);
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

// Five reports a second from the emulated unit, whose counts fill and start
// a new test period every 16 reports, recorded by bermon-log with `options`
// into `csv` until the recorder ends. False when it does not.
bool record(const QString& csv, const emulator::LinkConditionPlan& conditions, const QStringList& options)
{
    PseudoTerminal line;
    EmulatorSettings settings;
    settings.intervalMs = 200;
    settings.link.frameRate = 2e4;
    settings.link.bitErrorRate = 1e-6;
    settings.conditions = conditions;
    UnitEmulator unit(line, settings);
    QProcess log;
    log.start(BERMON_LOG_PATH, QStringList{"--device", line.slavePath(), "--csv", csv, "--quiet"} + options);
    if (!QTest::qWaitFor([&] { return QFile(csv).size() > 100; }, 20000))
        return false;
    unit.start();
    return QTest::qWaitFor([&] { return log.state() == QProcess::NotRunning; }, 40000);
}

} // namespace

class TestReportProgram : public QObject
{
    Q_OBJECT

private slots:
    void reportsARecordedRun();
    void recordsALinkForItsCustomer();
    void refusesWithoutLeavingAFile_data();
    void refusesWithoutLeavingAFile();
};

void TestReportProgram::reportsARecordedRun()
{
    // A two-second outage.
    QTemporaryDir dir;
    const QString csv = dir.filePath("run.csv");
    emulator::LinkConditionPlan conditions;
    conditions.outages = {{2, 2}};
    QVERIFY(record(csv, conditions, {"--duration", "6s", "--max-ber", "1e-5", "--unit", "UUT 7"}));

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
    QStringList expected{
        "BER test record: UUT 7",
        "夜间测试 Prüfplatz 3",
        "CST (Asia/Shanghai)",
        QString::number(lastReport.runBits),
        "Errored seconds (ES) " + es,
        "Severely errored seconds (SES) " + ses,
        "SHA-256 " + sha,
        "page 3 of",
    };
    // The verdict's facts, one sentence each.
    for (const QString& fact : verdictHead.section(QStringLiteral(": "), 1).split(QStringLiteral("; ")))
        expected << fact.simplified();
    for (const QString& wanted : expected)
        QVERIFY2(text.contains(wanted),
                 qPrintable(wanted + " missing from: " + text.mid(text.indexOf("SHA-256") - 100, 300)));
    QVERIFY(std::any_of(events.begin(), events.end(),
                        [](const ReadRow& r) { return r.event == QLatin1String("counts went down"); }));
    // Every event with its time in the appendix, and on the first page too
    // unless it is a routine one folded there into one line.
    for (const ReadRow& event : events) {
        const QString when = event.time.toString("yyyy-MM-dd hh:mm:ss") + " UTC " + event.event;
        const bool folded = event.is(RowEvent::CountsWentDown) || event.is(RowEvent::Unframed);
        QVERIFY2(text.count(when) >= (folded ? 1 : 2), qPrintable(when));
    }

    const QString info = runProgram("pdfinfo", {pdf}).out;
    QVERIFY2(info.contains(QRegularExpression("Page size: +612 x 792 pts \\(letter\\)")), qPrintable(info));
    const QRegularExpressionMatch pages = QRegularExpression("Pages: +(\\d+)").match(info);
    QVERIFY(pages.hasMatch() && pages.captured(1).toInt() >= 3);
    QVERIFY(text.contains(QStringLiteral("page %1 of %1").arg(pages.captured(1))));
}

void TestReportProgram::recordsALinkForItsCustomer()
{
    // Errored seconds, a 12 s outage and counts that start again every few
    // seconds, recorded with who and what, the customer given to the report.
    QTemporaryDir dir;
    const QString csv = dir.filePath("link.csv");
    emulator::LinkConditionPlan conditions;
    conditions.erroredSecondChance = 0.2;
    conditions.outages = {{4, 12}};
    QVERIFY(record(csv, conditions,
                   {"--duration", "22s", "--max-ber", "1e-5", "--max-es", "2", "--max-unavailable", "0", "--unit",
                    "UUT 9", "--operator", "Ana Ruiz", "--procedure", "TP-104 rev C"}));
    qint64 restarts = 0;
    ReadRow started, stopped;
    QVERIFY(readRecording(csv, [&](const ReadRow& row, int) {
                restarts += row.is(RowEvent::CountsWentDown);
                if (row.is(RowEvent::Started))
                    started = row;
                else if (row.is(RowEvent::Stopped))
                    stopped = row;
            }).ok());
    QVERIFY(restarts > 2);

    const QString pdf = dir.filePath("link.pdf");
    const ProgramRun made =
        runProgram(BERMON_REPORT_PATH, {csv, "-o", pdf, "--customer", "Northwind Telecom", "--operator", "Bo Li"});
    QVERIFY2(made.status == 0, qPrintable(made.err));
    QVERIFY2(made.err.contains("--operator 'Bo Li' differs from the run's own 'Ana Ruiz'"), qPrintable(made.err));
    const QString text = pdfText(pdf);
    const auto found = [&text](const QString& pattern) { return QRegularExpression(pattern).match(text); };
    const QString verdict = stopped.detail.section(QStringLiteral("; "), 1, 1).section(QStringLiteral(": "), 0, 0);
    for (const QString& wanted :
         {QStringLiteral("BER test record: UUT 9 Unit UUT 9 Operator Ana Ruiz Procedure TP-104 rev C Customer "
                         "Northwind Telecom"),
          QStringLiteral("Verdict ") + verdict.toUpper(), QStringLiteral("Tested by"), QStringLiteral("Checked by")})
        QVERIFY2(text.contains(wanted), qPrintable(wanted));
    QCOMPARE(text.count(QStringLiteral("Name Date Signature")), 2);
    // A row for each criterion: limit, what was measured, result.
    const QString result = QStringLiteral("(PASS|FAIL|NOT DECIDED)");
    for (const QString& row : {QStringLiteral("BER at 95 % confidence at most 1e-05 \\[\\S+, \\S+\\] ") + result,
                               QStringLiteral("Lost frames at most 0 \\d+ FAIL"),
                               QStringLiteral("Errored seconds \\(ES\\) at most 2 \\S+ ") + result,
                               QStringLiteral("Unavailable time at most 0 s \\S+ s FAIL"),
                               QStringLiteral("Duration the whole 0:00:22 0:00:2\\d ") + result})
        QVERIFY2(found(row).hasMatch(), qPrintable(row));
    // The outage and the unavailable time it brings, each from its start to its end within the run.
    for (const QString& kind : {QStringLiteral("sync loss \\d+ frames lost"), QStringLiteral("unavailable")}) {
        const QRegularExpressionMatch event = found(
            QStringLiteral("(\\d{4}-\\d\\d-\\d\\d) (\\d\\d:\\d\\d:\\d\\d) UTC to (\\d\\d:\\d\\d:\\d\\d) ") + kind);
        QVERIFY2(event.hasMatch(), qPrintable(kind));
        const QDateTime from = QDateTime::fromString(event.captured(1) + 'T' + event.captured(2) + 'Z', Qt::ISODate);
        const QDateTime to = QDateTime::fromString(event.captured(1) + 'T' + event.captured(3) + 'Z', Qt::ISODate);
        QVERIFY2(from >= started.time.addSecs(-1) && from < to && to <= stopped.time.addSecs(1), qPrintable(kind));
    }
    // The restarts, one line.
    const QRegularExpression folded(QStringLiteral("counts went down (\\d+) times"));
    QCOMPARE(text.count(folded), 1);
    QCOMPARE(folded.match(text).captured(1).toLongLong(), restarts);

    const QString info = runProgram("pdfinfo", {"-meta", pdf}).out;
    for (const QString& wanted :
         {QStringLiteral("<dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">BER test record: UUT 9</rdf:li>"),
          QStringLiteral("<dc:creator><rdf:Seq><rdf:li>Ana Ruiz</rdf:li>"),
          QStringLiteral("<dc:description><rdf:Alt><rdf:li xml:lang=\"x-default\">UUT 9</rdf:li>"),
          QStringLiteral("xmp:CreatorTool=\"bermon-report "),
          QStringLiteral("pdfaid:part=\"1\" pdfaid:conformance=\"B\"")})
        QVERIFY2(info.contains(wanted), qPrintable(wanted + " missing from: " + info));
    QVERIFY(runProgram("pdfinfo", {pdf}).out.contains(QRegularExpression("Title: +BER test record: UUT 9\n")));
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
