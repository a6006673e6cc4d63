// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

namespace kestavo::bench
{

// Quartiles by linear interpolation between the sorted samples.
struct Summary {
    int count = 0;
    double median = 0;
    double lowerQuartile = 0;
    double upperQuartile = 0;
    double min = 0;
    double max = 0;
};

// Throws if there are no samples: a figure without them would be made up.
[[nodiscard]] Summary summarize(std::vector<double> samples);

// a[i] / b[i] for each i; both must be as long.
[[nodiscard]] std::vector<double> ratios(const std::vector<double>& a,
                                         const std::vector<double>& b);

} // namespace kestavo::bench
