// Builds one server package in a buffer of its own: ApiHead (ServiceNo,
// RequestID, EndFlag), then ApiBody with records and at most one list, the
// list last. The result is a frame ready for the wire: the 4-byte big-endian
// body length followed by the body.
#ifndef KELM_SIM_CSIMPACKAGEWRITER_H
#define KELM_SIM_CSIMPACKAGEWRITER_H

#include <cstdint>
#include <vector>

#include "bml/CBMLPackage.h"
#include "bml/CBMLRecordSet.h"

class CBMLFieldMap;

// Length prefix and body of one package.
using SimFrame = std::vector<uint8_t>;

class CSimPackageWriter
{
public:
    static constexpr uint32_t MaxBodyLength = 8188;

    CSimPackageWriter(uint16_t serviceNo, int32_t requestId, int32_t endFlag);
    // The packages keep pointers into the buffer and to each other.
    CSimPackageWriter(const CSimPackageWriter&) = delete;
    CSimPackageWriter& operator=(const CSimPackageWriter&) = delete;

    // Appends one record element to ApiBody. False when it does not fit.
    bool AddRecord(uint16_t tag, const CBMLFieldMap& map);

    // Opens the list element; nothing may be added to ApiBody after it but
    // its records.
    bool BeginList(uint16_t tag);

    // Appends one record to the open list. False, with the package left as
    // it was, when the record does not fit.
    bool AddListRecord(const CBMLFieldMap& map);

    uint32_t ListRecords() const { return m_listRecords; }
    uint32_t BodyLength();
    SimFrame Frame();

private:
    uint8_t m_buffer[4 + MaxBodyLength];
    CBMLPackage m_root;   // the whole body
    CBMLPackage m_body;   // the ApiBody value
    CBMLRecordSet m_list;
    uint32_t m_listRecords = 0;
};

#endif
