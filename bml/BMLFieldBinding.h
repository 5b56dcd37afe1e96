// One binding of a dictionary entry to a variable of a host record.
#ifndef KELM_BML_BMLFIELDBINDING_H
#define KELM_BML_BMLFIELDBINDING_H

#include <cstdint>

#include "bml/BMLDictionary.h"

// BindFlags bits. The client's own maps set neither.
constexpr uint32_t BML_BIND_FIXED = 0x800u;  // raw value of exactly MaxLength bytes
constexpr uint32_t BML_BIND_RAW = 0x4000u;   // raw value counted by LengthSlot

struct BMLFieldBinding
{
    const BMLDictEntry* Entry;  // tag, type, MaxLength and KindFlags of the field
    void* Storage;              // the host variable
    uint32_t Capacity;          // size of the host variable in bytes
    uint32_t BindFlags;         // BML_BIND_FIXED / BML_BIND_RAW, usually 0
    uint32_t* LengthSlot;       // raw mode: bytes held in Storage; else null
};

#endif
