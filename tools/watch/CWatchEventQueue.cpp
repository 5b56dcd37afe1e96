#include "tools/watch/CWatchEventQueue.h"

void CWatchEventQueue::Push(WatchEvent event)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    m_ready.notify_one();
}

std::optional<WatchEvent> CWatchEventQueue::Pop(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_ready.wait_for(lock, timeout, [this] { return !m_events.empty(); }))
        return std::nullopt;
    WatchEvent event = std::move(m_events.front());
    m_events.pop_front();
    return event;
}
