// Resident memory of this process.
#ifndef KELM_BENCH_PROCESSMEMORY_H
#define KELM_BENCH_PROCESSMEMORY_H

namespace ProcessMemory
{

/// Resident set size in KiB, from /proc/self/statm; 0 when unreadable.
double ResidentKiB();

}  // namespace ProcessMemory

#endif
