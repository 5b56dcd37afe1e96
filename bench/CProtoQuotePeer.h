// What an application could use instead of our codec: the same quote as a
// protobuf message behind the same 4-byte length prefix. Receive does the
// work our receive path does, with protobuf in place of the BML decoder:
// framing, parsing into one reused message, copying into a zeroed QuotRecord,
// conversion to MarketDepthRecord and the application's NotifyQuote.
#ifndef KELM_BENCH_CPROTOQUOTEPEER_H
#define KELM_BENCH_CPROTOQUOTEPEER_H

#include <cstdint>
#include <vector>

#include "PeerQuote.pb.h"
#include "api/KelmRivoMdApi.h"
#include "quote/QuotRecord.h"

class CProtoQuotePeer
{
public:
    /// quote as one frame: big-endian length, then the serialized message.
    static std::vector<uint8_t> Frame(const QuotRecord& quote);

    explicit CProtoQuotePeer(CKelmRivoMdCallback& app) : m_app(app) {}

    /// Handles every complete frame of the chunk (a partial frame is not
    /// kept: the benchmark always feeds whole frames). -1 on a bad message.
    int Receive(const uint8_t* data, uint32_t length);

private:
    int Deliver(const uint8_t* body, uint32_t length);
    void CopyInto(QuotRecord& record) const;

    CKelmRivoMdCallback& m_app;
    kelmbench::PeerQuote m_message;
};

#endif
