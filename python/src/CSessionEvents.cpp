#include "CSessionEvents.h"

void CSessionEvents::Push(SessionEvent event)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_events.size() >= m_capacity)
        {
            m_events.pop_front();
            ++m_discarded;
        }
        m_events.push_back(std::move(event));
    }
    m_ready.notify_one();
}

std::optional<SessionEvent> CSessionEvents::Pop(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_ready.wait_for(lock, timeout, [this] { return m_woken || !m_events.empty(); }) || m_events.empty())
        return std::nullopt;
    SessionEvent event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}

void CSessionEvents::Wake()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_woken = true;
    }
    m_ready.notify_all();
}

uint64_t CSessionEvents::Discarded() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_discarded;
}
