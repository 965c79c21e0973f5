#include "emulator/LinkModel.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace emulator {

namespace {

// Up to this many errored frames in one step, their bit errors are drawn frame by frame.
constexpr quint64 kExactDrawLimit = 1000;
constexpr double kMaxFramesPerStep = 1e15;
// A period-keeping step runs in spans of at most this many frames, half a 16-bit register, so a
// period that restarts at the start of a span can hold that span.
constexpr double kPeriodSpanFrames = 32768;
constexpr quint64 kRegisterTop = 65535;

double frameErrorChance(double bitErrorRate)
{
    if (bitErrorRate >= 1)
        return 1;
    if (bitErrorRate <= 0)
        return 0;
    return -std::expm1(LinkModel::kBitsPerFrame * std::log1p(-bitErrorRate));
}

quint64 eventFrames(const LinkRates& rates)
{
    return quint64(std::max(1, rates.clusterFrames));
}

quint64 eventBits(const LinkRates& rates)
{
    const quint64 frames = eventFrames(rates);
    return std::clamp(quint64(std::max(1, rates.clusterBits)), frames, frames * LinkModel::kBitsPerFrame);
}

} // namespace

LinkModel::LinkModel(const LinkRates& rates, quint32 seed, CountOverflow overflow)
    : m_rates(rates)
    , m_frameErrorChance(frameErrorChance(rates.bitErrorRate))
    , m_eventFrames(eventFrames(rates))
    , m_eventBits(eventBits(rates))
    , m_overflow(overflow)
    , m_random(seed)
{
}

void LinkModel::advance(double seconds, const SecondCondition& condition)
{
    if (!(seconds > 0) || !(m_rates.frameRate > 0))
        return;
    // An absurdly long step (an infinite one included) is cut short rather than overflow.
    double frames = std::min(m_rates.frameRate * seconds, kMaxFramesPerStep);
    if (m_overflow == CountOverflow::Wrap)
        return send(frames, condition);

    // A step of more than six spans sends over 131072 frames before its last two spans, so a count
    // surely passes 65535 there: that part runs at once and the period starts after it.
    if (frames > 6 * kPeriodSpanFrames) {
        send(frames - 2 * kPeriodSpanFrames, condition);
        m_periodStart = m_totals;
        frames = 2 * kPeriodSpanFrames;
    }
    while (frames > 0) {
        const double part = std::min(frames, kPeriodSpanFrames);
        const LinkTotals before = m_totals;
        send(part, condition);
        if (periodPassesRegisters())
            m_periodStart = before;
        frames -= part;
    }
}

bool LinkModel::periodPassesRegisters() const
{
    return m_totals.framesReceived - m_periodStart.framesReceived > kRegisterTop
           || m_totals.framesLost - m_periodStart.framesLost > kRegisterTop
           || m_totals.framesWithErrors - m_periodStart.framesWithErrors > kRegisterTop;
}

void LinkModel::send(double frames, const SecondCondition& condition)
{
    // Frames go out on the link's steady clock; the fraction of a frame waits for the next step.
    m_frameCarry += frames;
    const double whole = std::floor(m_frameCarry);
    m_frameCarry -= whole;
    const auto sent = static_cast<quint64>(whole);

    const quint64 lost = condition.outage ? sent : drawBinomial(sent, m_rates.frameLossRate);
    const quint64 received = sent - lost;
    m_totals.framesSent += sent;
    m_totals.framesLost += lost;
    m_totals.framesReceived += received;
    FrameErrors errors;
    if (condition.outage) {
        passAhead(sent);
    } else if (clustered()) {
        errors = receiveClustered(received);
    } else {
        errors.frames = drawBinomial(received, m_frameErrorChance);
        errors.bits = drawBitErrors(errors.frames);
    }
    // An errored second hits the frames its ordinary errors left whole, one bit error each.
    const quint64 extra = drawBinomial(received - std::min(received, errors.frames), condition.erroredShare);
    m_totals.framesWithErrors += errors.frames + extra;
    m_totals.bitErrors += errors.bits + extra;
}

