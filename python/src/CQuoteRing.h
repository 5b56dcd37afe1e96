// A bounded queue of quotes from the library's network thread (the only
// producer) to Python (consumers, one at a time). The producer never waits:
// it copies the quote into a free slot or, when the ring is full, counts it
// as dropped. Consumers read slots in place and release them afterwards, so
// a batch is copied out without holding up the producer.
#ifndef KELM_PYTHON_CQUOTERING_H
#define KELM_PYTHON_CQUOTERING_H

#include <KelmRivoMdApi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

class CQuoteRing
{
public:
    explicit CQuoteRing(std::size_t capacity);
    CQuoteRing(const CQuoteRing&) = delete;
    CQuoteRing& operator=(const CQuoteRing&) = delete;

    /// Producer: queues a copy of the quote, or counts it dropped when full.
    void Push(const MarketDepthRecord& quote) noexcept;

    // Consumer side. Callers serialise among themselves (ConsumerLock).
    std::size_t Available() const noexcept;
    /// Copies up to max queued quotes to out and releases their slots.
    std::size_t Take(MarketDepthRecord* out, std::size_t max) noexcept;
    std::mutex& ConsumerLock() { return m_consumer; }

    /// Waits until a quote is queued or Wake was called, at most timeout.
    /// True when a quote is queued.
    bool WaitAvailable(std::chrono::milliseconds timeout);
    /// Ends every wait, now and later (the client is closing).
    void Wake();
    bool Woken();

    std::size_t Capacity() const noexcept { return m_capacity; }
    uint64_t Dropped() const noexcept { return m_dropped.load(std::memory_order_relaxed); }

private:
    const std::size_t m_capacity;
    std::unique_ptr<MarketDepthRecord[]> m_slots;

    // Producer and consumer indices count quotes from the start; each on its
    // own cache line, with the other side's last seen value cached next to it.
    alignas(64) std::atomic<uint64_t> m_head{0};
    uint64_t m_tailSeen = 0;
    std::atomic<uint64_t> m_dropped{0};
    alignas(64) std::atomic<uint64_t> m_tail{0};

    alignas(64) std::atomic<int> m_sleepers{0};
    std::mutex m_mutex;
    std::condition_variable m_ready;
    bool m_woken = false;
    std::mutex m_consumer;
};

#endif
