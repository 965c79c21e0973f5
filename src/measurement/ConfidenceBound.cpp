#include "measurement/ConfidenceBound.h"

#include <boost/math/distributions/chi_squared.hpp>
#include <boost/math/distributions/students_t.hpp>
#include <boost/math/special_functions/gamma.hpp>

#include <cmath>
#include <limits>

namespace measurement {

namespace {

// Out-of-range arguments give NaN and a bound too large for a double gives
// infinity, as the rest of the analysis expects of a figure it cannot fix,
// rather than an exception from inside a report's row. Worked out in double
// precision: boost's default, long double, is the x87 unit here, several
// times slower, for digits no figure shows.
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
