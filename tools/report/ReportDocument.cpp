#include "ReportDocument.h"

#include "util/OutputFile.h"
#include "PageFlow.h"
#include "recording/RecordingWriter.h"
#include "charts/RunCharts.h"
#include "charts/RunDigest.h"

#include "measurement/ErrorPerformance.h"

#include <QFileInfo>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <map>

namespace {

using measurement::Bounded;
using measurement::figureText;

// Events on the first page; the appendix holds them all.
constexpr int kFirstPageEvents = 20;

QString utcText(const QDateTime& time)
{
    return time.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")) + QStringLiteral(" UTC");
}

QString localText(const QDateTime& time, const QTimeZone& zone)
{
    return time.toTimeZone(zone).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss ")) + zone.abbreviation(time)
           + QStringLiteral(" (") + QString::fromUtf8(zone.id()) + u')';
}

// "2:03:04" for seconds that may be many: gaps of a hostile file can sum past
// what milliseconds in a qint64 hold, and no figure here is ever below 0.
QString durationText(double seconds)
{
    return measurement::clockText(std::isfinite(seconds) ? qint64(std::clamp(seconds * 1000, 0.0, 9e18)) : 0);
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

QString shortDetail(const ReadRow& event)
{
    return event.is(RowEvent::Started) ? measurement::startedDetailWords(event.detail) : event.detail;
}

QString limitText(const measurement::RunSettings& recorded, const measurement::RunSettings& analysed, const auto& field,
                  const auto& show)
{
    const auto& used = analysed.*field;
    if (!used)
        return QStringLiteral("none");
    return show(*used) + ((recorded.*field) ? QString() : QStringLiteral(" (given to the report)"));
}

// The title, the notes, and where, when and from what the run was recorded.
void runSection(PageFlow& flow, const RunDigest& run, int runNumber, int runs, const ReportOptions& options,
                const QStringList& warnings)
{
    const measurement::RunSettings& recorded = run.recorded();
    const QString unit = !options.unit.isEmpty()    ? options.unit
                         : !recorded.unit.isEmpty() ? recorded.unit
                                                    : QFileInfo(recorded.device).fileName();
    flow.heading(QStringLiteral("BER test record: %1").arg(unit), 1);
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
    const QString recorder = recorded.version.isEmpty() ? QStringLiteral("an earlier version") : recorded.version;
    const QList<QStringList> rows{
        {QStringLiteral("Device"), QStringLiteral("%1 at %2 baud").arg(recorded.device).arg(recorded.baud),
         QStringLiteral("Reports"), countText(quint64(run.reports()))},
        {QStringLiteral("Duration"), durationText(end.elapsed - start.elapsed), QStringLiteral("Gaps over 10 s"), gaps},
        {QStringLiteral("Run"), QStringLiteral("%1 of %2 in %3").arg(runNumber).arg(runs).arg(options.input),
         QStringLiteral("Programs"),
         QStringLiteral("bermon-log %1, bermon-report %2").arg(recorder, measurement::programVersion())},
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

// Each limit the verdict went by, and whether the report was given it.
void limitsTable(PageFlow& flow, const RunDigest& run)
{
    const measurement::RunSettings& recorded = run.recorded();
    const measurement::RunAnalysis& analysis = run.analysis();
    const measurement::RunSettings& analysed = analysis.settings();
    const auto number = [](auto value) { return QString::number(value); };
    const auto seconds = [](qint64 value) { return QStringLiteral("%1 s").arg(value); };
    using S = measurement::RunSettings;
    QString lost = limitText(recorded, analysed, &S::maxLostFrames, number);
    if (!analysed.maxLostFrames && analysed.maxBer)
        lost = QStringLiteral("0 (a BER limit without one of its own allows none)");
    const QString duration =
        recorded.durationSeconds <= 0
            ? QStringLiteral("none")
            : durationText(recorded.durationSeconds)
                  + (analysis.reachedDuration() ? QStringLiteral(", reached") : QStringLiteral(", not reached"));
    flow.table(
        {QStringLiteral("Limit"), QStringLiteral("At most"), QStringLiteral("Limit"), QStringLiteral("At most")},
        {
            {QStringLiteral("BER"),
             limitText(recorded, analysed, &S::maxBer, [](double value) { return QString::number(value, 'g', 6); }),
             QStringLiteral("Errored seconds"), limitText(recorded, analysed, &S::maxEs, number)},
            {QStringLiteral("Lost frames"), lost, QStringLiteral("Severely errored seconds"),
             limitText(recorded, analysed, &S::maxSes, number)},
            {QStringLiteral("Duration"), duration, QStringLiteral("Unavailable time"),
             limitText(recorded, analysed, &S::maxUnavailableSeconds, seconds)},
        },
        {1.3, 2.5, 1.8, 2});
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
    static const std::map<measurement::Outcome, QString> words{
        {measurement::Outcome::Pass, QStringLiteral("PASS")},
        {measurement::Outcome::Fail, QStringLiteral("FAIL")},
        {measurement::Outcome::NotDecided, QStringLiteral("NOT DECIDED")}};
    flow.paragraph(words.at(verdict.outcome), PageFlow::Style::Bold);
    flow.paragraph(verdict.line);
    if (verdict.outcome == measurement::Outcome::NotDecided && !verdict.need.isEmpty())
        flow.paragraph(QStringLiteral("What a decision needs: ") + verdict.need);
    limitsTable(flow, run);
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
                   {QStringLiteral("Seconds from the first report"), boundedText(fixed(f.seconds), false),
                    QStringLiteral("Unknown seconds"), boundedText(fixed(f.unknown), false)},
               },
               {2.5, 1.9, 1.9, 1.9});
}

// The first events; the appendix holds them all.
void eventsSection(PageFlow& flow, const RunDigest& run)
{
    flow.heading(QStringLiteral("Events"), 2);
    QList<QStringList> events;
    for (const ReadRow& event : run.events()) {
        if (events.size() == kFirstPageEvents)
            break;
        events.push_back({utcText(event.time), event.event, shortDetail(event)});
    }
    flow.table({QStringLiteral("Time"), QStringLiteral("Event"), QStringLiteral("Detail")}, events, {2.2, 1.6, 6},
               true);
    const qsizetype more = qsizetype(run.events().size()) - kFirstPageEvents;
    if (more > 0)
        flow.paragraph(QStringLiteral("and %1 more: every event is listed in the appendix.").arg(more));
}

void summary(PageFlow& flow, const RunDigest& run, int runNumber, int runs, const ReportOptions& options,
             const QStringList& warnings)
{
    runSection(flow, run, runNumber, runs, options, warnings);
    totalsSection(flow, run);
    verdictSection(flow, run);
    errorPerformanceSection(flow, run);
    eventsSection(flow, run);
}

void appendix(PageFlow& flow, const RunDigest& run)
{
    flow.newPage();
    flow.heading(QStringLiteral("Appendix: every event"), 2);
    QList<QStringList> events;
    for (const ReadRow& event : run.events())
        events.push_back({utcText(event.time), event.event, event.detail});
    flow.table({QStringLiteral("Time"), QStringLiteral("Event"), QStringLiteral("Detail")}, events, {2.2, 1.5, 6});

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
    flow.paragraph(QStringLiteral("As the 'started' row gives them: ") + measurement::startedDetailWords(detail));
    QList<QStringList> settings;
    for (const auto& [key, value] : measurement::startedDetailPairs(detail))
        settings.push_back({key, value});
    if (!settings.isEmpty())
        flow.table({QStringLiteral("Setting"), QStringLiteral("Value")}, settings, {1, 3});
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
    writer.setTitle(QStringLiteral("BER test record: %1").arg(QFileInfo(options.input).fileName()));
    writer.setCreator(QStringLiteral("bermon-report %1").arg(measurement::programVersion()));

    PageFlow flow(writer);
    summary(flow, run, digests.lastNumber(), digests.scan().runs, options, warnings);
    flow.drawing([&run](QPainter& painter, const QRectF& area) {
        // Wide enough for the axes' labels, tall enough for the page: about 7 pt
        // type on paper.
        const int width = 800;
        const ChartLayout layout{width, int(width * area.height() / area.width()), {}, std::nullopt};
        drawRunCharts(painter, area, {&run}, layout);
    });
    appendix(flow, run);

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
