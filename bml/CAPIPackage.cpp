#include "bml/CAPIPackage.h"

#include "bml/BMLByteOrder.h"
#include "bml/BMLDictionary.h"
#include "bml/BMLElement.h"

namespace
{

// The head as BeginRequest writes it: the element headers at their fixed
// offsets, read from the dictionary once. Usable only when the head fields'
// types have the widths of the members they are read into.
struct WrittenHead
{
    static constexpr uint32_t ServiceNoAt = 8;
    static constexpr uint32_t RequestIdAt = ServiceNoAt + 8 + 2;
    static constexpr uint32_t EndFlagAt = RequestIdAt + 8 + 4;
    static constexpr uint32_t ApiBodyAt = EndFlagAt + 8 + 4;

    bool usable;
    uint8_t apiHead[8];
    uint8_t serviceNo[8];
    uint8_t requestId[8];
    uint8_t endFlag[8];
    uint8_t apiBody[8];
};

static_assert(WrittenHead::ApiBodyAt + 8 == CAPIPackage::HeadLength, "the head's layout");

WrittenHead MakeWrittenHead()
{
    WrittenHead head{};
    head.usable = CBMLFieldMap::NumericWidth(BMLDict::ServiceNo.Type) == 2 &&
                  CBMLFieldMap::NumericWidth(BMLDict::RequestID.Type) == 4 &&
                  CBMLFieldMap::NumericWidth(BMLDict::EndFlag.Type) == 4;
    BMLElement::WriteHeader(head.apiHead, BMLTag::ApiHead, WrittenHead::ApiBodyAt - 8);
    BMLElement::WriteHeader(head.serviceNo, BMLDict::ServiceNo.Id, 2);
    BMLElement::WriteHeader(head.requestId, BMLDict::RequestID.Id, 4);
    BMLElement::WriteHeader(head.endFlag, BMLDict::EndFlag.Id, 4);
    BMLElement::WriteHeader(head.apiBody, BMLTag::ApiBody, 0);
    return head;
}

}  // namespace

CAPIPackage::CAPIPackage()
    : m_packageStart(nullptr),
      m_totalLength(0),
      m_headBindings{{&BMLDict::ServiceNo, &m_serviceNo, sizeof m_serviceNo, 0, nullptr},
                     {&BMLDict::RequestID, &m_requestId, sizeof m_requestId, 0, nullptr},
                     {&BMLDict::EndFlag, &m_endFlag, sizeof m_endFlag, 0, nullptr}},
      m_headMap(m_headBindings),
      m_serviceNo(0),
      m_requestId(0),
      m_endFlag(0)
{
}

int CAPIPackage::BeginRequest(uint16_t serviceNo, int32_t requestId, uint8_t* buffer)
{
    m_serviceNo = serviceNo;
    m_requestId = requestId;
    m_endFlag = 0;
    m_packageStart = buffer;
    m_totalLength = 0;
    Attach(buffer, buffer != nullptr ? MaxBodyLength : 0, 0, nullptr);
    if (buffer == nullptr)
        return -1;

    // Head phase: the window is the whole body buffer.
    AddRecord(m_headMap, BMLTag::ApiHead);
    CBMLPackage body;
    AddPackage(BMLTag::ApiBody, &body);

    // Body phase: from here on the window is the ApiBody value.
    Attach(body.GetData(), body.GetCapacity(), 0, nullptr);
    return 0;
}

int CAPIPackage::AttachReceived(const uint8_t* body, uint32_t length)
{
    if (AttachAsWritten(body, length))
        return 0;
    // The received bytes are only read: a reading window has capacity 0,
    // so nothing can be written through the pointer made mutable here.
    m_packageStart = const_cast<uint8_t*>(body);
    m_totalLength = body != nullptr ? length : 0;
    m_serviceNo = 0;
    m_requestId = 0;
    m_endFlag = 0;
    Attach(m_packageStart, 0, m_totalLength, nullptr);

    CBMLPackage head;
    if (GetPackage(BMLTag::ApiHead, &head) == 0 && head.IsAttached())
        m_headMap.Unpack(head.GetData(), head.GetLength());

    CBMLPackage apiBody;
    GetPackage(BMLTag::ApiBody, &apiBody);
    Attach(apiBody.GetData(), 0, apiBody.GetLength(), nullptr);
    return 0;
}

// What the general reading above finds for such a body: ApiHead at 0 with
// its three fields in place, ApiBody right after it, the cursor of the
// ApiBody window at its start.
bool CAPIPackage::AttachAsWritten(const uint8_t* body, uint32_t length)
{
    using WH = WrittenHead;
    static const WrittenHead head = MakeWrittenHead();
    if (!head.usable || body == nullptr || length < HeadLength)
        return false;
    if (!BMLElement::SameBytes<8>(body, head.apiHead) || !BMLElement::SameBytes<8>(body + WH::ServiceNoAt, head.serviceNo) ||
        !BMLElement::SameBytes<8>(body + WH::RequestIdAt, head.requestId) ||
        !BMLElement::SameBytes<8>(body + WH::EndFlagAt, head.endFlag) ||
        !BMLElement::SameBytes<4>(body + WH::ApiBodyAt, head.apiBody))
        return false;
    const uint32_t bodyLength = BMLByteOrder::Read32(body + WH::ApiBodyAt + 4);
    if (bodyLength > length - HeadLength)
        return false;
    m_packageStart = const_cast<uint8_t*>(body);  // read only, as above
    m_totalLength = length;
    m_serviceNo = BMLByteOrder::Read16(body + WH::ServiceNoAt + 8);
    m_requestId = static_cast<int32_t>(BMLByteOrder::Read32(body + WH::RequestIdAt + 8));
    m_endFlag = static_cast<int32_t>(BMLByteOrder::Read32(body + WH::EndFlagAt + 8));
    CBMLPackage::Attach(m_packageStart + HeadLength, 0, bodyLength, nullptr);
    return true;
}

// Once past the head phase the window is the ApiBody value, so its length
// field lies just before it. During the head phase that place is in front of
// the body buffer (the transport's length prefix) and must not be touched.
int CAPIPackage::Commit(uint32_t count)
{
    CBMLPackage::Commit(count);
    if (m_totalLength >= HeadLength && m_capacity != 0)
        BMLByteOrder::Write32(m_data - 4, m_length);
    m_totalLength += count;
    return 0;
}

uint8_t* CAPIPackage::GetBuffer()
{
    return m_packageStart;
}

uint32_t CAPIPackage::GetLength()
{
    return m_totalLength;
}
