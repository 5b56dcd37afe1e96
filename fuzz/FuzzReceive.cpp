// The receive path: arbitrary bytes, cut into arbitrary chunks, through the
// connection's framing, the dispatcher, the decoders and the public record
// conversion.
//
// Input: the first eight bytes give the chunk sizes, used in turn (n gives a
// chunk of n bytes, 0 the whole rest); the remaining bytes are the stream.
//
// The API object, its quote client and the connector live for the whole run
// (building two I/O contexts per input cost most of each execution); every
// input gets a fresh connection, so its framing starts from nothing. What
// the API object keeps between inputs (the trade date of a login answer) is
// what it would keep across reconnects in a real process.
#include "api/CRivoMdApiImpl.h"
#include "fuzz/CFieldToucher.h"
#include "net/CServerConnection.h"
#include "net/CServerConnector.h"
#include "quote/CTarnQuotApiImp.h"

#include <boost/asio/io_context.hpp>
#include <boost/make_shared.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace
{

constexpr std::size_t kCutCount = 8;

void Feed(CServerConnection& connection, const uint8_t* cuts, const uint8_t* data, std::size_t size)
{
    std::size_t offset = 0;
    for (std::size_t i = 0; offset < size && !connection.IsClosed(); ++i)
    {
        const uint8_t cut = cuts[i % kCutCount];
        const std::size_t count = cut == 0 ? size - offset : std::min<std::size_t>(cut, size - offset);
        // A chunk of its own, as the socket would fill it.
        const std::vector<char> chunk(data + offset, data + offset + count);
        if (connection.OnReceive(chunk.data(), static_cast<uint32_t>(count)) < 0)
            break;
        offset += count;
    }
}

}  // namespace

namespace
{

// Built once, never destroyed: the fuzzer ends the process with exit().
class CEngine
{
public:
    CEngine()
        : m_quoteClient(new CTarnQuotApiImp()),
          m_api(new CRivoMdApiImpl(CRivoMdApiImpl::QuoteApiPtr(m_quoteClient))),
          m_toucher(m_api),
          // No address: a lost connection is reported but not replaced.
          m_connector(m_io, m_quoteClient, {}, 120, 4096, 4096)
    {
        // The API object registers itself as the quote client's callback;
        // the toucher sits in between and hands everything on.
        m_quoteClient->SetCallback(&m_toucher);
        m_api->SetCallbackObject(&m_toucher);
    }

    void Run(const uint8_t* cuts, const uint8_t* data, std::size_t size)
    {
        {
            auto connection =
                boost::make_shared<CServerConnection>(m_io, &m_connector, m_quoteClient, 120, 4096, 4096);
            Feed(*connection, cuts, data, size);
        }
        // Whatever the input left posted runs now, before the next input.
        m_io.poll();
        m_io.restart();
    }

private:
    CTarnQuotApiImp* m_quoteClient;  // owned by m_api
    CRivoMdApiImpl* m_api;
    CFieldToucher m_toucher;
    boost::asio::io_context m_io;
    CServerConnector m_connector;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < kCutCount)
        return 0;
    static CEngine* const engine = new CEngine();
    engine->Run(data, data + kCutCount, size - kCutCount);
    return 0;
}
