// A bounded queue of quotes from the library's network thread (the one
// producer) to the application's threads. The producer never waits for a
// consumer: it copies the quote into a free slot or, when every slot is
// taken, counts the quote as dropped and goes on. Consumers take the next
// quote or a batch, waiting up to a timeout.
//
// The slots are allocated once. By default they are also touched up front,
// so that the network thread never waits for the system to supply a page;
// a large queue that is mostly empty can leave that to the first quotes.
//
// A consumer that finds the queue empty first polls it for a short while
// (50 microseconds by default), giving way to other threads between looks,
// and only then sleeps. At a high rate the next quote comes within that
// time: the consumer sees it sooner, and the producer is spared waking a
// sleeper, a system call on the network thread for each time the queue
// ran dry.
//
// Consumers may take quotes from any number of threads. A consumer that is
// the queue's only one may instead look at the quotes at the front without
// taking them (Peek, At) and release them later (Release), for example once
// it knows they were delivered further on.
#ifndef KELMMD_CQUOTEQUEUE_H
#define KELMMD_CQUOTEQUEUE_H

#include <KelmRivoMdApi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "CWaitingThreads.h"
#include "Deadline.h"

namespace kelmmd
{

/// A quote as the queue keeps it. Seq numbers every quote offered to the
/// queue from 1, dropped ones included: a gap is a drop.
struct QueuedQuote
{
    uint64_t Seq;
    MarketDepthRecord Quote;
};

class CQuoteQueue
{
public:
    enum class Memory
    {
        TouchedUpFront,   ///< every slot's pages are in memory before the first quote
        TouchedAsFilled,  ///< pages are supplied when a slot is first used
    };

    static constexpr std::chrono::microseconds kDefaultPoll{50};

    /// capacity: quotes; at least 1 (std::invalid_argument otherwise).
    /// poll: how long a consumer looks at an empty queue before it sleeps;
    /// 0 sleeps at once.
    explicit CQuoteQueue(std::size_t capacity, Memory memory = Memory::TouchedUpFront,
                         std::chrono::microseconds poll = kDefaultPoll)
        : m_capacity(capacity), m_poll(poll)
    {
        if (capacity == 0)
            throw std::invalid_argument("a quote queue needs a capacity of at least 1");
        m_slots.reset(memory == Memory::TouchedUpFront ? new QueuedQuote[capacity]() : new QueuedQuote[capacity]);
    }

    /// Ends every wait; a thread still waiting returns before the queue goes.
    ~CQuoteQueue() { Close(); }

    CQuoteQueue(const CQuoteQueue&) = delete;
    CQuoteQueue& operator=(const CQuoteQueue&) = delete;

    // Producer (one thread) -------------------------------------------------

    /// Queues a copy of the quote; false when the queue was full and the
    /// quote was dropped.
    bool Push(const MarketDepthRecord& quote) noexcept
    {
        const uint64_t seq = m_received.load(std::memory_order_relaxed) + 1;
        m_received.store(seq, std::memory_order_relaxed);
        const uint64_t head = m_head.load(std::memory_order_relaxed);
        if (head - m_tailSeen >= m_capacity)
        {
            m_tailSeen = m_tail.load(std::memory_order_acquire);
            if (head - m_tailSeen >= m_capacity)
            {
                m_dropped.fetch_add(1, std::memory_order_relaxed);
                return false;
            }
        }
        QueuedQuote& slot = m_slots[static_cast<std::size_t>(head % m_capacity)];
        slot.Seq = seq;
        // A byte copy, padding included: consumers get the record as delivered.
        std::memcpy(&slot.Quote, &quote, sizeof quote);
        // Sequentially consistent with the count of sleepers: either a
        // consumer about to sleep sees this quote, or this side sees it.
        m_head.store(head + 1, std::memory_order_seq_cst);
        // Consumers sleep only on an empty queue and take nothing while they
        // sleep: the quote that ends the emptiness is the one to wake them.
        if (m_sleepers.load(std::memory_order_seq_cst) > 0 && m_tail.load(std::memory_order_acquire) == head)
            Wake([] {});
        return true;
    }

    // Consumers --------------------------------------------------------------

    /// Takes the next quote into out, waiting up to timeout; false when
    /// none came, or the wait was interrupted, or the queue is closed and
    /// empty.
    bool Next(MarketDepthRecord& out, std::chrono::milliseconds timeout)
    {
        return NextBatch(&out, 1, timeout) == 1;
    }

    /// Waits up to timeout for a quote, then takes every queued one, at most
    /// max, into out; the count taken (0 as Next's false).
    std::size_t NextBatch(MarketDepthRecord* out, std::size_t max, std::chrono::milliseconds timeout)
    {
        CWaitingThreads::Inside inside(m_waiting);
        const std::chrono::steady_clock::time_point deadline = DeadlineAfter(timeout);
        for (;;)
        {
            const std::size_t taken = Take(out, max);
            if (taken > 0 || max == 0 || !WaitUntil(deadline))
                return taken;
        }
    }

    /// The same into a vector, which holds exactly the quotes taken.
    std::size_t NextBatch(std::vector<MarketDepthRecord>& out, std::size_t max, std::chrono::milliseconds timeout)
    {
        CWaitingThreads::Inside inside(m_waiting);
        out.clear();
        if (max == 0 || !WaitUntil(DeadlineAfter(timeout)))
            return 0;
        out.resize((std::min)(max, Size()));
        out.resize(Take(out.data(), out.size()));
        return out.size();
    }

