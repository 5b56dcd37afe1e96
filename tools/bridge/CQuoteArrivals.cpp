#include "CQuoteArrivals.h"

#include <algorithm>

// Default-initialised atomics of a trivial type: the pages stay untouched
// until used. A slot is always stamped before the quote that reads it is
// buffered.
CQuoteArrivals::CQuoteArrivals(std::size_t capacity)
    : m_capacity(std::max<std::size_t>(1, capacity)), m_stamps(new std::atomic<Clock::rep>[m_capacity])
{
}
