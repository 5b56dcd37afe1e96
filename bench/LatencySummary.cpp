#include "LatencySummary.h"

#include <algorithm>
#include <cmath>

namespace
{

// Nearest-rank percentile of sorted values, in microseconds.
double Percentile(const std::vector<int64_t>& sorted, double fraction)
{
    const double rank = std::ceil(fraction * double(sorted.size()));
    const std::size_t index = rank < 1 ? 0 : std::size_t(rank) - 1;
    return double(sorted[std::min(index, sorted.size() - 1)]) / 1000.0;
}

}  // namespace

LatencySummary LatencySummary::Of(std::vector<int64_t> nanoseconds)
{
    LatencySummary summary;
    if (nanoseconds.empty())
        return summary;
    std::sort(nanoseconds.begin(), nanoseconds.end());
    summary.p50Us = Percentile(nanoseconds, 0.50);
    summary.p99Us = Percentile(nanoseconds, 0.99);
    summary.p999Us = Percentile(nanoseconds, 0.999);
    summary.maxUs = double(nanoseconds.back()) / 1000.0;
    return summary;
}
