#include "Measurement.h"

#include <algorithm>
#include <cmath>

namespace bench {

double quantile(std::vector<double>& samples, double q)
{
    if (samples.empty())
        return NAN;
    std::sort(samples.begin(), samples.end());
    const size_t index = std::min(samples.size() - 1, size_t(std::ceil(q * double(samples.size()))) - (q > 0 ? 1 : 0));
    return samples[index];
}

} // namespace bench
