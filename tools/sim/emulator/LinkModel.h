#pragma once

#include <QtGlobal>

#include <random>

namespace emulator {

// The four counters of a counter report, as the unit's 16-bit and 32-bit registers hold them.
struct LinkCounts
{
    quint16 recvFrame = 0;
    quint16 lossFrame = 0;
    quint16 errorFrame = 0;
    quint32 errorBit = 0;

    friend bool operator==(const LinkCounts&, const LinkCounts&) = default;
};

// Running totals of a link test, never wrapped.
struct LinkTotals
{
    quint64 framesSent = 0;
    quint64 framesReceived = 0;
    quint64 framesLost = 0;
    quint64 framesWithErrors = 0;
    quint64 bitErrors = 0;

    friend bool operator==(const LinkTotals&, const LinkTotals&) = default;
};

struct LinkRates
{
    double frameRate = 1000;     // test frames sent per second
    double bitErrorRate = 1e-6;  // chance that one bit of a received frame is wrong
    double frameLossRate = 0;    // chance that a sent frame is lost
};

// A running link test: frames go out at a steady rate, each is lost or received, and each bit of
// a received frame is in error independently of the others. The same seed and the same calls
// give the same counts.
class LinkModel
{
public:
    static constexpr int BitsPerFrame = 64 * 8;

    explicit LinkModel(const LinkRates& rates = {}, quint32 seed = 1);

    // Runs the test for `seconds` more; nothing happens for a time that is not positive.
    void advance(double seconds);

    LinkCounts counts() const;
    const LinkTotals& totals() const { return m_totals; }
    const LinkRates& rates() const { return m_rates; }

private:
    quint64 drawBinomial(quint64 trials, double chance);
    quint64 drawBitErrors(quint64 framesWithErrors);

    LinkRates m_rates;
    double m_frameErrorChance;  // chance that a received frame has at least one bit error
    double m_frameCarry = 0;    // the part of a frame sent but not yet counted
    LinkTotals m_totals;
    std::mt19937 m_random;
};

} // namespace emulator
