// A bounded queue of events (the session's, or an application's own) from
// the threads that report them to the threads that handle them. Events are
// rare next to quotes: a mutex and a condition suffice. When the queue is
// full the oldest event is discarded and counted, so an application that
// never reads the queue keeps the latest ones.
#ifndef KELMMD_CEVENTQUEUE_H
#define KELMMD_CEVENTQUEUE_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <utility>

#include "CWaitingThreads.h"
#include "Deadline.h"

namespace kelmmd
{

template <class Event>
class CEventQueue
{
public:
    /// capacity: events; at least 1 (std::invalid_argument otherwise).
    explicit CEventQueue(std::size_t capacity) : m_capacity(capacity)
    {
        if (capacity == 0)
            throw std::invalid_argument("an event queue needs a capacity of at least 1");
    }

    /// Ends every wait; a thread still waiting returns before the queue goes.
    ~CEventQueue() { Close(); }

    CEventQueue(const CEventQueue&) = delete;
    CEventQueue& operator=(const CEventQueue&) = delete;

    /// Queues the event, discarding the oldest when the queue is full.
    void Push(Event event)
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

    /// The next event, waiting up to timeout; nothing when none came or the
    /// queue is closed and empty.
    std::optional<Event> Next(std::chrono::milliseconds timeout)
    {
        CWaitingThreads::Inside inside(m_waiting);
        std::unique_lock<std::mutex> lock(m_mutex);
        m_ready.wait_until(lock, DeadlineAfter(timeout), [this] { return m_closed || !m_events.empty(); });
        if (m_events.empty())
            return std::nullopt;
        std::optional<Event> event(std::move(m_events.front()));
        m_events.pop_front();
        return event;
    }

    /// Ends every wait, now and later; queued events can still be taken.
    void Close()
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_closed = true;
        }
        m_ready.notify_all();
    }

    bool Closed() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closed;
    }
    std::size_t Size() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events.size();
    }
    std::size_t Capacity() const { return m_capacity; }
    /// Events discarded, oldest first, because the queue was full.
    uint64_t Discarded() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_discarded;
    }

private:
    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<Event> m_events;
    uint64_t m_discarded = 0;
    bool m_closed = false;

    CWaitingThreads m_waiting;  // last: destroyed first
};

}  // namespace kelmmd

#endif
