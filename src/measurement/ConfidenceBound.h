#pragma once

#include <QtGlobal>

namespace measurement {

// Exact one-sided Poisson confidence bounds on a bit error ratio. Bit errors
// on a link without sync loss are rare and independent, so E errors in N bits
// are a Poisson count with mean N x BER.

// The mean λ with P(Poisson(λ) <= errors) = 1 - confidence: the upper bound on
// the mean count. For 0 errors this is -ln(1 - confidence).
double poissonUpperMean(quint64 errors, double confidence);

// poissonUpperMean for error counts that mostly grow a little at a time, as
// a run's do. A fresh inversion costs more the larger the count (some 30 µs
// at ten million errors); from the mean for the count before, a step or two
// of Halley's method on the distribution's own recurrence find the next one
// in under half a microsecond, to the same digits. Fresh ones still come after a
// fall, a large step, and every kFreshEvery counts, so that rounding cannot
// add up.
class PoissonUpperMeans
{
public:
    explicit PoissonUpperMeans(double confidence)
        : m_confidence(confidence)
    {
    }
    double operator()(quint64 errors);

    static constexpr int kFreshEvery = 1000;

private:
    double m_confidence;
    quint64 m_errors = ~0ull; // of m_mean; none yet
    double m_mean = 0;
    int m_followed = 0; // means followed from the one before since the last fresh one
};

// The mean λ with P(Poisson(λ) >= errors) = 1 - confidence: the lower bound;
// 0 for 0 errors.
double poissonLowerMean(quint64 errors, double confidence);

// The bounds on the BER after `errors` bit errors in `bits` bits; not finite
// when no bit has been counted.
double berUpperBound(quint64 errors, quint64 bits, double confidence);
double berLowerBound(quint64 errors, quint64 bits, double confidence);

// Bits that a run must count with no error for its upper bound to reach
// `maxBer`: -ln(1 - confidence) / maxBer.
double bitsForPass(double maxBer, double confidence);

// The x with P(χ²(degrees) <= x) = probability, 0 < probability < 1.
double chiSquareQuantile(double degrees, double probability);

// The t with P(T <= t) = probability for Student's t with `degrees` degrees of freedom.
double studentTQuantile(double degrees, double probability);

} // namespace measurement
