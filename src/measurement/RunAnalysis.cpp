#include "measurement/RunAnalysis.h"

#include "measurement/ConfidenceBound.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace measurement {

namespace {

QString plural(quint64 count, const char* one, const char* many)
{
    return QStringLiteral("%1 %2").arg(count).arg(QLatin1String(count == 1 ? one : many));
}

QString percent(double confidence)
{
    return QString::number(confidence * 100, 'g', 6);
}

QString limitText(double value)
{
    return QString::number(value, 'g', 6);
}

// "3 errors in 3.04e+08 bits, 95 % confidence"
QString evidence(const RunAnalysis& run)
{
    return QStringLiteral("%1 in %2 bits, %3 % confidence")
        .arg(plural(run.bitErrors(), "error", "errors"), figureText(double(run.bits())),
             percent(run.settings().confidence));
}

QString lostText(const RunAnalysis& run)
{
    const quint64 lost = run.lostFrames();
    if (lost == 0)
        return QStringLiteral("no frame lost");
    return QStringLiteral("%1, %2 of them before the first report, standing for %3 bit errors")
        .arg(plural(lost, "frame lost", "frames lost"))
        .arg(run.lostBeforeFirstReport())
        .arg(lost * kBitsPerFrame);
}

QString clusterText(const RunAnalysis& run, const ClusterTest& clusters)
{
    const quint64 errorFrames = run.totals().errorFrame;
    QString text;
    if (errorFrames > 0) {
        const double ber = double(run.bitErrors()) / double(run.bits());
        const QString perFrame = figureText(double(run.bitErrors()) / double(errorFrames));
        text = QStringLiteral("%1 %2 per errored frame (%3 if independent), ")
                   .arg(perFrame, perFrame == QLatin1String("1") ? QStringLiteral("bit") : QStringLiteral("bits"),
                        figureText(bitsPerErrorFrameIfIndependent(ber)));
    }
    if (!clusters.tested)
        return text + QStringLiteral("errors not tested for clustering");
    return text
           + QStringLiteral("dispersion %1 over %2 intervals, %3")
                 .arg(figureText(clusters.dispersion))
                 .arg(clusters.groups)
                 .arg(clusters.clustered ? QStringLiteral("clustered") : QStringLiteral("not clustered"));
}

// How long `bits` take at the run's bit rate, or nothing when it is not known.
QString timeFor(const RunAnalysis& run, double bits)
{
    const double rate = run.bitRate();
    if (!(rate > 0))
        return {};
    const double seconds = bits / rate;
    return seconds < 1 ? QStringLiteral("under a second") : clockText(qint64(std::min(seconds, 1e12) * 1000));
}

QString bitsNeeded(const RunAnalysis& run, double bits, const QString& what)
{
    const QString time = timeFor(run, bits);
    return QStringLiteral("%1 more bits %2%3")
        .arg(figureText(std::ceil(bits)), what,
             time.isEmpty() ? QString() : QStringLiteral(", about %1 at the run's bit rate").arg(time));
}

QString yesNo(bool value)
{
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString pairNumber(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 9) : QStringLiteral("none");
}

} // namespace

RunAnalysis::RunAnalysis(const RunSettings& settings)
    : m_settings(settings)
    , m_totals(settings.counters)
    , m_performance(settings.counters, lineTiming(settings))
    , m_upperMeans(settings.confidence)
{
}

LineTiming lineTiming(const RunSettings& settings)
{
    // A report's 12 bytes of 10 bits each, start and stop bit included.
    return {settings.baud > 0 ? 12.0 * 10 * 1000 / settings.baud : 0.0, qint64(std::ceil(settings.latencyMs))};
}

TotalsStep RunAnalysis::add(const RunMoment& at, const ReportCounts& counts)
{
    const qint64 msSinceEpoch = at.elapsedMs; // the run's own clock: a step of the wall clock changes no rate
    const TotalsStep step = m_totals.add(counts);
    m_performance.add(at, counts, step);
    if (step.increment)
        m_intervals.add({step.increment->recvFrame * kBitsPerFrame, step.increment->errorBit});
    if (m_reports == 0) {
        m_firstMs = msSinceEpoch;
        m_bitsAtFirst = m_totals.bits();
    }
    m_lastMs = msSinceEpoch;
    ++m_reports;
    return step;
}

