// A histogram that its writer fills without a lock: prometheus-cpp's own
// takes a mutex in Observe that its Collect takes too, so a scrape could
// hold up the writer. Fixed bucket bounds, one atomic count per bucket.
#ifndef KELM_TOOLS_METRICS_CATOMICHISTOGRAM_H
#define KELM_TOOLS_METRICS_CATOMICHISTOGRAM_H

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include <prometheus/client_metric.h>

class CAtomicHistogram
{
public:
    // bounds: the buckets' upper bounds, ascending; a last bucket for
    // everything above them is added.
    explicit CAtomicHistogram(std::vector<double> bounds);

    void Observe(double value);

    // The cumulative buckets, count and sum as of now. Read while Observe
    // runs elsewhere, the count is the buckets' total and the sum may lag
    // by that one value.
    prometheus::ClientMetric::Histogram Read() const;

private:
    const std::vector<double> m_bounds;
    std::unique_ptr<std::atomic<uint64_t>[]> m_counts;  // per bucket, not cumulative
    std::atomic<double> m_sum{0.0};
};

#endif
