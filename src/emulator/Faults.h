#pragma once

#include "emulator/LinkModel.h"

#include <QByteArray>
#include <QList>

#include <random>

namespace emulator {

// What one transmission of the unit does wrong.
enum class ReportFault {
    None,
    WrongMarker, // the first byte is not the marker
    Short,       // the report breaks off after kShortReportLength bytes
    Double,      // two reports back to back in one write, so they arrive together
    Garbage,     // random bytes ahead of the report, as from noise on the line
    Stray,       // one byte ahead of the report, now and then the marker itself
};

constexpr int kShortReportLength = 6;
constexpr int kMaxGarbageLength = 23;
constexpr int kStrayMarkerOneIn = 4; // a stray byte is the marker one time in this many
constexpr int kMaxPieces = 12;

// Counts whose bytes hold the marker in several places (the report reads F1 F1 F1 00 F1 01 F1
// 00 01 F1 F1 nn): a reader that takes any 0xF1 for the start of a report is led astray. They
// are consistent all the same: 497 errored frames of 61937, with 127473 bit errors.
constexpr LinkCounts kMarkerCounts{0xF1F1, 0x00F1, 0x01F1, 0x0001F1F1};

// When and how a run of the unit goes wrong.
struct FaultPlan
{
    QList<ReportFault> reportFaults; // the faulty transmissions take these in turn
    int faultEvery = 1;              // every n-th transmission is faulty
    bool burst = false;              // transmissions back to back at the line's full rate
    bool markerCounts = false;       // every report carries kMarkerCounts, back to back as in a burst
    int hangUpAfter = -1;            // the line goes away after this many transmissions; -1: never

    // The fault of transmission `number`, counted from 1.
    ReportFault faultFor(int number) const;
    bool backToBack() const { return burst || markerCounts; }
};

// How many reports a transmission with `fault` carries: two for Double, else one.
int reportsCarried(ReportFault fault);

// The bytes of one transmission made of `reports` (as many as reportsCarried(fault)), spoilt as
// `fault` says. Only Garbage and Stray draw on `random`.
QByteArray shapeTransmission(ReportFault fault, const QList<QByteArray>& reports, std::mt19937& random);

// `bytes` cut into `pieces` parts (clamped to 1 to kMaxPieces) as even as can be, the longer ones
// first; into single bytes when there are fewer bytes than pieces.
QList<QByteArray> splitIntoPieces(const QByteArray& bytes, int pieces);

} // namespace emulator
