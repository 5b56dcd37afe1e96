#include "net/CServerConnection.h"

#include "bml/BMLByteOrder.h"
#include "bml/CAPIPackage.h"
#include "net/CLinkStats.h"
#include "net/CServerConnector.h"
#include "quote/CPackageDispatcher.h"
#include "quote/CRequestBuilder.h"
#include "quote/CTarnQuotApiImp.h"
#include "quote/CTarnQuotSpi.h"

#include <boost/asio/error.hpp>
#include <boost/asio/placeholders.hpp>
#include <boost/bind/bind.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <cstring>

namespace
{

const char* const ReasonTooLarge = "Disconnect because package is too large!";
const char* const ReasonProcessing = "Disconnect because of an error in business processing!";
const char* const ReasonHeartbeat = "Disconnect because of heartbeat timeout!";

// A wait whose handler was already queued when the timer was set again still
// completes without error; only an expiry that has really passed counts.
bool HasExpired(const boost::asio::deadline_timer& timer)
{
    return timer.expires_at() <= boost::asio::deadline_timer::traits_type::now();
}

void CancelTimer(boost::asio::deadline_timer& timer)
{
    boost::system::error_code error;
    timer.cancel(error);
    if (error)
        throw boost::system::system_error(error, "cancel");
}

} // namespace

CServerConnection::CServerConnection(boost::asio::io_context& ioContext, CServerConnector* connector,
                                     CTarnQuotApiImp* quoteClient, uint16_t heartbeatSeconds,
                                     uint32_t readBufferSize, uint32_t writeBlockSize)
    : CTcpConnection(ioContext, writeBlockSize, readBufferSize),
      m_assembly(new uint8_t[BufferSize]),
      m_assemblyLength(0),
      m_sendBuffer(new uint8_t[BufferSize]),
      m_heartbeatTimeoutTimer(ioContext),
      m_heartbeatSendTimer(ioContext),
      m_connector(connector),
      m_heartbeatSeconds(heartbeatSeconds),
      m_quoteClient(quoteClient),
      m_stats(quoteClient->GetLinkStats())
{
}

void CServerConnection::Start(boost::shared_ptr<CServerConnection> self)
{
    m_self = self;
    m_lastReceipt = std::chrono::steady_clock::now();
    CTcpConnection::Start(self);
    ArmHeartbeatTimeout(boost::posix_time::seconds(m_heartbeatSeconds));
    ArmHeartbeatSend();
    if (CTarnQuotSpi* callback = m_quoteClient->GetCallback())
        callback->OnConnected();
}

// Timers run only while the connection is open (m_self set); each wait holds
// a reference to the connection.
void CServerConnection::ArmHeartbeatTimeout(boost::posix_time::time_duration delay)
{
    if (!m_self)
        return;
    m_heartbeatTimeoutTimer.expires_from_now(delay);
    m_heartbeatTimeoutTimer.async_wait(
        boost::bind(&CServerConnection::OnHeartbeatTimeout, m_self, boost::asio::placeholders::error));
}

void CServerConnection::ArmHeartbeatSend()
{
    if (!m_self)
        return;
    m_heartbeatSendTimer.expires_from_now(boost::posix_time::seconds(m_heartbeatSeconds / 2));
    m_heartbeatSendTimer.async_wait(
        boost::bind(&CServerConnection::OnHeartbeatSendTimer, m_self, boost::asio::placeholders::error));
}

void CServerConnection::OnHeartbeatTimeout(const boost::system::error_code& error)
{
    if (m_closed || error == boost::asio::error::operation_aborted || !HasExpired(m_heartbeatTimeoutTimer))
        return;
    const std::chrono::microseconds allowed = std::chrono::seconds(m_heartbeatSeconds);
    const std::chrono::microseconds silent =
        std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - m_lastReceipt);
    if (silent < allowed)
    {
        ArmHeartbeatTimeout(boost::posix_time::microseconds((allowed - silent).count()));
        return;
    }
    Close(ReasonHeartbeat);
}

void CServerConnection::OnHeartbeatSendTimer(const boost::system::error_code& error)
{
    if (m_closed || error == boost::asio::error::operation_aborted || !HasExpired(m_heartbeatSendTimer))
        return;
    // The heartbeat is a package of service 0 with an empty body.
    CAPIPackage package;
    package.BeginRequest(0, 0, m_sendBuffer.get() + 4);
    SendPackage(package);
    m_stats.AddHeartbeat();
}

int CServerConnection::SendPackage(CAPIPackage& package)
{
    const uint32_t length = package.GetLength();
    if (length > MaxBodyLength)
        return -1;
    uint8_t* body = m_sendBuffer.get() + 4;
    // Usually built in place already; memmove copes with that.
    if (length > 0)
        std::memmove(body, package.GetBuffer(), length);
    BMLByteOrder::Write32(m_sendBuffer.get(), length);
    Send(reinterpret_cast<const char*>(m_sendBuffer.get()), static_cast<int>(length + 4));
    ArmHeartbeatSend();
    return 0;
}

