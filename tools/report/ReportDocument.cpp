#include "ReportDocument.h"

#include "util/OutputFile.h"
#include "PageFlow.h"
#include "PdfMetadata.h"
#include "recording/RecordingWriter.h"
#include "charts/RunCharts.h"
#include "charts/RunDigest.h"
#include "util/Version.h"

#include "measurement/ErrorPerformance.h"

#include <QFileInfo>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

using measurement::Bounded;
using measurement::figureText;

// Events in the summary, about a page; the rest fold by kind.
constexpr int kEventRows = 40;

QString utcText(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral(" UTC");
}

QString localText(const QDateTime& time, const QTimeZone& zone)
{
    return time.toTimeZone(zone).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) + zone.abbreviation(time)
           + QStringLiteral(" (") + QString::fromUtf8(zone.id()) + u')';
}

using measurement::durationText;

// How long the run lasted, from its `started` row to its last row.
double runSeconds(const RunDigest& run)
{
    return run.last().elapsed - run.started().elapsed;
}

QString countText(quint64 count)
{
    return QLocale::c().toString(count).replace(u',', u' ');
}

// A figure as the reports bound it: one number, or the least and the most.
QString boundedText(const Bounded& figure, bool ratio)
{
    const auto one = [ratio](double value) {
        if (!std::isfinite(value))
            return QStringLiteral("N/A");
        return ratio ? figureText(value) : countText(quint64(value));
    };
    if (figure.exact() || (!std::isfinite(figure.least) && !std::isfinite(figure.most)))
        return one(figure.least);
    return QStringLiteral("least %1, most %2").arg(one(figure.least), one(figure.most));
}

// Who and what the run is for: the recording's own, else the report's option;
// a report's option that differs from the recording's is a warning.
struct Identity
{
    QString unit, operatorName, procedure, customer;
};

Identity identityOf(const measurement::RunSettings& recorded, const measurement::RunSettings& given,
                    QStringList& warnings)
{
    const auto pick = [&warnings](const QString& own, const QString& option, const char* name) {
        if (!own.isEmpty() && !option.isEmpty() && own != option)
            warnings << QStringLiteral("--%1 '%2' differs from the run's own '%3', which the report names")
                            .arg(QLatin1String(name), option, own);
        return own.isEmpty() ? option : own;
    };
    return {pick(recorded.unit, given.unit, "unit"), pick(recorded.operatorName, given.operatorName, "operator"),
            pick(recorded.procedure, given.procedure, "procedure"),
            pick(recorded.customer, given.customer, "customer")};
}

// The unit, or without one the device the run was recorded from.
QString titleName(const RunDigest& run, const Identity& identity)
{
    return identity.unit.isEmpty() ? run.recorded().device : identity.unit;
}

QString orNotGiven(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("not given") : text;
}