double RunAnalysis::berUpper() const
{
    const double mean = m_upperMeans(bitErrors());
    return bits() > 0 ? mean / double(bits()) : std::nan("");
}

double RunAnalysis::berLower() const
{
    return berLowerBound(bitErrors(), bits(), m_settings.confidence);
}

ClusterTest RunAnalysis::clusters() const
{
    return testClusters(m_intervals.intervals(), m_settings.confidence);
}

double RunAnalysis::reportedSeconds() const
{
    return m_reports > 0 ? double(m_lastMs - m_firstMs) / 1000 : 0;
}

double RunAnalysis::bitRate() const
{
    const double seconds = reportedSeconds();
    return seconds > 0 ? double(bits() - m_bitsAtFirst) / seconds : std::nan("");
}

namespace {

// What the BER and the lost frames come to, before it is put in words.
enum class BerCase {
    NotAsked, // neither a BER limit nor a lost-frame limit
    NoReport,
    TooManyLost,
    LostWithinLimit, // lost frames are all that is limited
    NoBits,
    AboveLimit,
    TooFewIntervals, // clustered errors in too few intervals to tell
    BelowLimit,
    LimitBetweenBounds,
};

struct BerDecision
{
    BerCase kind = BerCase::NotAsked;
    bool clustered = false; // tested, and the errors come in bursts
    bool poissonPasses = false;
    bool robustPasses = false;
};

BerDecision decideBerLimit(const RunAnalysis& run, const ClusterTest& clusters);

BerDecision decideBer(const RunAnalysis& run, const ClusterTest& clusters)
{
    const RunSettings& settings = run.settings();
    if (!settings.berVerdictAsked())
        return {BerCase::NotAsked};
    if (run.reports() == 0)
        return {BerCase::NoReport};
    if (run.lostFrames() > settings.allowedLostFrames())
        return {BerCase::TooManyLost};
    if (!settings.maxBer)
        return {BerCase::LostWithinLimit};
    return decideBerLimit(run, clusters);
}

// The BER against its limit, whatever the lost frames.
BerDecision decideBerLimit(const RunAnalysis& run, const ClusterTest& clusters)
{
    if (run.reports() == 0)
        return {BerCase::NoReport};
    if (run.bits() == 0)
        return {BerCase::NoBits};

    const double maxBer = *run.settings().maxBer;
    BerDecision decision;
    decision.clustered = clusters.tested && clusters.clustered;
    const bool tooFewIntervals = clusters.groupsWithErrors < kMinGroupsWithErrors;
    if (run.berLower() > maxBer && (!decision.clustered || clusters.robustLower > maxBer || tooFewIntervals)) {
        decision.kind = BerCase::AboveLimit;
        return decision;
    }
    if (decision.clustered && tooFewIntervals) {
        decision.kind = BerCase::TooFewIntervals;
        return decision;
    }
    decision.poissonPasses = run.berUpper() <= maxBer;
    decision.robustPasses = !decision.clustered || clusters.robustUpper <= maxBer;
    decision.kind = decision.poissonPasses && decision.robustPasses ? BerCase::BelowLimit : BerCase::LimitBetweenBounds;
    return decision;
}

Outcome outcomeOf(BerCase kind)
{
    switch (kind) {
    case BerCase::NotAsked:
        return Outcome::NoVerdict;
    case BerCase::TooManyLost:
    case BerCase::AboveLimit:
        return Outcome::Fail;
    case BerCase::LostWithinLimit:
    case BerCase::BelowLimit:
        return Outcome::Pass;
    case BerCase::NoReport:
    case BerCase::NoBits:
    case BerCase::TooFewIntervals:
    case BerCase::LimitBetweenBounds:
        break;
    }
    return Outcome::NotDecided;
}

// The figures of a BER verdict as key=value pairs.
QString berFigures(const RunAnalysis& run, const ClusterTest& clusters)
{
    const ReportCounts totals = run.totals();
    return keyValueText({
        {"run_bits", QString::number(run.bits())},
        {"run_bit_errors", QString::number(run.bitErrors())},
        {"run_frames", QString::number(totals.recvFrame)},
        {"run_lost_frames", QString::number(run.lostFrames())},
        {"lost_before_first_report", QString::number(run.lostBeforeFirstReport())},
        {"run_error_frames", QString::number(totals.errorFrame)},
        {"ber_lower", pairNumber(run.berLower())},
        {"ber_upper", pairNumber(run.berUpper())},
        {"bits_per_error_frame",
         pairNumber(totals.errorFrame > 0 ? double(run.bitErrors()) / double(totals.errorFrame) : NAN)},
        {"bits_per_error_frame_if_independent",
         pairNumber(run.bits() > 0 ? bitsPerErrorFrameIfIndependent(double(run.bitErrors()) / double(run.bits()))
                                   : NAN)},
        {"dispersion", pairNumber(clusters.dispersion)},
        {"clustered", clusters.tested ? yesNo(clusters.clustered) : QStringLiteral("untested")},
        {"groups", QString::number(clusters.groups)},
        {"groups_with_errors", QString::number(clusters.groupsWithErrors)},
        {"robust_lower", pairNumber(clusters.tested ? clusters.robustLower : NAN)},
        {"robust_upper", pairNumber(clusters.tested ? clusters.robustUpper : NAN)},
    });
}

// What a decision needs when the limit lies between the bounds: the bits a
// pass needs, with no further error for the Poisson bound; at this error rate
// for the robust one, which narrows as the square root of the bits. Clustered
// errors at or above the limit only ever come to a fail.
QString bitsToDecide(const RunAnalysis& run, const ClusterTest& clusters, const BerDecision& decision)
{
    const double maxBer = *run.settings().maxBer;
    if (decision.clustered && !decision.robustPasses && clusters.ber >= maxBer)
        return QStringLiteral("more bits for a fail at this error rate");
    double more = 0;
    QString how;
    if (!decision.poissonPasses) {
        more = double(run.bits()) * (run.berUpper() / maxBer - 1);
        how = QStringLiteral("with no further error for a pass");
    }
    if (decision.clustered && !decision.robustPasses) {
        const double scale = std::pow((clusters.robustUpper - clusters.ber) / (maxBer - clusters.ber), 2);
        if (const double robustMore = double(run.bits()) * (scale - 1); robustMore > more) {
            more = robustMore;
            how = QStringLiteral("at this error rate for a pass");
        }
    }
    return bitsNeeded(run, more, how);
}

struct BerWords
{
    QString head;
    QString need;
};

BerWords wordBerDecision(const RunAnalysis& run, const ClusterTest& clusters, const BerDecision& decision)
{
    const quint64 lost = run.lostFrames();
    const quint64 allowedLost = run.settings().allowedLostFrames();
    const QString limit = run.settings().maxBer ? limitText(*run.settings().maxBer) : QString();
    const QString lower = figureText(run.berLower());
    const QString upper = figureText(run.berUpper());
    switch (decision.kind) {
    case BerCase::NotAsked:
        return {};
    case BerCase::NoReport:
        return {QStringLiteral("not decided: no report came"), QStringLiteral("no report yet")};
    case BerCase::TooManyLost:
        return {QStringLiteral("fail: %1, more than the %2 allowed")
                    .arg(plural(lost, "frame lost", "frames lost"))
                    .arg(allowedLost),
                QStringLiteral("fail: %1 lost, more bits cannot help").arg(plural(lost, "frame", "frames"))};
    case BerCase::LostWithinLimit:
        return {QStringLiteral("pass: %1, at most the %2 allowed")
                    .arg(plural(lost, "frame lost", "frames lost"))
                    .arg(allowedLost),
                QStringLiteral("pass so far")};
    case BerCase::NoBits:
        return {QStringLiteral("not decided: no bits counted"), QStringLiteral("no bits yet")};
    case BerCase::AboveLimit:
        return {QStringLiteral("fail: BER above %1, above %2").arg(lower, limit), QStringLiteral("fail")};
    case BerCase::TooFewIntervals: {
        const int missing = kMinGroupsWithErrors - clusters.groupsWithErrors;
        const QString need = QStringLiteral("%1 more %2")
                                 .arg(missing)
                                 .arg(QLatin1String(missing == 1 ? "interval with errors" : "intervals with errors"));
        return {QStringLiteral("not decided: errors come in bursts in too few intervals (%1 of the %2 "
                               "needed hold errors); a decision needs %3")
                    .arg(clusters.groupsWithErrors)
                    .arg(kMinGroupsWithErrors)
                    .arg(need),
                need};
    }
    case BerCase::BelowLimit: {
        QString head = QStringLiteral("pass: BER below %1").arg(upper);
        if (decision.clustered)
            head += QStringLiteral(" and below %1 allowing for clusters").arg(figureText(clusters.robustUpper));
        return {head + QStringLiteral(", at or below %1").arg(limit), QStringLiteral("pass so far")};
    }
    case BerCase::LimitBetweenBounds:
        break;
    }
    const QString head =
        decision.clustered
            ? QStringLiteral("not decided: the limit %1 lies between the bounds %2 and %3 allowing for clusters")
                  .arg(limit, figureText(clusters.robustLower), figureText(clusters.robustUpper))
            : QStringLiteral("not decided: the limit %1 lies between the bounds %2 and %3").arg(limit, lower, upper);
    const QString need = bitsToDecide(run, clusters, decision);
    return {head + QStringLiteral("; a decision needs ") + need, need};
}

// The verdict on the BER and the lost frames alone: decided, then worded.
Verdict berVerdict(const RunAnalysis& run)
{
    const ClusterTest clusters = run.clusters();
    const BerDecision decision = decideBer(run, clusters);
    const BerWords words = wordBerDecision(run, clusters, decision);
    Verdict verdict;
    verdict.outcome = outcomeOf(decision.kind);
    verdict.head = words.head;
    verdict.need = words.need;
    verdict.figures = berFigures(run, clusters);
    const QString ber = run.bits() > 0 ? QStringLiteral("%1; ").arg(evidence(run)) : QString();
    verdict.evidence = ber + lostText(run) + QStringLiteral("; ") + clusterText(run, clusters);
    return verdict;
}

// The verdict on error performance alone: fail once a least passes its
// limit, pass once the run lasted its duration with every most within its
// limit.
struct PerformanceJudgement
{
    Outcome outcome = Outcome::NoVerdict;
    QString text;
    QString need;
};

PerformanceJudgement judgePerformance(const RunAnalysis& run, const ErrorPerformanceFigures& f)
{
    const RunSettings& settings = run.settings();
    struct Limit
    {
        const char* name;
        Bounded figure;
        std::optional<qint64> allowed;
    };
    const Limit limits[] = {{"errored seconds", f.es, settings.maxEs},
                            {"severely errored seconds", f.ses, settings.maxSes},
                            {"unavailable seconds", f.unavailable, settings.maxUnavailableSeconds}};
    QStringList over, open, within;
    for (const Limit& limit : limits) {
        if (!limit.allowed)
            continue;
        const double allowed = double(*limit.allowed);
        const QString figure = QStringLiteral("%1 %2").arg(limit.figure.text(), QLatin1String(limit.name));
        if (limit.figure.least > allowed)
            over << QStringLiteral("%1, more than the %2 allowed").arg(figure).arg(*limit.allowed);
        else if (limit.figure.most > allowed)
            open << QStringLiteral("%1: the limit %2 lies between the least %3 and the most %4")
                        .arg(QLatin1String(limit.name))
                        .arg(*limit.allowed)
                        .arg(limit.figure.least)
                        .arg(limit.figure.most);
        else
            within << QStringLiteral("%1, at most the %2 allowed").arg(figure).arg(*limit.allowed);
    }
    if (settings.maxSilenceSeconds) {
        const double silence = double(run.performance().longestSilenceMs()) / 1000;
        if (silence >= *settings.maxSilenceSeconds)
            over << QStringLiteral("no report for %1 s, the --max-silence of %2 s reached")
                        .arg(figureText(silence), limitText(*settings.maxSilenceSeconds));
        else
            within << QStringLiteral("at most %1 s without a report, less than the --max-silence of %2 s")
                          .arg(figureText(silence), limitText(*settings.maxSilenceSeconds));
    }
    if (!over.isEmpty())
        return {Outcome::Fail, over.join(QStringLiteral("; ")), QStringLiteral("fail: more bits cannot help")};
    // Limits that no second has been measured against pass nothing.
    if (f.seconds == 0)
        return {Outcome::NotDecided,
                run.reports() == 0 ? QStringLiteral("no report came") : QStringLiteral("no second measured"),
                QStringLiteral("no report yet")};
    if (!open.isEmpty())
        return {Outcome::NotDecided, open.join(QStringLiteral("; ")),
                QStringLiteral("error performance between the limits")};
    if (!run.reachedDuration()) {
        const QString why =
            settings.durationSeconds > 0
                ? QStringLiteral("%1 so far, but the run ended before its --duration of %2")
                      .arg(within.join(QStringLiteral("; ")), clockText(qint64(settings.durationSeconds * 1000)))
                : QStringLiteral("%1 so far, but a pass on error performance needs a --duration")
                      .arg(within.join(QStringLiteral("; ")));
        return {Outcome::NotDecided, why, QLatin1String(kPerformanceWithinSoFar)};
    }
    return {Outcome::Pass, within.join(QStringLiteral("; ")), QStringLiteral("pass so far")};
}

// "ES 3, SES [0,1], 0 unavailable of 900 seconds, 2 unknown"
QString performanceText(const ErrorPerformanceFigures& f)
{
    QString text = QStringLiteral("ES %1, SES %2, %3 unavailable of %4 seconds")
                       .arg(f.es.text(), f.ses.text(), f.unavailable.text())
                       .arg(f.seconds);
    if (f.unknown > 0)
        text += QStringLiteral(", %1 unknown").arg(f.unknown);
    return text;
}

QString withoutOutcome(const QString& head)
{
    return head.mid(head.indexOf(QStringLiteral(": ")) + 2);
}

} // namespace

