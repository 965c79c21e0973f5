#include "measurement/ConfidenceBound.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <cmath>
#include <limits>
#include <optional>

namespace measurement {

namespace {

// Out-of-range arguments give NaN and a bound too large for a double gives
// infinity, as the rest of the analysis expects of a figure it cannot fix,
// rather than an exception from inside a report's row. Worked out in double
// precision: boost's default, long double, is the x87 unit here, up to twice
// as slow, for digits no figure shows.
using NoThrow =
    boost::math::policies::policy<boost::math::policies::domain_error<boost::math::policies::errno_on_error>,
                                  boost::math::policies::overflow_error<boost::math::policies::errno_on_error>,
                                  boost::math::policies::evaluation_error<boost::math::policies::errno_on_error>,
                                  boost::math::policies::promote_double<false>>;

} // namespace

double chiSquareQuantile(double degrees, double probability)
{
    return boost::math::quantile(boost::math::chi_squared_distribution<double, NoThrow>(degrees), probability);
}

double studentTQuantile(double degrees, double probability)
{
    return boost::math::quantile(boost::math::students_t_distribution<double, NoThrow>(degrees), probability);
}

double poissonUpperMean(quint64 errors, double confidence)
{
    // P(Poisson(λ) <= E) = Q(E + 1, λ).
    return boost::math::gamma_q_inv(double(errors) + 1, 1 - confidence, NoThrow());
}

namespace {

// Below this count a fresh inversion is quick, and the steps would be few.
constexpr quint64 kFollowFrom = 100;

// Eight-point Gauss-Legendre quadrature on [-1, 1], by pairs ±node.
constexpr double kNodes[4] = {0.1834346424956498, 0.5255324099163290, 0.7966664774136267, 0.9602898564975363};
constexpr double kWeights[4] = {0.3626837833783620, 0.3137066458778873, 0.2223810344533745, 0.1012285362903763};

// The upper mean for `errors` from `mean`, the one for `from` < `errors`:
// Q(from + 1, mean) = 1 - confidence, with Q the regularised upper
// incomplete gamma function, P(Poisson(λ) <= k) = Q(k + 1, λ). Stepping the
// count up at a fixed mean adds the Poisson probabilities of the counts
// passed, Q(a + 1, x) = Q(a, x) + x^a e^-x / a!; moving the mean on takes
// away the gamma density's integral over the move, which is short beside the
// density's width, so that eight points integrate it to a double's digits.
// Empty if Halley's method does not settle.
std::optional<double> followedMean(quint64 from, double mean, quint64 errors)
{
    // The probabilities of from + 1 ... errors at the old mean, the last one
    // being the density of the new count's gamma distribution there.
    double term = boost::math::gamma_p_derivative(double(from) + 2, mean, NoThrow());
    double passed = term;
    for (quint64 k = from + 1; k < errors; ++k) {
        term *= mean / double(k + 1);
        passed += term;
    }
    const double shape = double(errors); // a - 1 of the new count's a = errors + 1
    const auto density = [&](double at) { // relative to `term`, the density at `mean`
        const double move = at - mean;
        return std::exp(shape * std::log1p(move / mean) - move);
    };
    double x = mean + passed / term;
    for (int step = 0; step < 8; ++step) {
        const double half = (x - mean) / 2;
        double integral = 0;
        for (int i = 0; i < 4; ++i)
            integral += kWeights[i] * (density(mean + half * (1 + kNodes[i])) + density(mean + half * (1 - kNodes[i])));
        // Halley's step: the density's own slope, (a - 1) / x - 1 of it, taken in.
        const double newton = (passed / term - half * integral) / density(x);
        const double change = newton / (1 + newton * (shape / x - 1) / 2);
        x += change;
        if (!std::isfinite(x))
            return std::nullopt;
        if (std::abs(change) <= 4 * std::numeric_limits<double>::epsilon() * x)
            return x;
    }
    return std::nullopt;
}

} // namespace

double PoissonUpperMeans::operator()(quint64 errors)
{
    if (errors == m_errors)
        return m_mean;
    const bool follows = m_errors != ~0ull && errors > m_errors && errors >= kFollowFrom
                         && double(errors - m_errors) <= std::sqrt(double(errors)) / 2 && m_followed < kFreshEvery;
    std::optional<double> mean = follows ? followedMean(m_errors, m_mean, errors) : std::nullopt;
    m_followed = mean ? m_followed + 1 : 0;
    m_mean = mean ? *mean : poissonUpperMean(errors, m_confidence);
    m_errors = errors;
    return m_mean;
}

double poissonLowerMean(quint64 errors, double confidence)
{
    // P(Poisson(λ) >= E) = 1 - Q(E, λ) for E >= 1.
    if (errors == 0)
        return 0;
    return boost::math::gamma_q_inv(double(errors), confidence, NoThrow());
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
