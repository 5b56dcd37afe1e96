// Counts the heap allocations of the whole process: HeapCounter.cpp replaces
// every form of the global operator new. Link it only into the one test
// executable that measures allocations, and never into a sanitizer build
// (the sanitizers bring their own operator new).
#ifndef KELM_TESTS_NET_HEAPCOUNTER_H
#define KELM_TESTS_NET_HEAPCOUNTER_H

#include <cstdint>

namespace HeapCounter
{

/// Calls of operator new (any form) since the process started.
uint64_t Count();

} // namespace HeapCounter

#endif