// The title, who and what, the notes, and where, when and from what the run was recorded.
void runSection(PageFlow& flow, const RunDigest& run, int runNumber, int runs, const ReportOptions& options,
                const Identity& identity, const QStringList& warnings)
{
    const measurement::RunSettings& recorded = run.recorded();
    flow.heading(QStringLiteral("BER test record: %1").arg(titleName(run, identity)), 1);
    flow.table({},
               {{QStringLiteral("Unit"), orNotGiven(identity.unit), QStringLiteral("Operator"),
                 orNotGiven(identity.operatorName)},
                {QStringLiteral("Procedure"), orNotGiven(identity.procedure), QStringLiteral("Customer"),
                 orNotGiven(identity.customer)}},
               {1, 2.6, 1, 2.6});
    if (!recorded.note.isEmpty())
        flow.paragraph(recorded.note);
    for (const QString& note : options.notes)
        flow.paragraph(note);

    const ReadRow& start = run.started();
    const ReadRow& end = run.last();
    const bool stopped = end.is(RowEvent::Stopped);
    double gapSeconds = 0, longest = 0;
    for (const RunDigest::Gap& gap : run.gaps()) {
        gapSeconds += gap.seconds;
        longest = std::max(longest, gap.seconds);
    }
    const QString gaps = run.gaps().empty() ? QStringLiteral("none")
                                            : QStringLiteral("%1, %2 in all, the longest %3")
                                                  .arg(run.gaps().size())
                                                  .arg(durationText(gapSeconds), durationText(longest));
    const QList<QStringList> rows{
        {QStringLiteral("Device"), QStringLiteral("%1 at %2 baud").arg(recorded.device).arg(recorded.baud),
         QStringLiteral("Reports"), countText(quint64(run.reports()))},
        {QStringLiteral("Duration"), durationText(runSeconds(run)), QStringLiteral("Gaps over 10 s"), gaps},
        {QStringLiteral("Run"), QStringLiteral("%1 of %2 in %3").arg(runNumber).arg(runs).arg(options.input), QString(),
         QString()},
    };
    flow.table({}, rows, {1, 2.6, 1, 2.6});
    flow.table({},
               {{QStringLiteral("Start"), utcText(start.time), localText(start.time, options.zone)},
                {QStringLiteral("End"), utcText(end.time),
                 localText(end.time, options.zone)
                     + (stopped ? QString()
                                : QStringLiteral(" (no 'stopped' row: the recorder "
                                                 "was killed or still runs)"))}},
               {1, 2.2, 4});
    if (!warnings.isEmpty())
        flow.paragraph(QStringLiteral("While reading the file: ") + warnings.join(QStringLiteral("; ")),
                       PageFlow::Style::Small);
}

void totalsSection(PageFlow& flow, const RunDigest& run)
{
    const measurement::RunAnalysis& analysis = run.analysis();
    flow.heading(QStringLiteral("Totals and rates"), 2);
    const measurement::ReportCounts totals = analysis.totals();
    WrittenRow rates;
    describeReport(totals, rates);
    flow.table(
        {QStringLiteral("Count"), QStringLiteral("Value"), QStringLiteral("Rate"),
         QStringLiteral("As the window shows it")},
        {
            {QStringLiteral("Frames"), countText(totals.recvFrame), QStringLiteral("BER"), rates.rateTexts[0]},
            {QStringLiteral("Lost frames"), countText(totals.lossFrame), QStringLiteral("BER with sync loss"),
             rates.rateTexts[1]},
            {QStringLiteral("Errored frames"), countText(totals.errorFrame), QStringLiteral("PER"), rates.rateTexts[2]},
            {QStringLiteral("Bit errors"), countText(totals.errorBit), QStringLiteral("PER with sync loss"),
             rates.rateTexts[3]},
            {QStringLiteral("Bits"), countText(analysis.bits()), QString(), QString()},
        },
        {2, 2, 2, 2});
    const double confidence = run.recorded().confidence * 100;
    flow.paragraph(analysis.bits() > 0 ? QStringLiteral("At %1 % confidence the BER without sync loss lies between %2 "
                                                        "and %3 "
                                                        "(exact Poisson bounds on %4 bit errors in %5 bits).")
                                             .arg(confidence)
                                             .arg(figureText(analysis.berLower()), figureText(analysis.berUpper()),
                                                  countText(analysis.bitErrors()), countText(analysis.bits()))
                                       : QStringLiteral("No bit was counted: the BER has no bound."));
}

// "fail: BER above 1.8e-05, above 1e-05; [12,14] unavailable seconds, ..." as
// short sentences, one a fact: "BER above 1.8e-05, above 1e-05."
QStringList sentencesOf(const QString& head)
{
    QStringList sentences;
    const QString facts = head.mid(head.indexOf(QStringLiteral(": ")) + 2);
    for (QString fact : facts.split(QStringLiteral("; "), Qt::SkipEmptyParts)) {
        fact[0] = fact[0].toUpper();
        sentences << fact + u'.';
    }
    return sentences;
}

