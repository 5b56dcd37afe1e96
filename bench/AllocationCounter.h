// Counts heap allocations made by the whole process: this file replaces the
// global operator new and malloc/calloc/realloc of the C library. Link it
// only into benchmark executables.
#ifndef KELM_BENCH_ALLOCATIONCOUNTER_H
#define KELM_BENCH_ALLOCATIONCOUNTER_H

#include <cstdint>

namespace AllocationCounter
{

/// Allocations (new, malloc, calloc, realloc) since the process started.
uint64_t Count();

}  // namespace AllocationCounter

#endif
