// A whole message body: the ApiHead record (ServiceNo, RequestID, EndFlag)
// followed by the ApiBody record. Once opened, the window is the ApiBody
// value, in which the message's records and lists are added or found.
#ifndef KELM_BML_CAPIPACKAGE_H
#define KELM_BML_CAPIPACKAGE_H

#include <cstdint>

#include "bml/BMLFieldBinding.h"
#include "bml/CBMLFieldMap.h"
#include "bml/CBMLPackage.h"

class CAPIPackage : public CBMLPackage
{
public:
    // Room for one body: the transport's 8192-byte buffer less its 4-byte
    // length prefix.
    static constexpr uint32_t MaxBodyLength = 8188;
    // The ApiHead element (42 bytes) plus the ApiBody element header.
    static constexpr uint32_t HeadLength = 50;

    CAPIPackage();
    // m_headMap points into this object.
    CAPIPackage(const CAPIPackage&) = delete;
    CAPIPackage& operator=(const CAPIPackage&) = delete;

    // Starts a message at buffer (at least MaxBodyLength bytes); afterwards
    // the window is the empty ApiBody value. Returns 0.
    int BeginRequest(uint16_t serviceNo, int32_t requestId, uint8_t* buffer);

    // Opens a received body for reading: fills the head fields and moves the
    // window onto the ApiBody value (unattached when there is none). The
    // bytes are only read. Returns 0.
    int AttachReceived(const uint8_t* body, uint32_t length);

    int Commit(uint32_t count) override;   // 15
    uint8_t* GetBuffer() override;         // 16: first byte of the body
    uint32_t GetLength() override;         // 17: bytes of the body

    uint16_t GetServiceNo() const { return m_serviceNo; }
    int32_t GetRequestId() const { return m_requestId; }
    int32_t GetEndFlag() const { return m_endFlag; }

private:
    // AttachReceived for a body whose head is laid out exactly as
    // BeginRequest writes it and whose ApiBody lies within it: the same
    // result without the search. False (nothing changed) for any other body.
    bool AttachAsWritten(const uint8_t* body, uint32_t length);

    uint8_t* m_packageStart;   // first byte of the body
    uint32_t m_totalLength;    // bytes of the body written or received
    BMLFieldBinding m_headBindings[3];
    CBMLFieldMap m_headMap;    // ServiceNo, RequestID, EndFlag
    uint16_t m_serviceNo;
    int32_t m_requestId;
    int32_t m_endFlag;
};

#endif
