#pragma once

#include <QByteArray>
#include <QList>

#include <random>

namespace emulator {

// What one transmission of the unit does wrong.
enum class ReportFault {
    None,
    WrongMarker,  // the first byte is not the marker
    Short,        // the report breaks off after ShortReportLength bytes
    Double,       // two reports back to back in one write, so they arrive together
    Garbage,      // random bytes ahead of the report, as from noise on the line
};

constexpr int ShortReportLength = 6;
constexpr int MaxGarbageLength = 23;

// When and how a run of the unit goes wrong.
struct FaultPlan
{
    QList<ReportFault> reportFaults;  // the faulty transmissions take these in turn
    int faultEvery = 1;               // every n-th transmission is faulty
    bool burst = false;               // transmissions back to back at the line's full rate
    int hangUpAfter = -1;             // the line goes away after this many transmissions; -1: never

    // The fault of transmission `number`, counted from 1.
    ReportFault faultFor(int number) const;
};

// How many reports a transmission with `fault` carries: two for Double, else one.
int reportsCarried(ReportFault fault);

// The bytes of one transmission made of `reports` (as many as reportsCarried(fault)), spoilt as
// `fault` says. Only Garbage draws on `random`.
QByteArray shapeTransmission(ReportFault fault, const QList<QByteArray>& reports, std::mt19937& random);

} // namespace emulator
