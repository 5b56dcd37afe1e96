// The bridge's side for Prometheus: entries written, quotes buffered,
// dropped and rejected, Redis up or down, the round trips to Redis and how
// far behind the oldest buffered quote is. The quote path (QuotesDropped)
// and the writer thread (the rest) only touch relaxed atomics; the seconds
// behind are worked out when scraped.
#ifndef KELM_TOOLS_METRICS_CBRIDGEMETRICS_H
#define KELM_TOOLS_METRICS_CBRIDGEMETRICS_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>

#include <prometheus/collectable.h>

#include "CAtomicHistogram.h"

class CBridgeMetrics final : public prometheus::Collectable
{
public:
    CBridgeMetrics();

    void EntriesWritten(uint64_t count);
    void EntriesRejected(uint64_t count);
    void QuotesDropped(uint64_t count);
    void RedisUp(bool up);
    void RedisRoundTrip(std::chrono::steady_clock::duration took);
    // What waits for Redis now: how many quotes, and when the oldest of
    // them arrived (ignored when none waits).
    void Backlog(std::size_t buffered, std::chrono::steady_clock::time_point oldestArrival);

    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    std::atomic<uint64_t> m_written{0};
    std::atomic<uint64_t> m_rejected{0};
    std::atomic<uint64_t> m_dropped{0};
    std::atomic<bool> m_redisUp{false};
    std::atomic<uint64_t> m_buffered{0};
    std::atomic<int64_t> m_oldestNs{0};  // 0: nothing buffered
    CAtomicHistogram m_roundTrips;
};

#endif
