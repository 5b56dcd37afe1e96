// Field-map codec: turns a host record into the elements of a BML record
// and back, one element per binding.
#ifndef KELM_BML_CBMLFIELDMAP_H
#define KELM_BML_CBMLFIELDMAP_H

#include <cstddef>
#include <cstdint>

#include "bml/BMLFieldBinding.h"

// A binding by member offset rather than by address: a constant table of
// these describes a record type once, for every record of that type, instead
// of binding the members of each record afresh. No flags, no length slot.
struct BMLMemberBinding
{
    const BMLDictEntry* Entry;
    uint32_t Offset;    // of the member within the record
    uint32_t Capacity;  // size of the member in bytes
};

class CBMLFieldMap
{
public:
    CBMLFieldMap() : Bindings(nullptr), Count(0) {}
    CBMLFieldMap(const BMLFieldBinding* bindings, uint32_t count) : Bindings(bindings), Count(count) {}
    template <std::size_t N>
    explicit CBMLFieldMap(const BMLFieldBinding (&bindings)[N])
        : Bindings(bindings), Count(static_cast<uint32_t>(N))
    {
    }

    // Writes one element per binding, in binding order, into out[0, room).
    // Returns the bytes written or -1 when they do not fit; commits nothing.
    int Pack(uint8_t* out, uint32_t room) const;

    // Fills the bound variables from the elements of a record body. Returns 0,
    // or -1 on a malformed body; variables filled before a failure keep their
    // new values, bindings whose element is absent are left untouched.
    int Unpack(const uint8_t* in, uint32_t length) const;

    /// Unpack with the members of record bound by a constant table: the same
    /// decoding, result and failure cases as a map of the same bindings.
    static int UnpackMembers(const BMLMemberBinding* members, uint32_t count, void* record, const uint8_t* in,
                             uint32_t length);

    /// Bytes a value of a numeric type code takes on the wire ('S' 2, 'I'
    /// and 'F' 4, 'D' and 'L' 8); 0 for 'C' and unknown codes.
    static uint32_t NumericWidth(char type);

    /// One step of UnpackMembers: decodes the element of one member, looked
    /// for first at position (0 for the first member); afterwards position
    /// is where the next member's element is expected. 0, or -1 on a
    /// malformed record.
    static int UnpackMember(const BMLMemberBinding& member, void* record, const uint8_t* in, uint32_t length,
                            uint32_t& position);

    const BMLFieldBinding* Bindings;  // the map does not own the bindings
    uint32_t Count;
};

#endif
