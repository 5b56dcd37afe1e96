// The connection to a quote server: frames packages on the byte stream (a
// 4-byte big-endian body length, then the body), sends packages, watches the
// link with a heartbeat and reports connection and loss to the quote client.
#ifndef KELM_NET_CSERVERCONNECTION_H
#define KELM_NET_CSERVERCONNECTION_H

#include "net/CTcpConnection.h"
#include "quote/QuotRequests.h"

#include <boost/asio/deadline_timer.hpp>
#include <boost/shared_ptr.hpp>

#include <chrono>
#include <cstdint>
#include <memory>

class CAPIPackage;
class CLinkStats;
class CServerConnector;
class CTarnQuotApiImp;

class CServerConnection final : public CTcpConnection
{
public:
    /// Size of the assembly and send buffers: the largest frame.
    static constexpr uint32_t BufferSize = 8192;
    /// Largest body accepted or sent.
    static constexpr uint32_t MaxBodyLength = BufferSize - 4;

    CServerConnection(boost::asio::io_context& ioContext, CServerConnector* connector,
                      CTarnQuotApiImp* quoteClient, uint16_t heartbeatSeconds, uint32_t readBufferSize,
                      uint32_t writeBlockSize);

    /// Called when the socket has connected: keeps itself alive, starts
    /// reading, arms both heartbeat timers and reports OnConnected.
    void Start(boost::shared_ptr<CServerConnection> self);

    /// Writes the length prefix in front of the package (built in place at
    /// m_sendBuffer + 4, or anywhere else) and queues the frame. Returns 0, or
    /// -1 for a body too large to frame.
    int SendPackage(CAPIPackage& package);

    // Requests, run on the network thread: 0 when queued, -1 when closed.
    int SendLogin(const LoginReq& request, int requestId);
    int SendLogout(const LogoutReq& request, int requestId);
    int SendSubscribe(const QuotSubscribeReq& request, int requestId);
    int SendUnsubscribe(const QuotUnSubscribeReq& request, int requestId);
    int SendMinDataQuery150(const MinDataQueryReq& request, int requestId);
    int SendDayDataQuery(const DayDataQueryReq& request, int requestId);
    int SendMinDataQuery192(const MinDataQueryReq& request, int requestId);
    int SendMinDataQuery194(const MinDataQueryReq& request, int requestId);
    int SendTradeDetailQuery(const TradeDetailDataQueryReq& request, int requestId);

    /// Seconds of silence after which the link is dropped (half of it
    /// without sending brings a heartbeat).
    uint16_t GetHeartbeatSeconds() const { return m_heartbeatSeconds; }

    /// Decodes and dispatches one package body; negative = drop the link.
    int ProcessPackage(const uint8_t* body, uint32_t length);
    int DispatchPackage(CAPIPackage& package);

    /// The framing of one received chunk: 0 to keep reading, -1 after closing.
    int OnReceive(const char* data, uint32_t length) override;

protected:
    void OnDisconnect(const char* reason) override;

private:
    template <typename Request>
    int SendRequest(uint16_t serviceNo, const Request& request, int requestId);

    int FinishHeldFrame(const uint8_t*& data, uint32_t& length);
    bool CheckBodyLength(uint32_t bodyLength);
    bool Process(const uint8_t* body, uint32_t length);
    void ArmHeartbeatTimeout(boost::posix_time::time_duration delay);
    void ArmHeartbeatSend();
    void OnHeartbeatTimeout(const boost::system::error_code& error);
    void OnHeartbeatSendTimer(const boost::system::error_code& error);

    std::unique_ptr<uint8_t[]> m_assembly;
    uint32_t m_assemblyLength;
    std::unique_ptr<uint8_t[]> m_sendBuffer;
    // Time of the last received chunk. The timeout timer is not re-armed per
    // chunk (which would cost an allocation per read); when it expires it
    // waits again for whatever is left of the silence allowed.
    std::chrono::steady_clock::time_point m_lastReceipt;
    boost::asio::deadline_timer m_heartbeatTimeoutTimer;
    boost::asio::deadline_timer m_heartbeatSendTimer;
    CServerConnector* m_connector;
    uint16_t m_heartbeatSeconds;
    CTarnQuotApiImp* m_quoteClient;
    CLinkStats& m_stats;
    boost::shared_ptr<CServerConnection> m_self;
};

#endif
