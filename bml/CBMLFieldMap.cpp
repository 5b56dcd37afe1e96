#include "bml/CBMLFieldMap.h"

#include <climits>
#include <cstring>

#include "bml/BMLByteOrder.h"
#include "bml/BMLElement.h"

namespace
{

bool IsRaw(const BMLFieldBinding& b)
{
    return (b.Entry->KindFlags & BML_KIND_RAW_MASK) != 0 || (b.BindFlags & BML_BIND_RAW) != 0;
}

uint32_t Least(uint32_t a, uint32_t b)
{
    return a < b ? a : b;
}

// Number of bytes a 'C' binding sends, or -1 when the binding cannot supply
// them from its storage.
int64_t TextLengthToPack(const BMLFieldBinding& b)
{
    if (IsRaw(b))
    {
        if (b.BindFlags & BML_BIND_FIXED)
            return b.Entry->MaxLength <= b.Capacity ? int64_t(b.Entry->MaxLength) : -1;
        if (b.LengthSlot == nullptr || *b.LengthSlot > b.Capacity)
            return -1;
        return *b.LengthSlot;
    }
    if (b.Capacity == 0)
        return -1;
    if (b.Entry->MaxLength == 0)
        return 1;  // a single character is always sent, even a NUL
    // Bounded by Capacity so an unterminated variable is not read past.
    const size_t n = strnlen(static_cast<const char*>(b.Storage), b.Capacity);
    return Least(static_cast<uint32_t>(n), b.Entry->MaxLength);
}

void StoreNumber(uint8_t* out, const BMLFieldBinding& b, uint32_t width)
{
    if (width == 2)
    {
        uint16_t v;
        std::memcpy(&v, b.Storage, 2);
        BMLByteOrder::Write16(out, v);
    }
    else if (width == 4)
    {
        uint32_t v;
        std::memcpy(&v, b.Storage, 4);
        BMLByteOrder::Write32(out, v);
    }
    else
    {
        uint64_t v;
        std::memcpy(&v, b.Storage, 8);
        BMLByteOrder::Write64(out, v);
    }
}

// Stores a number of type T read big-endian from the value of one element.
// False (a malformed record) when the declared value, the bytes left in the
// record or the variable is too small for it.
template <class T>
bool LoadNumber(const uint8_t* value, uint32_t v, uint32_t left, const BMLFieldBinding& b)
{
    if (v < sizeof(T) || left < sizeof(T) || b.Capacity < sizeof(T))
        return false;
    const T number = BMLByteOrder::Read<T>(value);
    std::memcpy(b.Storage, &number, sizeof number);
    return true;
}

// Writes the value of one binding at out; returns its length or -1.
int64_t PackValue(const BMLFieldBinding& b, uint8_t* out, uint32_t room)
{
    if (b.Entry->Type == 'C')
    {
        const int64_t n = TextLengthToPack(b);
        if (n < 0 || n > room)
            return -1;
        std::memcpy(out, b.Storage, static_cast<size_t>(n));
        return n;
    }
    const uint32_t width = CBMLFieldMap::NumericWidth(b.Entry->Type);
    if (width == 0 || width > room || width > b.Capacity)
        return -1;
    StoreNumber(out, b, width);
    return width;
}

// Stores a 'C' value of v bytes into the binding; returns 0 or -1.
int UnpackText(const BMLFieldBinding& b, const uint8_t* value, uint32_t v)
{
    uint8_t* storage = static_cast<uint8_t*>(b.Storage);
    const uint32_t maxLength = b.Entry->MaxLength;
    if (IsRaw(b))
    {
        if (b.BindFlags & BML_BIND_FIXED)
        {
            if (v != maxLength || maxLength > b.Capacity)
                return -1;
            std::memcpy(storage, value, v);
            return 0;
        }
        // Records and lists have MaxLength 0: for them only Capacity limits.
        const uint32_t n = Least(v, maxLength == 0 ? b.Capacity : Least(maxLength, b.Capacity));
        if (b.LengthSlot != nullptr)
            *b.LengthSlot = n;
        std::memcpy(storage, value, n);
        return 0;
    }
    if (maxLength <= 1)
    {
        std::memcpy(storage, value, Least(v, b.Capacity));
        return 0;
    }
    if (b.Capacity == 0)
        return 0;  // no room even for the terminator
    const uint32_t n = Least(v, Least(maxLength, b.Capacity - 1));
    std::memcpy(storage, value, n);
    storage[n] = 0;
    return 0;
}

// Offset of the first element tagged tag, scanning from the start of the
// record; false when none is found before the scan runs off the record.
bool Scan(const uint8_t* in, uint32_t length, uint16_t tag, uint32_t& found)
{
    uint32_t s = 0;
    while (BMLElement::HeaderFits(length, s))
    {
        if (BMLByteOrder::Read16(in + s) == tag)
        {
            found = s;
            return true;
        }
        BMLElement::View view;
        if (!BMLElement::Read(in, length, s, view))
            return false;
        s = view.next;
    }
    return false;
}

// Decodes the element of one binding, looked for first at p; afterwards p is
// where the next binding's element is expected. False on a malformed record.
//
// Elements are expected in binding order: the element at the current
// position is taken when its tag matches, and only otherwise is the record
// searched from its start. This order rule is what separates two fields of
// one record that share a tag (AskQty5 and ExchangeID in Quot).
inline bool UnpackField(const BMLFieldBinding& b, const uint8_t* in, uint32_t length, uint32_t& p)
{
    if (p == length)
        p = 0;
    const uint16_t tag = b.Entry->Id;
    // A number read from a longer value can leave p inside that value,
    // too close to the end for a header: then only the scan can tell.
    uint32_t at = p;
    const bool atPosition = BMLElement::HeaderFits(length, p) && BMLByteOrder::Read16(in + p) == tag;
    if (!atPosition && !Scan(in, length, tag, at))
    {
        p = 0;
        return true;
    }
    const uint64_t q = uint64_t(at) + BMLElement::HeaderLength + BMLByteOrder::Read16(in + at + 2);
    if (q > length)
        return false;
    const uint32_t v = BMLByteOrder::Read32(in + q - 4);
    const uint32_t left = length - static_cast<uint32_t>(q);
    p = static_cast<uint32_t>(q);
    if (v == 0)
        return true;
    // Numbers are taken from the first bytes of a value declared longer
    // than their width; the position moves on by the width only.
    switch (b.Entry->Type)
    {
    case 'C':
        if (v > left || UnpackText(b, in + q, v) != 0)
            return false;
        p += v;
        return true;
    case 'S':
        p += 2;
        return LoadNumber<uint16_t>(in + q, v, left, b);
    case 'I':
    case 'F':
        p += 4;
        return LoadNumber<uint32_t>(in + q, v, left, b);
    case 'D':
    case 'L':
        p += 8;
        return LoadNumber<uint64_t>(in + q, v, left, b);
    default:
        return false;
    }
}

}  // namespace