Verdict decide(const RunAnalysis& run)
{
    static const char* const kNames[] = {"none", "pass", "fail", "not decided"};
    Verdict verdict = berVerdict(run);
    const ErrorPerformanceFigures performance = run.performance().figures();
    if (run.settings().performanceLimited()) {
        const PerformanceJudgement judged = judgePerformance(run, performance);
        const Verdict ber = verdict;
        const bool berAsked = ber.outcome != Outcome::NoVerdict;
        if (!berAsked || judged.outcome == Outcome::Fail || ber.outcome == Outcome::Fail)
            verdict.outcome = judged.outcome == Outcome::Fail || !berAsked ? judged.outcome : Outcome::Fail;
        else if (judged.outcome == Outcome::Pass && ber.outcome == Outcome::Pass)
            verdict.outcome = Outcome::Pass;
        else
            verdict.outcome = Outcome::NotDecided;
        // The head names what decided the outcome: every part that fails, or
        // every part not passed yet, or all of them for a pass.
        QStringList parts;
        if (berAsked && (ber.outcome == verdict.outcome || verdict.outcome == Outcome::Pass))
            parts << withoutOutcome(ber.head);
        if (judged.outcome == verdict.outcome || verdict.outcome == Outcome::Pass)
            parts << judged.text;
        verdict.head =
            QLatin1String(kNames[int(verdict.outcome)]) + QStringLiteral(": ") + parts.join(QStringLiteral("; "));
        if (verdict.outcome == Outcome::Fail)
            verdict.need = ber.outcome == Outcome::Fail ? ber.need : judged.need;
        else if (verdict.outcome == Outcome::NotDecided && berAsked && ber.outcome == Outcome::NotDecided)
            verdict.need =
                judged.outcome == Outcome::NotDecided ? ber.need + QStringLiteral("; ") + judged.need : ber.need;
        else
            verdict.need = judged.need;
        verdict.evidence += QStringLiteral("; ") + performanceText(performance);
    }
    if (verdict.outcome != Outcome::NoVerdict)
        verdict.line = verdict.head + QStringLiteral(" (") + verdict.evidence + QLatin1Char(')');
    verdict.figures = keyValueText({{"verdict", QLatin1String(kNames[int(verdict.outcome)])}}) + QLatin1Char(' ')
                      + verdict.figures + QLatin1Char(' ') + performancePairs(performance);
    return verdict;
}

