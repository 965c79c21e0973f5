#pragma once

#include "emulator/LinkConditions.h"

#include <QtGlobal>

#include <random>
#include <vector>

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

// What the unit does when a 16-bit count would pass 65535.
enum class CountOverflow {
    RestartPeriod, // a new test period begins with all four counts at 0, so they stay consistent
    Wrap,          // each register wraps on its own, as a unit with plain hardware counters does
};

struct LinkRates
{
    double frameRate = 1000;    // test frames sent per second
    double bitErrorRate = 1e-6; // chance that one bit of a received frame is wrong
    double frameLossRate = 0;   // chance that a sent frame is lost
    // Error clusters, as on a link with error correction or interleaving: with either above 1, bit
    // errors come in error events of clusterBits bit errors (at least one a frame: a smaller value
    // counts as clusterFrames) spread evenly over clusterFrames consecutive received frames, at
    // most 512 a frame. Events begin at bitErrorRate / clusterBits a bit, so the mean rate holds.
    int clusterBits = 1;
    int clusterFrames = 1;
};

// A running link test: frames go out at a steady rate, each is lost or received, and each bit of
// a received frame is in error independently of the others, or, with error clusters, in error
// events (see LinkRates). The same seed and the same calls give the same counts.
//
// An event that begins near the end of a step hits the first frames of the next. Where events
// overlap their bit errors add up, to at most 512 a frame.
//
// A step may run under a SecondCondition: in an outage every frame sent is lost (and the error
// events under way pass with the lost frames); in an errored second each received frame that the
// ordinary draws leave free of errors takes one bit error with the condition's chance. Without a
// condition nothing is drawn for it, and the counts are those of a plain step.
//
// The counts are those of the current test period. With CountOverflow::RestartPeriod a period
// ends at the start of the step of advance() that would take a 16-bit count past 65535 (a long
// step counts in parts of at most 32768 frames), so the new period holds that step's frames and
// all four counts cover the same frames.
class LinkModel
{
public:
    static constexpr int kBitsPerFrame = 64 * 8;

    explicit LinkModel(const LinkRates& rates = {}, quint32 seed = 1,
                       CountOverflow overflow = CountOverflow::RestartPeriod);

    // Runs the test for `seconds` more; nothing happens for a time that is not positive.
    void advance(double seconds) { advance(seconds, SecondCondition{}); }
    // The same, the link under `condition` all that time.
    void advance(double seconds, const SecondCondition& condition);

    LinkCounts counts() const;
    // The whole run, over every period.
    const LinkTotals& totals() const { return m_totals; }
    // The totals when the current period began.
    const LinkTotals& periodStart() const { return m_periodStart; }
    const LinkRates& rates() const { return m_rates; }

private:
    void send(double frames, const SecondCondition& condition);
    bool periodPassesRegisters() const;
    quint64 drawBinomial(quint64 trials, double chance);
    quint64 drawBitErrors(quint64 framesWithErrors);

    // Frames in a row that hold the same number of bit errors, counted from the step's first
    // received frame.
    struct ErrorRun
    {
        quint64 start;
        quint64 frames;
        quint64 bitsPerFrame;
    };
    struct FrameErrors
    {
        quint64 frames = 0;
        quint64 bits = 0;
    };
    bool clustered() const { return m_rates.clusterBits > 1 || m_rates.clusterFrames > 1; }
    FrameErrors receiveClustered(quint64 received);
    void placeEvents(std::vector<ErrorRun>& runs, quint64 events, quint64 first, quint64 frames);
    FrameErrors countRuns(const std::vector<ErrorRun>& runs, quint64 received);
    quint64 drawCoveredFrames(quint64 events, quint64 starts);
    void passAhead(quint64 frames);

    LinkRates m_rates;
    double m_frameErrorChance;     // chance that a received frame has at least one bit error
    quint64 m_eventFrames;         // frames an error event hits
    quint64 m_eventBits;           // bit errors of an error event
    std::vector<ErrorRun> m_ahead; // bit errors of events begun in earlier steps, still to come
    double m_frameCarry = 0;       // the part of a frame sent but not yet counted
    CountOverflow m_overflow;
    LinkTotals m_totals;
    LinkTotals m_periodStart;
    std::mt19937 m_random;
};

} // namespace emulator
