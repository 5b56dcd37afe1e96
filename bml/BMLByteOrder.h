// Big-endian loads and stores on unaligned buffer positions. Written with
// shifts rather than htons/htonl so that they do not depend on the host's
// socket headers.
#ifndef KELM_BML_BMLBYTEORDER_H
#define KELM_BML_BMLBYTEORDER_H

#include <cstdint>

namespace BMLByteOrder
{

inline uint16_t Read16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

inline uint32_t Read32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

inline uint64_t Read64(const uint8_t* p)
{
    return (static_cast<uint64_t>(Read32(p)) << 32) | Read32(p + 4);
}

// Read<T> for the unsigned types of 2, 4 and 8 bytes.
template <class T>
T Read(const uint8_t* p);

template <>
inline uint16_t Read<uint16_t>(const uint8_t* p)
{
    return Read16(p);
}

template <>
inline uint32_t Read<uint32_t>(const uint8_t* p)
{
    return Read32(p);
}

template <>
inline uint64_t Read<uint64_t>(const uint8_t* p)
{
    return Read64(p);
}

inline void Write16(uint8_t* p, uint16_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

inline void Write32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

inline void Write64(uint8_t* p, uint64_t v)
{
    Write32(p, static_cast<uint32_t>(v >> 32));
    Write32(p + 4, static_cast<uint32_t>(v));
}

}  // namespace BMLByteOrder

#endif