// What a decision needs, in the run's own terms: an interrupted run says how
// much of its --duration it missed.
QString decisionNeeds(const RunDigest& run, const QString& need)
{
    const measurement::RunSettings& settings = run.analysis().settings();
    if (settings.durationSeconds <= 0 || run.analysis().reachedDuration())
        return need;
    const QString missing =
        QStringLiteral("the run stopped %1 before its --duration of %2; error performance can pass only at the end")
            .arg(durationText(std::round(settings.durationSeconds) - std::round(runSeconds(run))),
                 durationText(settings.durationSeconds));
    return QString(need).replace(QLatin1String(measurement::kPerformanceWithinSoFar), missing);
}

void verdictSection(PageFlow& flow, const RunDigest& run)
{
    flow.heading(QStringLiteral("Verdict"), 2);
    const measurement::Verdict verdict = measurement::decide(run.analysis());
    if (verdict.outcome == measurement::Outcome::NoVerdict) {
        flow.paragraph(QStringLiteral("No verdict: the run was recorded without "
                                      "limits and the report was given "
                                      "none (--max-ber, --max-lost-frames, "
                                      "--max-es, --max-ses, --max-unavailable)."));
        return;
    }
    // Colours a printer in black and white turns into greys: the word says it.
    struct Look
    {
        QColor colour, tint;
        const char* line;
    };
    static const std::map<measurement::Outcome, Look> looks{
        {measurement::Outcome::Pass, {QColor(30, 120, 50), QColor(215, 240, 215), "every criterion met"}},
        {measurement::Outcome::Fail, {QColor(190, 30, 30), QColor(248, 212, 208), "a criterion is not met"}},
        {measurement::Outcome::NotDecided,
         {QColor(200, 130, 0), QColor(252, 232, 190), "the run cannot be decided yet"}}};
    const Look& look = looks.at(verdict.outcome);
    flow.banner(measurement::outcomeWord(verdict.outcome), QLatin1String(look.line), look.colour, look.tint);
    for (const QString& sentence : sentencesOf(verdict.head))
        flow.paragraph(sentence);
    if (verdict.outcome == measurement::Outcome::NotDecided && !verdict.need.isEmpty())
        flow.paragraph(QStringLiteral("What a decision needs: ") + decisionNeeds(run, verdict.need) + u'.');

    QList<QStringList> rows;
    const measurement::RunSettings& recorded = run.recorded();
    for (const measurement::Criterion& c : measurement::criteria(run.analysis(), runSeconds(run))) {
        QString limit = c.limit;
        // A limit the run was recorded without came from the report's command line.
        const bool given = (c.name.startsWith(QLatin1String("BER")) && !recorded.maxBer)
                           || (c.name == QLatin1String("Errored seconds (ES)") && !recorded.maxEs)
                           || (c.name.startsWith(QLatin1String("Severely")) && !recorded.maxSes)
                           || (c.name == QLatin1String("Unavailable time") && !recorded.maxUnavailableSeconds);
        if (given)
            limit += QStringLiteral(" (given to the report)");
        rows.push_back({c.name, limit, c.measured, measurement::outcomeWord(c.outcome), c.reason});
    }
    flow.table({QStringLiteral("Criterion"), QStringLiteral("Limit"), QStringLiteral("Measured"),
                QStringLiteral("Result"), QStringLiteral("Why")},
               rows, {2.2, 1.8, 1.8, 1.3, 3});
}