template <typename Request>
int CServerConnection::SendRequest(uint16_t serviceNo, const Request& request, int requestId)
{
    if (m_closed)
        return -1;
    CAPIPackage package;
    package.BeginRequest(serviceNo, requestId, m_sendBuffer.get() + 4);
    CRequestBuilder::AddRecord(package, request);
    SendPackage(package);
    return 0;
}

int CServerConnection::SendLogin(const LoginReq& r, int id) { return SendRequest(116, r, id); }
int CServerConnection::SendLogout(const LogoutReq& r, int id) { return SendRequest(118, r, id); }
int CServerConnection::SendSubscribe(const QuotSubscribeReq& r, int id) { return SendRequest(7, r, id); }
int CServerConnection::SendUnsubscribe(const QuotUnSubscribeReq& r, int id) { return SendRequest(9, r, id); }
int CServerConnection::SendMinDataQuery150(const MinDataQueryReq& r, int id) { return SendRequest(150, r, id); }
int CServerConnection::SendDayDataQuery(const DayDataQueryReq& r, int id) { return SendRequest(152, r, id); }
int CServerConnection::SendMinDataQuery192(const MinDataQueryReq& r, int id) { return SendRequest(192, r, id); }
int CServerConnection::SendMinDataQuery194(const MinDataQueryReq& r, int id) { return SendRequest(194, r, id); }
int CServerConnection::SendTradeDetailQuery(const TradeDetailDataQueryReq& r, int id) { return SendRequest(211, r, id); }

int CServerConnection::ProcessPackage(const uint8_t* body, uint32_t length)
{
    CAPIPackage package;
    package.AttachReceived(body, length);
    return DispatchPackage(package);
}

int CServerConnection::DispatchPackage(CAPIPackage& package)
{
    if (package.GetServiceNo() == CPackageDispatcher::QuoteService)
        m_stats.AddQuote();
    return CPackageDispatcher::Dispatch(package, m_quoteClient->CallbackSlot());
}

bool CServerConnection::CheckBodyLength(uint32_t bodyLength)
{
    if (bodyLength <= MaxBodyLength)
        return true;
    Close(ReasonTooLarge);
    return false;
}

// One package, in place; false when the connection is closed afterwards (by a
// failed dispatch, or by whatever the callback did), so the rest of the chunk
// is dropped.
bool CServerConnection::Process(const uint8_t* body, uint32_t length)
{
    if (ProcessPackage(body, length) < 0)
    {
        Close(ReasonProcessing);
        return false;
    }
    return !m_closed;
}

// Completes the frame held from earlier chunks with the front of this one.
// Returns 1 when the frame was processed (data and length then describe the
// rest of the chunk), 0 when it is still incomplete, -1 after a close.
int CServerConnection::FinishHeldFrame(const uint8_t*& data, uint32_t& length)
{
    uint8_t* held = m_assembly.get();
    if (m_assemblyLength < 4)
    {
        const uint32_t count = std::min(4 - m_assemblyLength, length);
        std::memcpy(held + m_assemblyLength, data, count);
        m_assemblyLength += count;
        data += count;
        length -= count;
        if (m_assemblyLength < 4)
            return 0;
    }
    const uint32_t bodyLength = BMLByteOrder::Read32(held);
    if (!CheckBodyLength(bodyLength))
        return -1;
    const uint32_t count = std::min(bodyLength + 4 - m_assemblyLength, length);
    if (count > 0)
        std::memcpy(held + m_assemblyLength, data, count);
    m_assemblyLength += count;
    data += count;
    length -= count;
    if (m_assemblyLength - 4 != bodyLength)
        return 0;
    m_assemblyLength = 0;
    m_stats.AddPackage();
    return Process(held + 4, bodyLength) ? 1 : -1;
}

int CServerConnection::OnReceive(const char* chunk, uint32_t length)
{
    // Any byte from the server proves the link alive.
    m_lastReceipt = std::chrono::steady_clock::now();
    m_stats.AddBytes(length, m_lastReceipt);
    const uint8_t* data = reinterpret_cast<const uint8_t*>(chunk);
    if (m_assemblyLength > 0)
    {
        const int held = FinishHeldFrame(data, length);
        if (held <= 0)
            return held;
    }
    while (length >= 4)
    {
        // Judged on the prefix alone, before the body has arrived.
        const uint32_t bodyLength = BMLByteOrder::Read32(data);
        if (!CheckBodyLength(bodyLength))
            return -1;
        if (length - 4 < bodyLength)
            break;
        m_stats.AddPackage();
        if (!Process(data + 4, bodyLength))
            return -1;
        data += 4 + bodyLength;
        length -= 4 + bodyLength;
    }
    if (length > 0)
    {
        std::memcpy(m_assembly.get(), data, length);
        m_assemblyLength = length;
    }
    return 0;
}

void CServerConnection::OnDisconnect(const char* /*reason*/)
{
    CancelTimer(m_heartbeatSendTimer);
    CancelTimer(m_heartbeatTimeoutTimer);
    // Kept until the end of this call: the reference may be the last one.
    boost::shared_ptr<CServerConnection> self;
    self.swap(m_self);
    if (m_connector->IsStopping())
        return;
    m_stats.Lost();
    if (CTarnQuotSpi* callback = m_quoteClient->GetCallback())
        callback->OnDisconnected();
    m_connector->OnConnectionLost();
}
