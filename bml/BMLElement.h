// Bounds-checked reading of one element header inside a window. All sums
// are taken in 64 bits, so lengths read from the wire cannot wrap.
#ifndef KELM_BML_BMLELEMENT_H
#define KELM_BML_BMLELEMENT_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "bml/BMLByteOrder.h"

namespace BMLElement
{

constexpr uint32_t HeaderLength = 8;  // tag, extension length, value length

struct View
{
    uint32_t valueOffset;  // offset of the value from the window start
    uint32_t valueLength;
    uint32_t next;         // offset just past the value
};

// Reads the element at offset at of data[0, length). False when its header
// or its value runs past the window.
inline bool Read(const uint8_t* data, uint32_t length, uint32_t at, View& view)
{
    const uint64_t valueOffset = uint64_t(at) + HeaderLength + BMLByteOrder::Read16(data + at + 2);
    if (valueOffset > length)
        return false;
    const uint32_t valueLength = BMLByteOrder::Read32(data + valueOffset - 4);
    if (valueOffset + valueLength > length)
        return false;
    view.valueOffset = static_cast<uint32_t>(valueOffset);
    view.valueLength = valueLength;
    view.next = static_cast<uint32_t>(valueOffset + valueLength);
    return true;
}

// True when at least one element header fits at offset at.
inline bool HeaderFits(uint32_t length, uint32_t at)
{
    return at <= length && length - at >= HeaderLength;
}

// The header of an element as written: tag, no extension, value length.
inline void WriteHeader(uint8_t* out, uint16_t tag, uint32_t valueLength)
{
    BMLByteOrder::Write64(out, uint64_t(tag) << 48 | valueLength);
}

// Whether the N bytes at a and b are equal (4: a tag and an extension
// length; 8: a whole header): one load and compare each, for the decoders'
// checks that an element is exactly the one they expect.
template <std::size_t N>
inline bool SameBytes(const uint8_t* a, const uint8_t* b)
{
    using Word = std::conditional_t<N == 4, uint32_t, uint64_t>;
    static_assert(sizeof(Word) == N, "4 or 8 bytes");
    Word x;
    Word y;
    std::memcpy(&x, a, N);
    std::memcpy(&y, b, N);
    return x == y;
}

}  // namespace BMLElement

#endif
