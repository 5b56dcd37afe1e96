#include "sim/CSimPackageWriter.h"

#include <algorithm>

#include "bml/BMLByteOrder.h"
#include "bml/BMLDictionary.h"
#include "bml/BMLFieldBinding.h"
#include "bml/CBMLFieldMap.h"

CSimPackageWriter::CSimPackageWriter(uint16_t serviceNo, int32_t requestId, int32_t endFlag)
{
    std::fill(std::begin(m_buffer), std::end(m_buffer), uint8_t{0});
    m_root.Attach(m_buffer + 4, MaxBodyLength, 0, nullptr);

    BMLFieldBinding head[] = {
        {&BMLDict::ServiceNo, &serviceNo, sizeof serviceNo, 0, nullptr},
        {&BMLDict::RequestID, &requestId, sizeof requestId, 0, nullptr},
        {&BMLDict::EndFlag, &endFlag, sizeof endFlag, 0, nullptr},
    };
    m_root.AddRecord(CBMLFieldMap(head), BMLTag::ApiHead);
    m_root.AddPackage(BMLTag::ApiBody, &m_body);
}

bool CSimPackageWriter::AddRecord(uint16_t tag, const CBMLFieldMap& map)
{
    return m_body.AddRecord(map, tag) >= 0;
}

bool CSimPackageWriter::BeginList(uint16_t tag)
{
    return m_body.AddRecordSet(tag, &m_list) == 0;
}

bool CSimPackageWriter::AddListRecord(const CBMLFieldMap& map)
{
    // The set's window is the next record's empty body, 4 bytes past its
    // length slot; it is unattached once fewer than 4 bytes are left.
    if (!m_list.IsAttached())
        return false;
    const int packed = map.Pack(m_list.GetData(), m_list.GetCapacity());
    if (packed < 0)
        return false;
    m_list.Commit(static_cast<uint32_t>(packed));
    if (m_list.EndRecord() < 0)
        return false;
    ++m_listRecords;
    return true;
}

uint32_t CSimPackageWriter::BodyLength()
{
    return m_root.GetLength();
}

SimFrame CSimPackageWriter::Frame()
{
    const uint32_t length = BodyLength();
    BMLByteOrder::Write32(m_buffer, length);
    return SimFrame(m_buffer, m_buffer + 4 + length);
}