void errorPerformanceSection(PageFlow& flow, const RunDigest& run)
{
    flow.heading(QStringLiteral("Error performance"), 2);
    const measurement::ErrorPerformanceFigures f = run.analysis().performance().figures();
    const auto fixed = [](qint64 value) { return Bounded{double(value), double(value)}; };
    const QString figure = QStringLiteral("Figure"), value = QStringLiteral("Value");
    flow.table({figure, value, figure, value},
               {
                   {QStringLiteral("Errored seconds (ES)"), boundedText(f.es, false), QStringLiteral("ES ratio (ESR)"),
                    boundedText(f.esr, true)},
                   {QStringLiteral("Severely errored seconds (SES)"), boundedText(f.ses, false),
                    QStringLiteral("SES ratio (SESR)"), boundedText(f.sesr, true)},
                   {QStringLiteral("Background block errors (BBE)"), boundedText(f.bbe, false),
                    QStringLiteral("BBE ratio (BBER)"), boundedText(f.bber, true)},
                   {QStringLiteral("Error-free seconds (EFS)"), boundedText(f.efs, false),
                    QStringLiteral("Unavailable time (s)"), boundedText(f.unavailable, false)},
                   {QStringLiteral("Seconds"), boundedText(fixed(f.seconds), false), QStringLiteral("Unknown seconds"),
                    boundedText(fixed(f.unknown), false)},
               },
               {2.5, 1.9, 1.9, 1.9});
    flow.paragraph(QStringLiteral("Seconds are whole UTC seconds of the recording host's clock, from the second of "
                                  "the first report to the second the run ended in, both counted: a run of %1 "
                                  "spans %2 of them. The charts' seconds strip and the 'stopped' row count the same.")
                       .arg(durationText(runSeconds(run)))
                       .arg(f.seconds),
                   PageFlow::Style::Small);
}

// From `from` to `to`: the end as the time of day, with the date when it is another day.
QString spanText(const QDateTime& from, const QDateTime& to)
{
    const QDateTime end = to.toUTC();
    return utcText(from) + QStringLiteral(" to ")
           + end.toString(end.date() == from.toUTC().date() ? QStringLiteral("hh:mm:ss")
                                                            : QStringLiteral("yyyy-MM-dd hh:mm:ss"));
}

// When an event began, and when it ended unless it is a moment.
QString whenText(const LinkEvent& event)
{
    if (event.to == event.from && !event.open)
        return utcText(event.from);
    return spanText(event.from, event.to) + (event.open ? QStringLiteral(", still at the end") : QString());
}

QString howMuch(const LinkEvent& event)
{
    QString text = event.kind == LinkEvent::Kind::Recorder && event.event == eventName(RowEvent::Started)
                       ? measurement::startedDetailWords(event.detail)
                       : event.amount();
    if (event.provisional)
        text += QStringLiteral(" (the next seconds may still change it)");
    return text;
}

// The link's events and the recorder's, the routine ones folded; past about a
// page the rest fold by kind, with how many and the first and the last time.
void eventsSection(PageFlow& flow, const RunDigest& run)
{
    flow.heading(QStringLiteral("Events"), 2);
    const std::vector<LinkEvent> events = run.linkEvents();
    QList<QStringList> rows;
    struct Rest
    {
        qint64 count = 0;
        QDateTime from, to;
    };
    std::map<QString, Rest> rest;
    QStringList restOrder;
    for (const LinkEvent& event : events) {
        if (rows.size() < kEventRows) {
            rows.push_back({whenText(event), event.what(), howMuch(event)});
            continue;
        }
        Rest& folded = rest[event.what()];
        if (folded.count++ == 0) {
            folded.from = event.from;
            restOrder << event.what();
        }
        folded.to = std::max(folded.to, event.to);
    }
    for (const QString& what : restOrder) {
        const Rest& folded = rest.at(what);
        rows.push_back({spanText(folded.from, folded.to), what, QStringLiteral("%1 more").arg(folded.count)});
    }
    flow.table({QStringLiteral("When"), QStringLiteral("Event"), QStringLiteral("How much")}, rows, {3.3, 1.6, 4.5},
               true);
    if (!restOrder.isEmpty())
        flow.paragraph(QStringLiteral("After the first %1 events the rest are folded by kind; the appendix lists "
                                      "the rows the recorder wrote.")
                           .arg(kEventRows),
                       PageFlow::Style::Small);
}

void signOff(PageFlow& flow)
{
    flow.heading(QStringLiteral("Sign-off"), 2, 80); // with both rows of lines
    flow.formLines({QStringLiteral("Tested by"), QStringLiteral("Checked by")},
                   {QStringLiteral("Name"), QStringLiteral("Date"), QStringLiteral("Signature")});
}

