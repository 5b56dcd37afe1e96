#include "CAtomicHistogram.h"

#include <algorithm>
#include <limits>

CAtomicHistogram::CAtomicHistogram(std::vector<double> bounds)
    : m_bounds(std::move(bounds)), m_counts(new std::atomic<uint64_t>[m_bounds.size() + 1])
{
    for (std::size_t i = 0; i <= m_bounds.size(); ++i)
        m_counts[i].store(0, std::memory_order_relaxed);
}

void CAtomicHistogram::Observe(double value)
{
    // A bucket counts the values up to and including its bound.
    const auto bucket = std::lower_bound(m_bounds.begin(), m_bounds.end(), value) - m_bounds.begin();
    m_counts[static_cast<std::size_t>(bucket)].fetch_add(1, std::memory_order_relaxed);
    double sum = m_sum.load(std::memory_order_relaxed);
    while (!m_sum.compare_exchange_weak(sum, sum + value, std::memory_order_relaxed))
    {
    }
}

prometheus::ClientMetric::Histogram CAtomicHistogram::Read() const
{
    prometheus::ClientMetric::Histogram histogram;
    histogram.sample_sum = m_sum.load(std::memory_order_relaxed);
    uint64_t cumulative = 0;
    for (std::size_t i = 0; i <= m_bounds.size(); ++i)
    {
        cumulative += m_counts[i].load(std::memory_order_relaxed);
        const double bound = i < m_bounds.size() ? m_bounds[i] : std::numeric_limits<double>::infinity();
        histogram.bucket.push_back({cumulative, bound});
    }
    histogram.sample_count = cumulative;
    return histogram;
}
