#include "CBridgeMetrics.h"

#include "CMetricFamilies.h"
#include "SteadyTime.h"

// From a loopback round trip of a few XADDs to the two seconds after which
// the bridge counts Redis as lost.
CBridgeMetrics::CBridgeMetrics()
    : m_roundTrips({0.0001, 0.00025, 0.0005, 0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5})
{
}

void CBridgeMetrics::EntriesWritten(uint64_t count)
{
    m_written.fetch_add(count, std::memory_order_relaxed);
}

void CBridgeMetrics::EntriesRejected(uint64_t count)
{
    m_rejected.fetch_add(count, std::memory_order_relaxed);
}

void CBridgeMetrics::QuotesDropped(uint64_t count)
{
    m_dropped.fetch_add(count, std::memory_order_relaxed);
}

void CBridgeMetrics::RedisUp(bool up)
{
    m_redisUp.store(up, std::memory_order_relaxed);
}

void CBridgeMetrics::RedisRoundTrip(std::chrono::steady_clock::duration took)
{
    m_roundTrips.Observe(std::chrono::duration<double>(took).count());
}

void CBridgeMetrics::Backlog(std::size_t buffered, std::chrono::steady_clock::time_point oldestArrival)
{
    m_buffered.store(buffered, std::memory_order_relaxed);
    m_oldestNs.store(buffered == 0 ? 0 : steadytime::Nanos(oldestArrival), std::memory_order_relaxed);
}

std::vector<prometheus::MetricFamily> CBridgeMetrics::Collect() const
{
    const int64_t oldest = m_oldestNs.load(std::memory_order_relaxed);
    CMetricFamilies out;
    out.Counter("kelm_bridge_entries_written_total", "Stream entries Redis acknowledged.",
                static_cast<double>(m_written.load(std::memory_order_relaxed)));
    out.Gauge("kelm_bridge_buffered_quotes", "Quotes waiting to be written to Redis.",
              static_cast<double>(m_buffered.load(std::memory_order_relaxed)));
    out.Counter("kelm_bridge_dropped_quotes_total", "Quotes dropped because the buffer was full.",
                static_cast<double>(m_dropped.load(std::memory_order_relaxed)));
    out.Counter("kelm_bridge_rejected_entries_total", "Stream entries Redis refused.",
                static_cast<double>(m_rejected.load(std::memory_order_relaxed)));
    out.Gauge("kelm_bridge_behind_seconds", "Seconds the oldest buffered quote has waited; 0 when none waits.",
              oldest == 0 ? 0.0 : steadytime::SecondsSince(oldest, steadytime::Now()));
    out.Gauge("kelm_redis_up", "1 while the bridge's connection to Redis works.",
              m_redisUp.load(std::memory_order_relaxed) ? 1 : 0);
    out.Histogram("kelm_redis_round_trip_seconds", "Round trips to Redis: a batch of commands to its last reply.",
                  m_roundTrips.Read());
    return out.Take();
}
