// The point in time a wait of the session layer ends at.
#ifndef KELMMD_DEADLINE_H
#define KELMMD_DEADLINE_H

#include <chrono>

namespace kelmmd
{

/// Now plus timeout; a timeout of zero or less is now. Timeouts beyond ten
/// years count as ten years, so that milliseconds::max() can mean "no
/// limit" without overflowing the clock.
inline std::chrono::steady_clock::time_point DeadlineAfter(std::chrono::milliseconds timeout)
{
    const std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now();
    const std::chrono::milliseconds longest = std::chrono::hours(24 * 366 * 10);
    if (timeout <= std::chrono::milliseconds::zero())
        return now;
    return now + (timeout < longest ? timeout : longest);
}

}  // namespace kelmmd

#endif
