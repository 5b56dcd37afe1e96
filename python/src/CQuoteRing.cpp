#include "CQuoteRing.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

CQuoteRing::CQuoteRing(std::size_t capacity) : m_capacity(capacity)
{
    if (capacity == 0)
        throw std::invalid_argument("queue capacity must be at least 1");
    // Zeroed here, so that every page is in memory before the first quote:
    // the network thread then never waits for the kernel to supply one.
    m_slots.reset(new MarketDepthRecord[capacity]());
}

void CQuoteRing::Push(const MarketDepthRecord& quote) noexcept
{
    const uint64_t head = m_head.load(std::memory_order_relaxed);
    if (head - m_tailSeen >= m_capacity)
    {
        m_tailSeen = m_tail.load(std::memory_order_acquire);
        if (head - m_tailSeen >= m_capacity)
        {
            m_dropped.fetch_add(1, std::memory_order_relaxed);
            return;
        }
    }
    std::memcpy(&m_slots[head % m_capacity], &quote, sizeof quote);
    // Sequentially consistent with the sleepers count, so that either a
    // consumer about to sleep sees this quote or this side sees the sleeper.
    m_head.store(head + 1, std::memory_order_seq_cst);
    // Consumers sleep only on an empty ring, and none takes quotes while it
    // sleeps: the quote that ends the emptiness is the one to wake them.
    if (m_sleepers.load(std::memory_order_seq_cst) > 0 && m_tail.load(std::memory_order_acquire) == head)
    {
        // A sleeper holds the mutex only between its last look and its wait.
        { std::lock_guard<std::mutex> lock(m_mutex); }
        m_ready.notify_all();
    }
}

std::size_t CQuoteRing::Available() const noexcept
{
    return static_cast<std::size_t>(m_head.load(std::memory_order_seq_cst) -
                                    m_tail.load(std::memory_order_relaxed));
}

std::size_t CQuoteRing::Take(MarketDepthRecord* out, std::size_t max) noexcept
{
    const uint64_t tail = m_tail.load(std::memory_order_relaxed);
    const uint64_t head = m_head.load(std::memory_order_acquire);
    const std::size_t count = static_cast<std::size_t>(std::min<uint64_t>(head - tail, max));
    const std::size_t first = static_cast<std::size_t>(tail % m_capacity);
    const std::size_t before = std::min(count, m_capacity - first);
    std::memcpy(out, &m_slots[first], before * sizeof(MarketDepthRecord));
    std::memcpy(out + before, &m_slots[0], (count - before) * sizeof(MarketDepthRecord));
    m_tail.store(tail + count, std::memory_order_release);
    return count;
}

bool CQuoteRing::WaitAvailable(std::chrono::milliseconds timeout)
{
    if (Available() > 0)
        return true;
    std::unique_lock<std::mutex> lock(m_mutex);
    m_sleepers.fetch_add(1, std::memory_order_seq_cst);
    m_ready.wait_for(lock, timeout, [this] { return m_woken || Available() > 0; });
    m_sleepers.fetch_sub(1, std::memory_order_relaxed);
    return Available() > 0;
}

void CQuoteRing::Wake()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_ready.notify_all();
}

bool CQuoteRing::Woken()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_woken;
}