void summary(PageFlow& flow, const RunDigest& run, int runNumber, int runs, const ReportOptions& options,
             const Identity& identity, const QStringList& warnings)
{
    runSection(flow, run, runNumber, runs, options, identity, warnings);
    verdictSection(flow, run);
    totalsSection(flow, run);
    errorPerformanceSection(flow, run);
    eventsSection(flow, run);
    signOff(flow);
}

// What each setting of a `started` row means, for the appendix.
QString settingMeaning(const QString& key)
{
    static const std::map<QString, QString> meanings{
        {"device", "the serial device the run was recorded from"},
        {"unit", "the unit under test"},
        {"operator", "who ran the test"},
        {"procedure", "the test procedure followed"},
        {"customer", "whom the test is for"},
        {"note", "a line about the run"},
        {"baud", "line speed, bits a second"},
        {"counters", "restart: a fall of the counts starts a new test period; wrap: free-running counters"},
        {"confidence", "confidence of the bound on the BER"},
        {"max_ber", "a pass needs the BER's upper bound at or below this"},
        {"max_lost_frames", "frames lost through loss of sync that a pass allows"},
        {"max_es", "errored seconds that a pass allows"},
        {"max_ses", "severely errored seconds that a pass allows"},
        {"max_unavailable", "seconds of unavailable time that a pass allows"},
        {"latency_ms", "how long before its arrival a report's counts may have been taken, ms"},
        {"max_silence_s", "a time without reports that fails the run, s"},
        {"duration", "the run's planned length, s; error performance passes only at its end"},
        {"bits", "the run stops once it has counted this many bits"},
        {"reports", "the run stops after this many reports"},
        {"version", "the version of bermon-log that recorded the run"},
    };
    const auto found = meanings.find(key);
    return found == meanings.end() ? QStringLiteral("a setting this version does not know") : found->second;
}

void appendix(PageFlow& flow, const RunDigest& run, const ReportOptions& options, const RecordingScan& scan)
{
    flow.newPage();
    flow.heading(QStringLiteral("Appendix: the recorder's events"), 2);
    QList<QStringList> events;
    for (const ReadRow& event : run.events())
        events.push_back({utcText(event.time), event.event, event.detail});
    flow.table({QStringLiteral("Time"), QStringLiteral("Event"), QStringLiteral("Detail")}, events, {2.2, 1.5, 6});
    if (const qint64 more = run.eventRows() - qint64(run.events().size()); more > 0)
        flow.paragraph(QStringLiteral("The first %1 of them; the recording holds the other %2.")
                           .arg(run.events().size())
                           .arg(more),
                       PageFlow::Style::Small);

    if (!run.gaps().empty()) {
        flow.heading(QStringLiteral("Appendix: gaps in reporting over 10 s, and clock steps"), 2);
        QList<QStringList> gaps;
        for (const RunDigest::Gap& gap : run.gaps())
            gaps.push_back({utcText(gap.from), durationText(gap.seconds),
                            gap.clockStep == 0 ? QStringLiteral("no report")
                                               : QStringLiteral("the clock was set %1 by %2, or the host slept")
                                                     .arg(gap.clockStep > 0 ? "forward" : "back",
                                                          durationText(std::abs(gap.clockStep)))});
        flow.table({QStringLiteral("From"), QStringLiteral("Length"), QStringLiteral("Why")}, gaps, {1, 1, 2});
    }

    flow.heading(QStringLiteral("Appendix: the recorder's settings"), 2);
    const QString detail = run.started().detail;
    QList<QStringList> settings;
    for (const auto& [key, value] : measurement::startedDetailPairs(detail))
        settings.push_back({key, value.isEmpty() ? QStringLiteral("not given") : value, settingMeaning(key)});
    if (settings.isEmpty())
        flow.paragraph(QStringLiteral("An earlier version recorded these words only: ")
                       + measurement::startedDetailWords(detail));
    else
        flow.table({QStringLiteral("Setting"), QStringLiteral("Value"), QStringLiteral("Meaning")}, settings,
                   {1.2, 2, 4});

    flow.heading(QStringLiteral("Appendix: the file and the programs"), 2);
    const QString recorder =
        run.recorded().version.isEmpty() ? QStringLiteral("an earlier version") : run.recorded().version;
    flow.table(
        {QStringLiteral("Item"), QStringLiteral("Value")},
        {{QStringLiteral("File"), QFileInfo(options.input).absoluteFilePath()},
         {QStringLiteral("Size"), QStringLiteral("%1 bytes").arg(countText(quint64(QFileInfo(options.input).size())))},
         {QStringLiteral("SHA-256"), QString::fromLatin1(scan.sha256)},
         {QStringLiteral("Recorded by"), QStringLiteral("bermon-log %1").arg(recorder)},
         {QStringLiteral("Reported by"), QStringLiteral("bermon-report %1").arg(QLatin1String(util::kVersion))}},
        {1, 4});
}

} // namespace