QString outcomeWord(Outcome outcome)
{
    static const char* const kWords[] = {"", "PASS", "FAIL", "NOT DECIDED"};
    return QLatin1String(kWords[int(outcome)]);
}

QString durationText(double seconds)
{
    // Gaps of a hostile file can sum past what milliseconds in a qint64 hold.
    const double whole = std::isfinite(seconds) ? std::clamp(std::round(seconds), 0.0, 9e15) : 0;
    return clockText(qint64(whole) * 1000);
}

namespace {

Criterion criterionRow(const QString& name, const QString& limit, const QString& measured)
{
    Criterion criterion;
    criterion.name = name;
    criterion.limit = limit;
    criterion.measured = measured;
    return criterion;
}

QString atMost(const QString& limit)
{
    return QStringLiteral("at most ") + limit;
}

Criterion berCriterion(const RunAnalysis& run)
{
    const RunSettings& settings = run.settings();
    Criterion ber = criterionRow(QStringLiteral("BER at %1 % confidence").arg(percent(settings.confidence)),
                                 atMost(limitText(*settings.maxBer)), {});
    ber.measured = run.bits() > 0 ? QStringLiteral("[%1, %2]").arg(figureText(run.berLower()), figureText(run.berUpper()))
                                  : QStringLiteral("no bits");
    const ClusterTest clusters = run.clusters();
    const BerDecision decision = decideBerLimit(run, clusters);
    ber.outcome = outcomeOf(decision.kind);
    const QString allowing = decision.clustered ? QStringLiteral(" allowing for clusters") : QString();
    switch (decision.kind) {
    case BerCase::NoReport:
        ber.reason = QStringLiteral("no report came");
        break;
    case BerCase::NoBits:
        ber.reason = QStringLiteral("no bits counted");
        break;
    case BerCase::AboveLimit:
        ber.reason = QStringLiteral("the lower bound is above the limit");
        break;
    case BerCase::BelowLimit:
        ber.reason = QStringLiteral("the upper bound is within the limit") + allowing;
        break;
    case BerCase::TooFewIntervals:
        ber.reason = QStringLiteral("errors in bursts in too few intervals (%1 of %2)")
                         .arg(clusters.groupsWithErrors)
                         .arg(kMinGroupsWithErrors);
        break;
    default:
        ber.reason = QStringLiteral("the limit lies between the bounds") + allowing + QStringLiteral("; ")
                     + bitsToDecide(run, clusters, decision);
        break;
    }
    return ber;
}

Criterion lostFramesCriterion(const RunAnalysis& run)
{
    const RunSettings& settings = run.settings();
    const quint64 lost = run.lostFrames();
    Criterion frames = criterionRow(QStringLiteral("Lost frames"),
                                    atMost(QString::number(settings.allowedLostFrames())), QString::number(lost));
    frames.outcome = run.reports() == 0                    ? Outcome::NotDecided
                     : lost > settings.allowedLostFrames() ? Outcome::Fail
                                                           : Outcome::Pass;
    if (run.reports() == 0)
        frames.reason = QStringLiteral("no report came");
    else if (run.lostBeforeFirstReport() > 0)
        frames.reason = QStringLiteral("%1 of them before the first report").arg(run.lostBeforeFirstReport());
    return frames;
}

// ES, SES, unavailable time and the longest silence, each as limited.
void performanceCriteria(const RunAnalysis& run, std::vector<Criterion>& rows)
{
    const RunSettings& settings = run.settings();
    // Error performance passes only at the end of the whole --duration.
    const ErrorPerformanceFigures f = run.performance().figures();
    const QString early = settings.durationSeconds > 0 ? QStringLiteral("within the limit, but the run ended early")
                                                       : QStringLiteral("within the limit; a pass needs a --duration");
    // `over`: the least is past the limit; `open`: only the most is.
    const auto judged = [&](Criterion criterion, bool over, bool open) {
        if (over) {
            criterion.outcome = Outcome::Fail;
        } else if (f.seconds == 0) {
            criterion.reason = QStringLiteral("no second measured");
        } else if (open) {
            criterion.reason = QStringLiteral("the limit lies between the least and the most");
        } else if (!run.reachedDuration()) {
            criterion.reason = early;
        } else {
            criterion.outcome = Outcome::Pass;
        }
        rows.push_back(criterion);
    };
    struct Limit
    {
        const char* name;
        Bounded figure;
        std::optional<qint64> allowed;
        const char* unit;
    };
    const Limit limits[] = {{"Errored seconds (ES)", f.es, settings.maxEs, ""},
                            {"Severely errored seconds (SES)", f.ses, settings.maxSes, ""},
                            {"Unavailable time", f.unavailable, settings.maxUnavailableSeconds, " s"}};
    for (const Limit& limit : limits)
        if (limit.allowed)
            judged(criterionRow(QLatin1String(limit.name),
                                atMost(QString::number(*limit.allowed) + QLatin1String(limit.unit)),
                                limit.figure.text() + QLatin1String(limit.unit)),
                   limit.figure.least > double(*limit.allowed), limit.figure.most > double(*limit.allowed));
    if (settings.maxSilenceSeconds) {
        const double silence = double(run.performance().longestSilenceMs()) / 1000;
        judged(criterionRow(QStringLiteral("Longest time without a report"),
                            QStringLiteral("under %1 s").arg(limitText(*settings.maxSilenceSeconds)),
                            QStringLiteral("%1 s").arg(figureText(silence))),
               silence >= *settings.maxSilenceSeconds, false);
    }
}

Criterion durationCriterion(const RunAnalysis& run, double runSeconds)
{
    const RunSettings& settings = run.settings();
    if (settings.durationSeconds <= 0) {
        Criterion duration =
            criterionRow(QStringLiteral("Duration"), QStringLiteral("none given"), durationText(runSeconds));
        duration.reason = QStringLiteral("error performance passes only at a --duration's end");
        return duration;
    }
    Criterion duration = criterionRow(QStringLiteral("Duration"),
                                      QStringLiteral("the whole %1").arg(durationText(settings.durationSeconds)),
                                      durationText(runSeconds));
    duration.outcome = run.reachedDuration() ? Outcome::Pass : Outcome::NotDecided;
    if (!run.reachedDuration())
        duration.reason = QStringLiteral("stopped %1 before its end")
                              .arg(durationText(std::round(settings.durationSeconds) - std::round(runSeconds)));
    return duration;
}

} // namespace

