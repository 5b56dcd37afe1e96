// Percentiles of a set of latencies.
#ifndef KELM_BENCH_LATENCYSUMMARY_H
#define KELM_BENCH_LATENCYSUMMARY_H

#include <cstdint>
#include <vector>

struct LatencySummary
{
    double p50Us = 0;
    double p99Us = 0;
    double p999Us = 0;
    double maxUs = 0;

    /// From latencies in nanoseconds (sorted here, hence the copy).
    static LatencySummary Of(std::vector<int64_t> nanoseconds);
};

#endif
