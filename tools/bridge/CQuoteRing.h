// The bounded buffer between the library's network thread and the writer
// thread. Push copies a quote in and never waits for anything but a short
// lock; when the buffer is full the quote is counted as dropped. The writer
// looks at the quotes at the front without taking them (Peek, At) and
// releases them once Redis has them (Pop), so a batch whose fate is unknown
// after a loss is still there to be sent again.
#ifndef KELM_TOOLS_BRIDGE_CQUOTERING_H
#define KELM_TOOLS_BRIDGE_CQUOTERING_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>

#include <KelmRivoMdApi.h>

struct BufferedQuote
{
    uint64_t Seq;  // the quote's number among all received, from 1
    MarketDepthRecord Quote;
};

class CQuoteRing
{
public:
    explicit CQuoteRing(std::size_t capacity);

    // Network thread. False when the buffer was full and the quote dropped.
    bool Push(const MarketDepthRecord& quote);

    // Writer thread: waits up to timeout for a quote (or a Wake) and returns
    // how many are at the front, at most max. They stay until Pop.
    std::size_t Peek(std::size_t max, std::chrono::milliseconds timeout);
    // The i-th quote from the front, i below what Peek returned.
    const BufferedQuote& At(std::size_t i) const { return m_slots[(m_head + i) % m_capacity]; }
    void Pop(std::size_t count);
    // Ends a waiting Peek early.
    void Wake();

    std::size_t Size() const;
    std::size_t Capacity() const { return m_capacity; }
    uint64_t Received() const { return m_received.load(std::memory_order_relaxed); }
    uint64_t Dropped() const { return m_dropped.load(std::memory_order_relaxed); }

private:
    const std::size_t m_capacity;
    // Plain records, so that untouched slots cost no memory until used.
    std::unique_ptr<BufferedQuote[]> m_slots;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::size_t m_head = 0;  // only the writer moves it
    std::size_t m_count = 0;
    bool m_writerWaiting = false;
    bool m_woken = false;
    std::atomic<uint64_t> m_received{0};
    std::atomic<uint64_t> m_dropped{0};
};

#endif
