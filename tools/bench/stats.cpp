#include "stats.h"

#include "failure.h"

#include <algorithm>

namespace kestavo::bench
{

Summary summarize(std::vector<double> samples)
{
    if (samples.empty())
        throw Failure("No samples to summarize");
    std::sort(samples.begin(), samples.end());
    const std::size_t middle = samples.size() / 2;
    const double median = samples.size() % 2 == 1
                              ? samples[middle]
                              : (samples[middle - 1] + samples[middle]) / 2.0;
    return {static_cast<int>(samples.size()), median, samples.front(), samples.back()};
}

} // namespace kestavo::bench
