// Bounds-checked reading of one element header inside a window. All sums
// are taken in 64 bits, so lengths read from the wire cannot wrap.
#ifndef KELM_BML_BMLELEMENT_H
#define KELM_BML_BMLELEMENT_H

#include <cstdint>

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

}  // namespace BMLElement

#endif
