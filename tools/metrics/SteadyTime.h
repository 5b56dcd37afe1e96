// Times kept in atomics: nanoseconds of the steady clock, 0 for "never".
#ifndef KELM_TOOLS_METRICS_STEADYTIME_H
#define KELM_TOOLS_METRICS_STEADYTIME_H

#include <chrono>
#include <cstdint>

namespace steadytime
{

inline int64_t Nanos(std::chrono::steady_clock::time_point at)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
}

inline int64_t Now()
{
    return Nanos(std::chrono::steady_clock::now());
}

// Seconds from then to now, never negative (then may come from another
// thread's clock reading a moment later than ours).
inline double SecondsSince(int64_t then, int64_t now)
{
    return now > then ? static_cast<double>(now - then) / 1e9 : 0.0;
}

}  // namespace steadytime

#endif
