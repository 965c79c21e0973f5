#include "measurement/ConfidenceBound.h"

#include <cmath>
#include <limits>

namespace measurement {

namespace {

constexpr int kMaxTerms = 100000;
constexpr double kEpsilon = 1e-15;

// ln Q(a, x), the regularized upper incomplete gamma function, for a > 0 and
// x >= 0: the series below a + 1, the continued fraction above it (Numerical
// Recipes, gser and gcf), each where it converges fast and keeps precision.
double logGammaQ(double a, double x)
{
    if (x <= 0)
        return 0;
    const double logPrefix = a * std::log(x) - x - std::lgamma(a);
    if (x < a + 1) {
        double term = 1 / a;
        double sum = term;
        for (int n = 1; n < kMaxTerms && std::abs(term) > std::abs(sum) * kEpsilon; ++n) {
            term *= x / (a + n);
            sum += term;
        }
        return std::log1p(-std::exp(logPrefix + std::log(sum)));
    }
    // Lentz's method for the continued fraction of Q.
    constexpr double kTiny = 1e-300;
    double b = x + 1 - a;
    double c = 1 / kTiny;
    double d = 1 / b;
    double h = d;
    for (int i = 1; i < kMaxTerms; ++i) {
        const double an = -i * (i - a);
        b += 2;
        d = an * d + b;
        if (std::abs(d) < kTiny)
            d = kTiny;
        c = b + an / c;
        if (std::abs(c) < kTiny)
            c = kTiny;
        d = 1 / d;
        const double delta = d * c;
        h *= delta;
        if (std::abs(delta - 1) < kEpsilon)
            break;
    }
    return logPrefix + std::log(h);
}

// The x with Q(a, x) = q, 0 < q < 1. Q falls from 1 to 0 as x grows, with
// slope -x^(a-1) e^-x / Γ(a); Newton's method on ln Q, kept inside a bracket
// that bisection narrows whenever a step would leave it.
double inverseGammaQ(double a, double q)
{
    const double target = std::log(q);
    double low = 0;
    double high = a + 1;
    while (logGammaQ(a, high) > target)
        high *= 2;
    double x = (low + high) / 2;
    for (int i = 0; i < 200; ++i) {
        const double logQ = logGammaQ(a, x);
        const double f = logQ - target;
        if (f > 0)
            low = x;
        else
            high = x;
        const double slope = -std::exp((a - 1) * std::log(x) - x - std::lgamma(a) - logQ);
        double next = x - f / slope;
        if (!(next > low && next < high))
            next = (low + high) / 2;
        if (std::abs(next - x) <= 1e-14 * x || high - low <= 1e-14 * high)
            return next;
        x = next;
    }
    return x;
}

// I_x(a, b), the regularized incomplete beta function, by its continued
// fraction (Lentz's method), on the side of x where it converges fast.
double betaI(double a, double b, double x)
{
    if (x <= 0)
        return 0;
    if (x >= 1)
        return 1;
    if (x > (a + 1) / (a + b + 2))
        return 1 - betaI(b, a, 1 - x);
    const double logPrefix =
        std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x);
    constexpr double kTiny = 1e-300;
    double c = 1;
    double d = 1 - (a + b) * x / (a + 1);
    d = 1 / (std::abs(d) < kTiny ? kTiny : d);
    double h = d;
    for (int m = 1; m < kMaxTerms; ++m) {
        for (const double numerator : {m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m)),
                                       -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1))}) {
            d = 1 + numerator * d;
            d = 1 / (std::abs(d) < kTiny ? kTiny : d);
            c = 1 + numerator / c;
            if (std::abs(c) < kTiny)
                c = kTiny;
            h *= d * c;
        }
        if (std::abs(d * c - 1) < kEpsilon)
            break;
    }
    return std::exp(logPrefix) * h / a;
}

} // namespace

double chiSquareQuantile(double degrees, double probability)
{
    // P(χ²(ν) > x) = Q(ν/2, x/2).
    return 2 * inverseGammaQ(degrees / 2, 1 - probability);
}

double studentTQuantile(double degrees, double probability)
{
    if (probability == 0.5)
        return 0;
    if (probability < 0.5)
        return -studentTQuantile(degrees, 1 - probability);
    // For t > 0, P(T > t) = I_{ν/(ν+t²)}(ν/2, 1/2) / 2, which falls as t grows: bisection.
    const auto upperTail = [degrees](double t) { return betaI(degrees / 2, 0.5, degrees / (degrees + t * t)) / 2; };
    const double tail = 1 - probability;
    double low = 0;
    double high = 1;
    while (upperTail(high) > tail && high < 1e300)
        high *= 2;
    for (int i = 0; i < 200 && high - low > 1e-13 * high; ++i) {
        const double middle = (low + high) / 2;
        (upperTail(middle) > tail ? low : high) = middle;
    }
    return (low + high) / 2;
}

double poissonUpperMean(quint64 errors, double confidence)
{
    // P(Poisson(λ) <= E) = Q(E + 1, λ).
    return inverseGammaQ(double(errors) + 1, 1 - confidence);
}

double poissonLowerMean(quint64 errors, double confidence)
{
    // P(Poisson(λ) >= E) = 1 - Q(E, λ) for E >= 1.
    if (errors == 0)
        return 0;
    return inverseGammaQ(double(errors), confidence);
}

double berUpperBound(quint64 errors, quint64 bits, double confidence)
{
    if (bits == 0)
        return std::numeric_limits<double>::quiet_NaN();
    return poissonUpperMean(errors, confidence) / double(bits);
}

double berLowerBound(quint64 errors, quint64 bits, double confidence)
{
    if (bits == 0)
        return std::numeric_limits<double>::quiet_NaN();
    return poissonLowerMean(errors, confidence) / double(bits);
}

double bitsForPass(double maxBer, double confidence)
{
    return -std::log1p(-confidence) / maxBer;
}

} // namespace measurement
