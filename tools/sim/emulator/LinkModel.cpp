#include "emulator/LinkModel.h"

#include <algorithm>
#include <cmath>

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

} // namespace

LinkModel::LinkModel(const LinkRates& rates, quint32 seed, CountOverflow overflow)
    : m_rates(rates)
    , m_frameErrorChance(frameErrorChance(rates.bitErrorRate))
    , m_overflow(overflow)
    , m_random(seed)
{
}

void LinkModel::advance(double seconds)
{
    if (!(seconds > 0) || !(m_rates.frameRate > 0))
        return;
    // An absurdly long step (an infinite one included) is cut short rather than overflow.
    double frames = std::min(m_rates.frameRate * seconds, kMaxFramesPerStep);
    if (m_overflow == CountOverflow::Wrap)
        return send(frames);

    // A step of more than six spans sends over 131072 frames before its last two spans, so a count
    // surely passes 65535 there: that part runs at once and the period starts after it.
    if (frames > 6 * kPeriodSpanFrames) {
        send(frames - 2 * kPeriodSpanFrames);
        m_periodStart = m_totals;
        frames = 2 * kPeriodSpanFrames;
    }
    while (frames > 0) {
        const double part = std::min(frames, kPeriodSpanFrames);
        const LinkTotals before = m_totals;
        send(part);
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

void LinkModel::send(double frames)
{
    // Frames go out on the link's steady clock; the fraction of a frame waits for the next step.
    m_frameCarry += frames;
    const double whole = std::floor(m_frameCarry);
    m_frameCarry -= whole;
    const auto sent = static_cast<quint64>(whole);

    const quint64 lost = drawBinomial(sent, m_rates.frameLossRate);
    const quint64 received = sent - lost;
    const quint64 withErrors = drawBinomial(received, m_frameErrorChance);

    m_totals.framesSent += sent;
    m_totals.framesLost += lost;
    m_totals.framesReceived += received;
    m_totals.framesWithErrors += withErrors;
    m_totals.bitErrors += drawBitErrors(withErrors);
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

} // namespace emulator
