// Sizes of the reliability runs. Sanitizer builds run fewer rounds (they are
// several times slower); environment variables override for longer runs.
#ifndef KELM_TESTS_RELIABILITY_RELIABILITYSETTINGS_H
#define KELM_TESTS_RELIABILITY_RELIABILITYSETTINGS_H

#include <cstdint>
#include <cstdlib>
#include <string>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KELM_RELIABILITY_SANITIZED 1
#else
#define KELM_RELIABILITY_SANITIZED 0
#endif

namespace reliability
{

constexpr bool kSanitized = KELM_RELIABILITY_SANITIZED != 0;

// The variable's value, or fallback when it is unset or not a number.
inline uint64_t FromEnvironment(const char* name, uint64_t fallback)
{
    const char* text = std::getenv(name);
    if (!text || !*text)
        return fallback;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text, &end, 10);
    return *end == '\0' ? value : fallback;
}

}  // namespace reliability

#endif
