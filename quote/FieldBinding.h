// Builds a field-map binding of a dictionary entry to a member of a record,
// with the member's size as capacity and no binding flags.
#ifndef KELM_QUOTE_FIELDBINDING_H
#define KELM_QUOTE_FIELDBINDING_H

#include "bml/BMLFieldBinding.h"

template <class Member>
inline BMLFieldBinding BindField(const BMLDictEntry& entry, Member& member)
{
    return BMLFieldBinding{&entry, &member, static_cast<uint32_t>(sizeof(Member)), 0, nullptr};
}

#endif
