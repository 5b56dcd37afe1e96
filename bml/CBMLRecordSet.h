// A list element: a sequence of records, each a 4-byte big-endian length
// followed by that many bytes of elements. The inherited window is the body
// of the current record, so the inherited look-ups search that record only.
#ifndef KELM_BML_CBMLRECORDSET_H
#define KELM_BML_CBMLRECORDSET_H

#include <cstdint>

#include "bml/CBMLPackage.h"

class CBMLRecordSet : public CBMLPackage
{
public:
    CBMLRecordSet();

    void Attach(uint8_t* data, uint32_t capacity, uint32_t length, CBMLPackage* parent) override;  // 0
    void Detach() override;                                                                       // 1
    int Commit(uint32_t count) override;                                                          // 15
    uint8_t* GetBuffer() override;                                                                // 16: list value
    uint32_t GetLength() override;                                                                // 17: list length

    // Number of complete records; a truncated last record is not counted.
    uint32_t CountRecords() const;

    // Moves the window onto the next record; false when there is none or
    // the next one runs past the list.
    bool NextRecord();

    // Writing: closes the record built in the window (stores its length,
    // adds it to the list and to the enclosing lengths) and opens the window
    // for the next one. Returns the record's length, or -1.
    int EndRecord();

    uint32_t GetNextOffset() const { return m_nextOffset; }
    bool HasMoreRecords() const { return m_nextOffset < m_listLength; }

private:
    void PlaceWriteWindow();

    uint8_t* m_listStart;     // first byte of the list's value
    uint32_t m_listCapacity;  // room for the list's value when writing; 0 when reading
    uint32_t m_listLength;    // bytes of records in the list
    uint32_t m_nextOffset;    // offset of the next record's length field
};

#endif