LinkCounts LinkModel::counts() const
{
    // Within a kept period the casts lose nothing: at most 65535 errored frames of 512 bits each
    // fit in 32 bits. In Wrap mode they are the registers overflowing.
    return {static_cast<quint16>(m_totals.framesReceived - m_periodStart.framesReceived),
            static_cast<quint16>(m_totals.framesLost - m_periodStart.framesLost),
            static_cast<quint16>(m_totals.framesWithErrors - m_periodStart.framesWithErrors),
            static_cast<quint32>(m_totals.bitErrors - m_periodStart.bitErrors)};
}

quint64 LinkModel::drawBinomial(quint64 trials, double chance)
{
    if (trials == 0 || !(chance > 0))
        return 0;
    if (chance >= 1)
        return trials;
    std::binomial_distribution<long long> draw(static_cast<long long>(trials), chance);
    return static_cast<quint64>(draw(m_random));
}

// The bit errors of frames known to hold at least one.
quint64 LinkModel::drawBitErrors(quint64 framesWithErrors)
{
    const double p = m_rates.bitErrorRate;
    if (framesWithErrors == 0)
        return 0;
    if (p >= 1)
        return framesWithErrors * kBitsPerFrame;

    if (framesWithErrors <= kExactDrawLimit) {
        // Each frame's first wrong bit lies at a geometric position cut off at the frame's end;
        // the bits after it are wrong independently.
        std::uniform_real_distribution<double> uniform;
        const double logCorrect = std::log1p(-p);
        quint64 bitsAfterFirst = 0;
        for (quint64 i = 0; i < framesWithErrors; ++i) {
            const double position = std::floor(std::log1p(-uniform(m_random) * m_frameErrorChance) / logCorrect);
            bitsAfterFirst += kBitsPerFrame - 1 - static_cast<int>(std::clamp(position, 0.0, kBitsPerFrame - 1.0));
        }
        return framesWithErrors + drawBinomial(bitsAfterFirst, p);
    }

    // Many errored frames: their sum of extra errors is normal to a close approximation, with the
    // exact mean and variance of a frame's bit errors given that it has one.
    const double meanPerFrame = kBitsPerFrame * p / m_frameErrorChance;
    const double squarePerFrame = (kBitsPerFrame * p * (1 - p) + std::pow(kBitsPerFrame * p, 2)) / m_frameErrorChance;
    const double frames = static_cast<double>(framesWithErrors);
    const double mean = frames * (meanPerFrame - 1);
    const double spread = std::sqrt(std::max(0.0, frames * (squarePerFrame - meanPerFrame * meanPerFrame)));
    const double extra = spread > 0 ? std::round(std::normal_distribution<double>(mean, spread)(m_random)) : mean;
    return framesWithErrors + static_cast<quint64>(std::clamp(extra, 0.0, frames * (kBitsPerFrame - 1)));
}

// The errors of the next `received` frames when bit errors come in error events.
LinkModel::FrameErrors LinkModel::receiveClustered(quint64 received)
{
    if (received == 0)
        return {};
    const double eventChance = std::min(1.0, m_rates.bitErrorRate / double(m_eventBits));
    // Events that begin in the last frames of the step run on into the next one: each of them is
    // placed, as are the events of a step with few. The many of a busy step, all ending within
    // it, are summed as a whole.
    const quint64 tail = std::min(received, m_eventFrames - 1);
    const quint64 body = received - tail;
    std::vector<ErrorRun> runs = std::exchange(m_ahead, {});
    const quint64 bodyEvents = drawBinomial(body * kBitsPerFrame, eventChance);
    const bool placeBody = bodyEvents <= kExactDrawLimit;
    if (placeBody)
        placeEvents(runs, bodyEvents, 0, body);
    placeEvents(runs, drawBinomial(tail * kBitsPerFrame, eventChance), body, tail);
    FrameErrors errors = countRuns(runs, received);
    if (placeBody)
        return errors;

    const quint64 covered = drawCoveredFrames(bodyEvents, body);
    // Overlapping events of a dense link fill frames up to their 512 bits.
    const quint64 bodyBits = std::min(bodyEvents * m_eventBits, covered * kBitsPerFrame);
    // The placed events and the summed ones fall on the step's frames independently.
    const auto shared = quint64(std::round(double(errors.frames) * double(covered) / double(received)));
    errors.frames += covered - std::min(shared, covered);
    errors.bits = std::min(errors.bits + bodyBits, errors.frames * kBitsPerFrame);
    return errors;
}

