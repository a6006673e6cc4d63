// SPDX-License-Identifier: GPL-3.0-or-later
#include "stats.h"

#include "failure.h"

#include <algorithm>
#include <cmath>

namespace kestavo::bench
{
namespace
{

[[nodiscard]] double quantile(const std::vector<double>& sorted, double q)
{
    const double position = q * static_cast<double>(sorted.size() - 1);
    const auto below = static_cast<std::size_t>(std::floor(position));
    const std::size_t above = std::min(below + 1, sorted.size() - 1);
    const double weight = position - static_cast<double>(below);
    return sorted[below] + (sorted[above] - sorted[below]) * weight;
}

} // namespace

Summary summarize(std::vector<double> samples)
{
    if (samples.empty())
        throw Failure("No samples to summarize");
    std::sort(samples.begin(), samples.end());
    return {static_cast<int>(samples.size()), quantile(samples, 0.5), quantile(samples, 0.25),
            quantile(samples, 0.75),          samples.front(),        samples.back()};
}

std::vector<double> ratios(const std::vector<double>& a, const std::vector<double>& b)
{
    if (a.size() != b.size())
        throw Failure("Uneven samples: " + std::to_string(a.size()) + " against " +
                      std::to_string(b.size()));
    std::vector<double> result;
    for (std::size_t i = 0; i < a.size(); ++i)
        result.push_back(a[i] / b[i]);
    return result;
}

} // namespace kestavo::bench
