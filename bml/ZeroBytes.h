// Zeroing of the records built for every quote.
#ifndef KELM_BML_ZEROBYTES_H
#define KELM_BML_ZEROBYTES_H

#include <cstddef>
#include <cstring>

// Sets N bytes at target to zero in pieces of 64: compilers store each piece
// with a few vector moves, where a single memset of a few hundred bytes
// becomes a string instruction with a start-up cost of its own.
template <std::size_t N>
inline void ZeroBytes(void* target)
{
    unsigned char* bytes = static_cast<unsigned char*>(target);
    if constexpr (N > 64)
    {
        std::memset(bytes, 0, 64);
        ZeroBytes<N - 64>(bytes + 64);
    }
    else
    {
        std::memset(bytes, 0, N);
    }
}

#endif