QString writeReport(const ReportOptions& options, QStringList& warnings)
{
    // A file that cannot be written is said before a day of rows is read.
    OutputFile out(options.output);
    if (!out.open())
        return out.error();
    RunDigests::Choice choice;
    choice.keep = options.run > 0 ? RunDigests::Keep::One : RunDigests::Keep::Last;
    choice.one = options.run;
    choice.columns = 1600; // at least one for each of the charts' 800 pixel
                           // columns, however the run grows
    choice.limits = options.limits;
    RunDigests digests(choice);
    if (const QString error = digests.read(options.input, warnings); !error.isEmpty())
        return error;
    const RunDigest& run = *digests.runs().front();
    if (run.reports() == 0)
        return QStringLiteral("%1:%2: run %3 holds no report%4")
            .arg(options.input)
            .arg(run.started().line)
            .arg(digests.lastNumber())
            .arg(options.run > 0 ? QString() : QStringLiteral("; give the run to report with --run N"));

    QPdfWriter writer(out.device());
    writer.setPageSize(QPageSize(options.page));
    writer.setPageMargins(QMarginsF(15, 15, 15, 12), QPageLayout::Millimeter);
    writer.setResolution(600);
    const Identity identity = identityOf(run.recorded(), options.identity, warnings);
    // An archival PDF: every font embedded, the metadata in an XMP packet.
    writer.setPdfVersion(QPagedPaintDevice::PdfVersion_A1b);

    PageFlow flow(writer);
    summary(flow, run, digests.lastNumber(), digests.scan().runs, options, identity, warnings);
    flow.drawing([&run](QPainter& painter, const QRectF& area) {
        // Wide enough for the axes' labels, tall enough for the page: about 7 pt
        // type on paper.
        const int width = 800;
        const ChartLayout layout{width, int(width * area.height() / area.width()), {}, std::nullopt};
        drawRunCharts(painter, area, {&run}, layout);
    });
    appendix(flow, run, options, digests.scan());

    PdfMetadata metadata;
    metadata.title = QStringLiteral("BER test record: %1").arg(titleName(run, identity));
    metadata.author = identity.operatorName;
    metadata.subject = identity.unit;
    metadata.creator = QStringLiteral("bermon-report %1").arg(QLatin1String(util::kVersion));
    // The writer dates the document when painting begins, to the second: now.
    metadata.created = QDateTime::currentDateTimeUtc();
    writer.setTitle(metadata.title);
    writer.setCreator(metadata.creator);
    writer.setDocumentXmpMetadata(xmpPacket(metadata, QStringLiteral("Qt ") + QLatin1String(qVersion())));
    QPainter painter;
    if (!painter.begin(&writer)) {
        out.fail(QStringLiteral("cannot be written"));
        return out.error();
    }
    const bool drawn = flow.render(painter, QFileInfo(options.input).fileName(),
                                   QStringLiteral("   SHA-256 %1").arg(QString::fromLatin1(digests.scan().sha256)));
    painter.end();
    if (!drawn)
        out.fail(QStringLiteral("cannot be written"));
    return drawn && out.commit() ? QString() : out.error();
}
