// What an application could use instead of our codec: the same quote as a
// protobuf message behind the same 4-byte length prefix, received with the
// same steps as our receive path, protobuf standing in for the BML decoder.
//
// Per chunk and per frame, both sides do:
//   ours (CServerConnection::OnReceive, CQuotDecoder, CRivoMdApiImpl::OnQuote)
//     - note the time of receipt (the heartbeat timeout is judged from it);
//     - read the length prefix, refuse a body over the largest frame;
//     - read the package header, pick the decoder by service number and find
//       the Quot element (our protocol's envelope; protobuf has none);
//     - zero a QuotRecord on the stack, store the 54 numbers directly and
//       copy the 7 texts as bytes, cut to the member and NUL-terminated
//       (BSFlag: its one character as it stands);
//     - OnQuote (one virtual call), convert to a zeroed MarketDepthRecord,
//       NotifyQuote (one virtual call).
//   peer (Receive, Deliver, CopyInto)
//     - note the time of receipt; read the prefix, refuse an oversized body;
//     - parse into one reused message (bytes fields: no UTF-8 check; the
//       strings keep their capacity, so no allocation in steady state);
//     - zero a QuotRecord on the stack, copy the 54 numbers through the
//       generated accessors, one by one (no tables, no indirect calls) and
//       the 7 texts cut and NUL-terminated the same way;
//     - convert with the same CRecordConverter, NotifyQuote.
#ifndef KELM_BENCH_CPROTOQUOTEPEER_H
#define KELM_BENCH_CPROTOQUOTEPEER_H

#include <chrono>
#include <cstdint>
#include <vector>

#include "PeerQuote.pb.h"
#include <KelmRivoMdApi.h>
#include "quote/QuotRecord.h"

class CProtoQuotePeer
{
public:
    /// Largest body accepted, as on our connection.
    static constexpr uint32_t MaxBodyLength = 8192 - 4;

    /// quote as one frame: big-endian length, then the serialized message.
    static std::vector<uint8_t> Frame(const QuotRecord& quote);

    explicit CProtoQuotePeer(CKelmRivoMdCallback& app) : m_app(app) {}

    /// Handles every complete frame of the chunk (a partial frame is not
    /// kept: the benchmark always feeds whole frames). -1 on an oversized
    /// body or a bad message.
    int Receive(const uint8_t* data, uint32_t length);

    /// When the last chunk arrived.
    std::chrono::steady_clock::time_point LastReceipt() const { return m_lastReceipt; }

private:
    int Deliver(const uint8_t* body, uint32_t length);
    void CopyInto(QuotRecord& record) const;

    CKelmRivoMdCallback& m_app;
    kelmbench::PeerQuote m_message;
    std::chrono::steady_clock::time_point m_lastReceipt;
};

#endif
