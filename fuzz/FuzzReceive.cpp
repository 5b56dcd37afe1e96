// The receive path: arbitrary bytes, cut into arbitrary chunks, through the
// connection's framing, the dispatcher, the decoders and the public record
// conversion.
//
// Input: the first eight bytes give the chunk sizes, used in turn (n gives a
// chunk of n bytes, 0 the whole rest); the remaining bytes are the stream.
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

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    if (size < kCutCount)
        return 0;
    // The API object owns the quote client and registers itself as its
    // callback; the toucher sits in between and hands everything on.
    CTarnQuotApiImp* quoteClient = new CTarnQuotApiImp();
    CRivoMdApiImpl* api = new CRivoMdApiImpl(CRivoMdApiImpl::QuoteApiPtr(quoteClient));
    CFieldToucher toucher(api);
    quoteClient->SetCallback(&toucher);
    api->SetCallbackObject(&toucher);
    {
        boost::asio::io_context io;
        // No address: a lost connection is reported but not replaced.
        CServerConnector connector(io, quoteClient, {}, 120, 4096, 4096);
        auto connection = boost::make_shared<CServerConnection>(io, &connector, quoteClient, 120, 4096, 4096);
        Feed(*connection, data, data + kCutCount, size - kCutCount);
    }
    api->Dispose();
    return 0;
}