    /// Takes up to max queued quotes into out without waiting.
    std::size_t Take(MarketDepthRecord* out, std::size_t max)
    {
        std::lock_guard<std::mutex> consumer(m_consumer);
        const uint64_t tail = m_tail.load(std::memory_order_relaxed);
        const uint64_t head = m_head.load(std::memory_order_acquire);
        const std::size_t count = static_cast<std::size_t>((std::min)(head - tail, static_cast<uint64_t>(max)));
        std::size_t slot = static_cast<std::size_t>(tail % m_capacity);
        for (std::size_t i = 0; i < count; ++i)
        {
            std::memcpy(&out[i], &m_slots[slot].Quote, sizeof(MarketDepthRecord));
            slot = slot + 1 == m_capacity ? 0 : slot + 1;
        }
        m_tail.store(tail + count, std::memory_order_release);
        return count;
    }

    /// Waits up to timeout until a quote is queued (true), or the wait is
    /// interrupted or the queue closed (false, unless quotes are queued).
    bool Wait(std::chrono::milliseconds timeout)
    {
        CWaitingThreads::Inside inside(m_waiting);
        return WaitUntil(DeadlineAfter(timeout));
    }

    // The queue's only consumer -----------------------------------------------

    /// Waits up to timeout for a quote (not at all when one is queued) and
    /// returns how many are at the front, at most max. They stay queued.
    std::size_t Peek(std::size_t max, std::chrono::milliseconds timeout)
    {
        CWaitingThreads::Inside inside(m_waiting);
        if (Size() == 0)
            WaitUntil(DeadlineAfter(timeout));
        return (std::min)(max, Size());
    }

    /// The i-th quote from the front, i below what Peek returned.
    const QueuedQuote& At(std::size_t i) const
    {
        return m_slots[static_cast<std::size_t>((m_tail.load(std::memory_order_relaxed) + i) % m_capacity)];
    }

    /// Frees the count quotes at the front (at most those queued).
    void Release(std::size_t count)
    {
        std::lock_guard<std::mutex> consumer(m_consumer);
        const uint64_t tail = m_tail.load(std::memory_order_relaxed);
        const uint64_t head = m_head.load(std::memory_order_acquire);
        m_tail.store(tail + (std::min)(head - tail, static_cast<uint64_t>(count)), std::memory_order_release);
    }

    // Any thread ---------------------------------------------------------------

    /// Ends the current wait early, or the next one when none is waiting
    /// (once: the wait after that waits again).
    void Interrupt()
    {
        Wake([this] { m_interrupted = true; });
    }

    /// Ends every wait, now and later; queued quotes can still be taken.
    void Close()
    {
        Wake([this] { m_closed = true; });
    }

    bool Closed() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_closed;
    }

    /// Quotes queued now.
    std::size_t Size() const noexcept
    {
        return static_cast<std::size_t>(m_head.load(std::memory_order_seq_cst) -
                                        m_tail.load(std::memory_order_seq_cst));
    }
    std::size_t Capacity() const noexcept { return m_capacity; }
    /// Quotes offered to the queue, dropped ones included.
    uint64_t Received() const noexcept { return m_received.load(std::memory_order_relaxed); }
    /// Quotes dropped because the queue was full.
    uint64_t Dropped() const noexcept { return m_dropped.load(std::memory_order_relaxed); }

private:
    // Changes what waiters look at under their mutex and wakes them all.
    template <class Change>
    void Wake(Change change)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            change();
            m_wakes.fetch_add(1, std::memory_order_relaxed);
        }
        m_ready.notify_all();
    }

    // Looks at the queue until a quote is there (true), the poll time or the
    // deadline has passed, or a wake-up (an interrupt, the close) came.
    bool Poll(std::chrono::steady_clock::time_point deadline)
    {
        if (m_poll.count() <= 0)
            return false;
        const uint64_t wakes = m_wakes.load(std::memory_order_relaxed);
        const std::chrono::steady_clock::time_point end =
            (std::min)(deadline, std::chrono::steady_clock::now() + m_poll);
        // A wait with no time left (a zero timeout) does not poll at all.
        while (m_wakes.load(std::memory_order_relaxed) == wakes && std::chrono::steady_clock::now() < end)
        {
            std::this_thread::yield();
            if (Size() > 0)
                return true;
        }
        return false;
    }

    // True once a quote is queued; false at the deadline, on an interrupt
    // or once closed, when none is.
    bool WaitUntil(std::chrono::steady_clock::time_point deadline)
    {
        if (Size() > 0 || Poll(deadline))
            return true;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_sleepers.fetch_add(1, std::memory_order_seq_cst);
        m_ready.wait_until(lock, deadline, [this] { return m_closed || m_interrupted || Size() > 0; });
        m_sleepers.fetch_sub(1, std::memory_order_relaxed);
        m_interrupted = false;
        return Size() > 0;
    }

    const std::size_t m_capacity;
    const std::chrono::microseconds m_poll;
    std::unique_ptr<QueuedQuote[]> m_slots;

    // The producer's and the consumers' positions count quotes from the
    // start; each on a cache line of its own, the producer's with the
    // consumers' position as it last saw it.
    alignas(64) std::atomic<uint64_t> m_head{0};
    uint64_t m_tailSeen = 0;
    std::atomic<uint64_t> m_received{0};
    std::atomic<uint64_t> m_dropped{0};
    alignas(64) std::atomic<uint64_t> m_tail{0};
    std::mutex m_consumer;  // one consumer at a time moves m_tail

    alignas(64) std::atomic<int> m_sleepers{0};
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    bool m_interrupted = false;
    bool m_closed = false;
    std::atomic<uint64_t> m_wakes{0};  // counts changes for waiters; ends a poll

    CWaitingThreads m_waiting;  // last: destroyed first
};

}  // namespace kelmmd

#endif
