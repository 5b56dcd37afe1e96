#include "bml/CAPIPackage.h"

#include "bml/BMLByteOrder.h"
#include "bml/BMLDictionary.h"

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
