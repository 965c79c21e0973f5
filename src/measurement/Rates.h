#pragma once

#include "measurement/CounterReport.h"
#include "measurement/StatusView.h"

#include <QString>

#include <array>

namespace measurement {

// Bits in one test frame: 64 bytes of 8 bits.
inline constexpr quint64 kBitsPerFrame = 64 * 8;

// Text shown by a rate display whose denominator is zero.
inline const QString kNotAvailable = QStringLiteral("N/A");

// Short scientific text of a bit error rate: "0.0 E+0", "1.0 E+0", or the
// first five characters of the mantissa m (1 < m <= 10 for rates below 1)
// followed by " E-" and the number of decimal shifts. Empty for a negative
// value, "N/A" for one that is not finite.
QString formatBer(double a);

// The rate as a percentage with two decimals in the default locale, "0.20%".
QString percentText(float rate);

// The four rates in single precision, computed as the window computes them:
// a zero denominator gives NaN.
float berWithoutLoss(quint64 errorBit, quint64 recvFrame);
float berWithLoss(quint64 errorBit, quint64 recvFrame, quint64 lossFrame);
float perWithoutLoss(quint64 errorFrame, quint64 recvFrame);
float perWithLoss(quint64 errorFrame, quint64 recvFrame, quint64 lossFrame);

struct RateValues
{
    float ber = 0;
    float berLoss = 0;
    float per = 0;
    float perLoss = 0;
};

RateValues computeRates(const ReportCounts& counts);

// The texts of the four rate displays, BER, BER with loss, PER and PER with
// loss, that the window's rate steps (applyRates) write for these counts.
std::array<QString, 4> rateTexts(const ReportCounts& counts);

// Computes BER and PER, without and with lost frames, from the texts of the
// count displays and writes the four rate displays. Each computation and each
// write is a step of its own: a step that fails leaves its display as it was.
void applyRates(StatusView& view);

// Puts the eight status displays back to their start texts.
void resetStatus(StatusView& view);

} // namespace measurement