// Each event begins at a random one of `frames` frames from `first` and hits the frames after it,
// the first frames taking one bit error more where the event's bits do not share out evenly.
void LinkModel::placeEvents(std::vector<ErrorRun>& runs, quint64 events, quint64 first, quint64 frames)
{
    if (events == 0)
        return;
    std::uniform_int_distribution<quint64> startAt(first, first + frames - 1);
    const quint64 share = m_eventBits / m_eventFrames;
    const quint64 more = m_eventBits % m_eventFrames;
    for (quint64 i = 0; i < events; ++i) {
        const quint64 start = startAt(m_random);
        if (more > 0)
            runs.push_back({start, more, share + 1});
        runs.push_back({start + more, m_eventFrames - more, share});
    }
}

// The errored frames and bit errors that `runs` put in the first `received` frames; what lies
// beyond them is kept for the next step.
LinkModel::FrameErrors LinkModel::countRuns(const std::vector<ErrorRun>& runs, quint64 received)
{
    // A run adds its bits to each frame from its start on, and takes them away at its end.
    std::vector<std::pair<quint64, qint64>> edges;
    edges.reserve(2 * runs.size());
    for (const ErrorRun& run : runs) {
        edges.emplace_back(run.start, qint64(run.bitsPerFrame));
        edges.emplace_back(run.start + run.frames, -qint64(run.bitsPerFrame));
    }
    std::ranges::sort(edges);

    FrameErrors errors;
    qint64 level = 0;
    for (size_t i = 0; i + 1 < edges.size(); ++i) {
        level += edges[i].second;
        const quint64 from = edges[i].first;
        const quint64 to = edges[i + 1].first;
        if (level <= 0 || from == to)
            continue;
        const auto bits = quint64(std::min<qint64>(level, kBitsPerFrame));
        if (from < received) {
            const quint64 frames = std::min(to, received) - from;
            errors.frames += frames;
            errors.bits += frames * bits;
        }
        if (to > received) {
            const quint64 start = std::max(from, received);
            m_ahead.push_back({start - received, to - start, bits});
        }
    }
    return errors;
}

// The frames that `events` events hit, each beginning at a random one of `starts` frames: each
// event adds the frames up to the next one's start, at most its own. That sum is normal to a close
// approximation, with the gaps between starts taken as exponential and held to their total.
quint64 LinkModel::drawCoveredFrames(quint64 events, quint64 starts)
{
    const double n = double(events);
    const double gap = double(starts) / n;
    const double span = double(m_eventFrames);
    const double a = span / gap;
    const double missed = -std::expm1(-a) - a * std::exp(-a); // 1 - e^-a (1 + a), kept exact for small a
    const double meanAdded = gap * -std::expm1(-a);
    const double varianceAdded = 2 * gap * gap * missed - meanAdded * meanAdded;
    // Less the part that goes with the gap itself, since the gaps sum to the step.
    const double withGap = gap * missed; // covariance of the frames added and the gap, over the gap
    const double spread = std::sqrt(std::max(0.0, n * (varianceAdded - withGap * withGap)));
    const double mean = n * meanAdded;
    const double drawn = std::round(spread > 0 ? std::normal_distribution<double>(mean, spread)(m_random) : mean);
    const double most = std::min(n * span, double(starts) + span - 1);
    return quint64(std::clamp(drawn, span, most));
}

// The bit errors still to come of events under way fall on frames that are lost: the next `frames`
// frames sent.
void LinkModel::passAhead(quint64 frames)
{
    std::vector<ErrorRun> left;
    for (const ErrorRun& run : m_ahead) {
        if (run.start + run.frames <= frames)
            continue;
        const quint64 start = std::max(run.start, frames);
        left.push_back({start - frames, run.start + run.frames - start, run.bitsPerFrame});
    }
    m_ahead = std::move(left);
}

} // namespace emulator
