// Field-map codec: turns a host record into the elements of a BML record
// and back, one element per binding.
#ifndef KELM_BML_CBMLFIELDMAP_H
#define KELM_BML_CBMLFIELDMAP_H

#include <cstddef>
#include <cstdint>

#include "bml/BMLFieldBinding.h"

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

    const BMLFieldBinding* Bindings;  // the map does not own the bindings
    uint32_t Count;
};

#endif
