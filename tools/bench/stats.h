#pragma once

#include <vector>

namespace kestavo::bench
{

struct Summary {
    int count = 0;
    double median = 0;
    double min = 0;
    double max = 0;
};

// Throws if there are no samples: a figure without them would be made up.
[[nodiscard]] Summary summarize(std::vector<double> samples);

} // namespace kestavo::bench
