// The library's receive path without a socket: a server connection whose
// quote client reports to the exported API object, whose application callback
// does nothing. Feeding bytes to Receive runs the framing, ProcessPackage, the
// quote decoder, the conversion to MarketDepthRecord and NotifyQuote, on the
// calling thread, exactly as the network thread runs them for a read.
#ifndef KELM_BENCH_CINPROCESSCLIENT_H
#define KELM_BENCH_CINPROCESSCLIENT_H

#include <cstdint>
#include <memory>

#include <boost/asio/io_context.hpp>
#include <boost/shared_ptr.hpp>

#include "CountingApp.h"

class CRivoMdApiImpl;
class CServerConnection;
class CServerConnector;
class CTarnQuotApiImp;

class CInProcessClient
{
public:
    CInProcessClient();
    ~CInProcessClient();
    CInProcessClient(const CInProcessClient&) = delete;
    CInProcessClient& operator=(const CInProcessClient&) = delete;

    /// One chunk as a read delivers it; the result of the framing (0 = go on).
    int Receive(const uint8_t* data, uint32_t length);

    /// Quotes that reached the application so far.
    uint64_t Quotes() const { return m_app.quotes; }

    /// Amount of the last quote the application saw.
    double LastAmount() const { return m_app.lastAmount; }

private:
    CountingApp m_app;
    boost::asio::io_context m_ioContext;
    CTarnQuotApiImp* m_quoteClient;  // owned by m_api
    CRivoMdApiImpl* m_api;           // released by Dispose
    std::unique_ptr<CServerConnector> m_connector;
    boost::shared_ptr<CServerConnection> m_connection;
};

#endif
