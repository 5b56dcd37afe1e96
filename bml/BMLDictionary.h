// The BML data dictionary: one constant entry per tag definition.
//
// The table itself and the named references into it are generated at build
// time from bml/BMLDictionary.txt (see bml/CMakeLists.txt). Code names a plain
// field by its entry (BMLDict::InstrumentID) and a record or list by its tag
// (BMLTag::Quot); nothing is looked up by id or by name at run time.
#ifndef KELM_BML_BMLDICTIONARY_H
#define KELM_BML_BMLDICTIONARY_H

#include <cstdint>

// KindFlags bits. Any of the bits in BML_KIND_RAW_MASK makes the field-map
// codec move the value as raw bytes.
constexpr uint32_t BML_KIND_RECORD = 0x20000000u;
constexpr uint32_t BML_KIND_LIST = 0x10000000u;
constexpr uint32_t BML_KIND_RAW_MASK = 0xB0000000u;

struct BMLDictEntry
{
    uint16_t Id;            // tag written on the wire
    char Name[32];          // NUL-terminated ASCII
    char Type;              // 'C', 'S', 'I', 'F', 'D' or 'L'
    uint32_t MaxLength;     // 'C' fields: maximum characters, 0 = one character
    uint32_t KindFlags;     // BML_KIND_RECORD, BML_KIND_LIST or 0
    char Description[128];  // GBK text, documentation only
};

constexpr uint32_t BML_DICTIONARY_SIZE = 409;

// Constant-initialised: usable from start-up, before any constructor runs.
extern const BMLDictEntry BMLDictionary[BML_DICTIONARY_SIZE];

// Generated: namespace BMLDict (references to plain-field entries) and
// namespace BMLTag (tag numbers of records and lists).
#include "bml/BMLDictionaryNames.h"

#endif