std::vector<Criterion> criteria(const RunAnalysis& run, double runSeconds)
{
    const RunSettings& settings = run.settings();
    std::vector<Criterion> rows;
    if (settings.maxBer)
        rows.push_back(berCriterion(run));
    if (settings.berVerdictAsked())
        rows.push_back(lostFramesCriterion(run));
    if (!settings.performanceLimited())
        return rows;
    performanceCriteria(run, rows);
    rows.push_back(durationCriterion(run, runSeconds));
    return rows;
}

QString performancePairs(const ErrorPerformanceFigures& f)
{
    QList<std::pair<QString, QString>> pairs;
    for (const auto& [name, figure] : namedFigures(f))
        pairs.append({QLatin1String(name), figure.text()});
    return keyValueText(pairs);
}

double bitsPerErrorFrameIfIndependent(double ber)
{
    if (!(ber > 0))
        return 1;
    if (ber >= 1)
        return double(kBitsPerFrame);
    // 512 p / P(at least one error in 512 bits)
    return double(kBitsPerFrame) * ber / -std::expm1(double(kBitsPerFrame) * std::log1p(-ber));
}

QString clockText(qint64 ms)
{
    const qint64 s = ms / 1000;
    const QString clock = QStringLiteral("%1:%2:%3")
                              .arg(s / 3600 % 24)
                              .arg(s / 60 % 60, 2, 10, QLatin1Char('0'))
                              .arg(s % 60, 2, 10, QLatin1Char('0'));
    return s >= 86400 ? QStringLiteral("%1d %2").arg(s / 86400).arg(clock) : clock;
}

QString figureText(double value)
{
    return std::isfinite(value) ? QString::number(value, 'g', 3) : QStringLiteral("N/A");
}

} // namespace measurement
