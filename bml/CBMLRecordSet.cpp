#include "bml/CBMLRecordSet.h"

#include "bml/BMLByteOrder.h"

namespace
{
constexpr uint32_t RecordLengthField = 4;
}

CBMLRecordSet::CBMLRecordSet() : m_listStart(nullptr), m_listCapacity(0), m_listLength(0), m_nextOffset(0)
{
}

void CBMLRecordSet::Attach(uint8_t* data, uint32_t capacity, uint32_t length, CBMLPackage* parent)
{
    m_listStart = data;
    m_listCapacity = capacity;
    m_listLength = length;
    m_nextOffset = 0;
    m_parent = parent;
    m_length = 0;
    m_cursor = 0;
    if (data != nullptr && capacity == 0 && length > 0)
    {
        // Reading: attached but empty until NextRecord moves onto a record.
        m_data = data + length;
        m_capacity = 0;
        return;
    }
    PlaceWriteWindow();
}

// Opens the window for the next record to be written, after the records
// already in the list and the place of its length field; unattached when
// there is no room for that field.
void CBMLRecordSet::PlaceWriteWindow()
{
    m_length = 0;
    m_cursor = 0;
    if (m_listStart != nullptr && uint64_t(m_listCapacity) >= uint64_t(m_listLength) + RecordLengthField)
    {
        m_data = m_listStart + m_listLength + RecordLengthField;
        m_capacity = m_listCapacity - m_listLength - RecordLengthField;
        return;
    }
    m_data = nullptr;
    m_capacity = 0;
}

void CBMLRecordSet::Detach()
{
    CBMLPackage::Detach();
    m_listStart = nullptr;
    m_listCapacity = 0;
    m_listLength = 0;
    m_nextOffset = 0;
}

// Elements written into the record window are only counted here; the record
// reaches the list and the enclosing lengths in EndRecord.
int CBMLRecordSet::Commit(uint32_t count)
{
    m_length += count;
    return 0;
}

uint8_t* CBMLRecordSet::GetBuffer()
{
    return m_listStart;
}

uint32_t CBMLRecordSet::GetLength()
{
    return m_listLength;
}

uint32_t CBMLRecordSet::CountRecords() const
{
    if (m_listStart == nullptr)
        return 0;
    uint32_t count = 0;
    uint64_t o = 0;
    while (m_listLength - o >= RecordLengthField)
    {
        o += RecordLengthField + uint64_t(BMLByteOrder::Read32(m_listStart + o));
        if (o > m_listLength)
            break;
        ++count;
    }
    return count;
}

bool CBMLRecordSet::NextRecord()
{
    if (m_data == nullptr || m_nextOffset >= m_listLength || m_listLength - m_nextOffset < RecordLengthField)
        return false;
    const uint32_t r = BMLByteOrder::Read32(m_listStart + m_nextOffset);
    const uint64_t end = uint64_t(m_nextOffset) + RecordLengthField + r;
    if (end > m_listLength)
        return false;  // truncated: it and everything after it are ignored
    m_data = m_listStart + m_nextOffset + RecordLengthField;
    m_capacity = 0;
    m_length = r;
    m_cursor = 0;
    m_nextOffset = static_cast<uint32_t>(end);
    return true;
}

int CBMLRecordSet::EndRecord()
{
    if (m_data == nullptr || m_capacity == 0 || m_length > m_capacity)
        return -1;
    const uint32_t r = m_length;
    BMLByteOrder::Write32(m_data - RecordLengthField, r);
    m_listLength += RecordLengthField + r;
    if (m_parent != nullptr)
    {
        // The list element's own value-length field precedes the list.
        BMLByteOrder::Write32(m_listStart - 4, m_listLength);
        m_parent->Commit(RecordLengthField + r);
    }
    PlaceWriteWindow();
    return static_cast<int>(r);
}