uint32_t CBMLFieldMap::NumericWidth(char type)
{
    switch (type)
    {
    case 'S':
        return 2;
    case 'I':
    case 'F':
        return 4;
    case 'D':
    case 'L':
        return 8;
    default:
        return 0;
    }
}

int CBMLFieldMap::Pack(uint8_t* out, uint32_t room) const
{
    if (room > INT_MAX)
        room = INT_MAX;  // the result must stay representable
    uint32_t p = 0;
    for (uint32_t i = 0; i < Count; ++i)
    {
        const BMLFieldBinding& b = Bindings[i];
        if (room - p < BMLElement::HeaderLength)
            return -1;
        uint8_t* element = out + p;
        BMLByteOrder::Write16(element, b.Entry->Id);
        BMLByteOrder::Write16(element + 2, 0);
        p += BMLElement::HeaderLength;
        const int64_t n = PackValue(b, out + p, room - p);
        if (n < 0)
            return -1;
        BMLByteOrder::Write32(element + 4, static_cast<uint32_t>(n));
        p += static_cast<uint32_t>(n);
    }
    return static_cast<int>(p);
}

int CBMLFieldMap::Unpack(const uint8_t* in, uint32_t length) const
{
    if (Count > 0 && length < BMLElement::HeaderLength)
        return -1;
    uint32_t p = 0;
    for (uint32_t i = 0; i < Count; ++i)
        if (!UnpackField(Bindings[i], in, length, p))
            return -1;
    return 0;
}

int CBMLFieldMap::UnpackMembers(const BMLMemberBinding* members, uint32_t count, void* record, const uint8_t* in,
                                uint32_t length)
{
    uint32_t p = 0;
    for (uint32_t i = 0; i < count; ++i)
        if (UnpackMember(members[i], record, in, length, p) != 0)
            return -1;
    return 0;
}

int CBMLFieldMap::UnpackMember(const BMLMemberBinding& member, void* record, const uint8_t* in, uint32_t length,
                               uint32_t& position)
{
    if (length < BMLElement::HeaderLength)
        return -1;
    const BMLFieldBinding b{member.Entry, static_cast<uint8_t*>(record) + member.Offset, member.Capacity, 0, nullptr};
    return UnpackField(b, in, length, position) ? 0 : -1;
}
