#include "tools/bridge/CQuoteRing.h"

#include <algorithm>
#include <cstring>

CQuoteRing::CQuoteRing(std::size_t capacity)
    : m_capacity(std::max<std::size_t>(1, capacity)), m_slots(new BufferedQuote[m_capacity])
{
}

bool CQuoteRing::Push(const MarketDepthRecord& quote)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const uint64_t seq = m_received.fetch_add(1, std::memory_order_relaxed) + 1;
        if (m_count == m_capacity)
        {
            m_dropped.fetch_add(1, std::memory_order_relaxed);
            return false;
        }
        BufferedQuote& slot = m_slots[(m_head + m_count) % m_capacity];
        slot.Seq = seq;
        // A byte copy, padding included: consumers get the record as delivered.
        std::memcpy(&slot.Quote, &quote, sizeof quote);
        ++m_count;
        wake = m_writerWaiting;
    }
    if (wake)
        m_ready.notify_one();
    return true;
}

std::size_t CQuoteRing::Peek(std::size_t max, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_count == 0 && !m_woken && timeout.count() > 0)
    {
        m_writerWaiting = true;
        m_ready.wait_for(lock, timeout, [this] { return m_count > 0 || m_woken; });
        m_writerWaiting = false;
    }
    m_woken = false;
    return std::min(max, m_count);
}

void CQuoteRing::Pop(std::size_t count)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    count = std::min(count, m_count);
    m_head = (m_head + count) % m_capacity;
    m_count -= count;
}

void CQuoteRing::Wake()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_ready.notify_one();
}

std::size_t CQuoteRing::Size() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_count;
}
