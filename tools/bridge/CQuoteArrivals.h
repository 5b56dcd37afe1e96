// When each buffered quote arrived, for the seconds the bridge is behind:
// one steady-clock stamp per quote, kept beside the buffer by the quote's
// number (kelmmd::QueuedQuote::Seq) in a ring as large as the buffer, so
// that the buffer's queue itself stays as it is. The network thread
// stamps a quote before offering it to the buffer; the bridge looks up the
// oldest buffered one.
//
// Numbers of quotes that were dropped make gaps, so two buffered quotes can
// share a slot once the buffer has overflowed; the older one then reads the
// newer one's stamp, and the age is a lower bound.
#ifndef KELM_TOOLS_BRIDGE_CQUOTEARRIVALS_H
#define KELM_TOOLS_BRIDGE_CQUOTEARRIVALS_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>

class CQuoteArrivals
{
public:
    using Clock = std::chrono::steady_clock;

    // capacity: the buffer's. The memory is taken as the slots are first
    // used, like the buffer's.
    explicit CQuoteArrivals(std::size_t capacity);

    // Network thread, before the quote is offered to the buffer.
    void Stamp(uint64_t seq)
    {
        m_stamps[Slot(seq)].store(Clock::now().time_since_epoch().count(), std::memory_order_relaxed);
    }

    // The arrival of a quote that is in the buffer now.
    Clock::time_point Of(uint64_t seq) const
    {
        return Clock::time_point(Clock::duration(m_stamps[Slot(seq)].load(std::memory_order_relaxed)));
    }

private:
    std::size_t Slot(uint64_t seq) const { return static_cast<std::size_t>(seq % m_capacity); }

    const std::size_t m_capacity;
    std::unique_ptr<std::atomic<Clock::rep>[]> m_stamps;
};

#endif
