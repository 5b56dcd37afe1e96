// Resident memory of this process, as the kernel accounts it in
// /proc/self/status.
#ifndef KELM_BENCH_PROCESSMEMORY_H
#define KELM_BENCH_PROCESSMEMORY_H

namespace ProcessMemory
{

/// Resident set size now (VmRSS) in KiB; 0 when unreadable.
double ResidentKiB();

/// Largest resident set since the start or the last ResetPeak (VmHWM) in
/// KiB; 0 when unreadable. The kernel tracks it at every page fault, so no
/// peak between two samples is missed.
double PeakResidentKiB();

/// Lowers the peak to the resident set now (Linux: "5" to clear_refs).
/// False when the kernel refused; the peak then counts from the start.
bool ResetPeak();

}  // namespace ProcessMemory

#endif
