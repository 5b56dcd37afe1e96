#include "quote/CTarnQuotApiImp.h"

#include "net/CServerConnection.h"
#include "net/CServerConnector.h"

#include <boost/asio/post.hpp>

#include <cstring>

namespace
{

struct ErrorText
{
    int32_t Code;
    char Text[256];
};

// GBK texts: "操作成功！" (success) and "操作失败！" (failure).
const ErrorText kErrorTexts[2] = {
    {0, "\xB2\xD9\xD7\xF7\xB3\xC9\xB9\xA6\xA3\xA1"},
    {-1, "\xB2\xD9\xD7\xF7\xCA\xA7\xB0\xDC\xA3\xA1"},
};

// GBK "未知错误编码" (unknown error code).
const char kUnknownErrorText[] = "\xCE\xB4\xD6\xAA\xB4\xED\xCE\xF3\xB1\xE0\xC2\xEB";

// What the connector is started with: a connection that hears nothing for
// 120 s is dropped and one that sent nothing for 60 s sends a heartbeat.
constexpr uint16_t kHeartbeatSeconds = 120;
constexpr uint32_t kReadBufferSize = 0x100000;   // 1 MiB
constexpr uint32_t kWriteBlockSize = 0xA00000;   // 10 MiB

}  // namespace

// One thread runs the engine (the network thread), and the engine is told so:
// work posted from that thread itself then skips the scheduler's lock, and
// the socket's operations take none (Platform::EngineConcurrencyHint).
// Requests posted from the application's threads still take the scheduler's.
CTarnQuotApiImp::CTarnQuotApiImp()
    : m_ioContext(Platform::EngineConcurrencyHint()),
      m_engine(m_ioContext),
      m_connector(), m_addresses(), m_callback(nullptr), m_linkStats(), m_networkThreadId(),
      m_destroyOnExit(false)
{
}

CTarnQuotApiImp::~CTarnQuotApiImp()
{
    Stop();
}

void CTarnQuotApiImp::Destroy()
{
    if (IsNetworkThread())
    {
        // Called from inside a notification: the engine cannot be torn down
        // under the handler that is running. Stop everything that could call
        // out again, and let the network thread free the object once it has
        // unwound out of run().
        m_callback = nullptr;
        m_destroyOnExit = true;
        m_engine.Stop();
        if (m_connector)
            m_connector->Stop();
        return;
    }
    delete this;
}

void CTarnQuotApiImp::SetCallback(CTarnQuotSpi* callback)
{
    m_callback = callback;
}

int CTarnQuotApiImp::Start()
{
    if (m_connector)
        return 0;  // started once only: a second connector would be lost
    m_connector.reset(new CServerConnector(m_ioContext, this, m_addresses, kHeartbeatSeconds,
                                           kReadBufferSize, kWriteBlockSize));
    m_connector->Connect();  // may raise the "resolve" system error
    m_networkThread = Platform::StartNetworkThread([this] { RunNetwork(); });
    m_threadStored.store(true, std::memory_order_release);
    return 0;
}

void CTarnQuotApiImp::RunNetwork()
{
    m_networkThreadId.store(std::this_thread::get_id());
    m_engine.Run();
    if (m_destroyOnExit)
    {
        // Destroy was called on this thread; nothing is on the stack any more.
        // The thread can get here (connected, notified, disposed of) before
        // Start has finished storing its handle: wait for that, or Start would
        // write into the freed object and the handle would never be detached.
        while (!m_threadStored.load(std::memory_order_acquire))
            std::this_thread::yield();
        m_networkThread.detach();
        delete this;
    }
}

int CTarnQuotApiImp::Stop()
{
    if (!m_connector)
        return 0;
    m_engine.Stop();
    // Wait until the network thread has left run(), so that nothing below
    // races with a handler that is still finishing.
    if (m_networkThread.joinable() && !IsNetworkThread())
        m_networkThread.join();
    m_connector->Stop();
    m_connector.reset();
    return 0;
}

bool CTarnQuotApiImp::IsNetworkThread() const
{
    return m_networkThreadId.load() == std::this_thread::get_id();
}

int CTarnQuotApiImp::AddServerAddress(const char* address)
{
    if (address)
        m_addresses.emplace_back(address);
    return 0;
}

const char* CTarnQuotApiImp::GetErrorText(int code)
{
    for (const ErrorText& entry : kErrorTexts)
        if (entry.Code == code)
            return entry.Text;
    return kUnknownErrorText;
}

boost::shared_ptr<CServerConnection> CTarnQuotApiImp::GetConnection() const
{
    return m_connector ? m_connector->GetConnection() : boost::shared_ptr<CServerConnection>();
}

template <class Request>
int CTarnQuotApiImp::PostRequest(const Request* request, int requestId,
                                 int (CServerConnection::*send)(const Request&, int))
{
    if (!m_connector || !request)
        return -1;
    boost::shared_ptr<CServerConnection> connection = m_connector->GetConnection();
    if (!connection)
        return -1;
    const Request copy = *request;
    boost::asio::post(m_ioContext, [connection, copy, requestId, send]() {
        ((*connection).*send)(copy, requestId);
    });
    return 0;
}

int CTarnQuotApiImp::Login(const LoginReq* request, int requestId)
{
    return PostRequest(request, requestId, &CServerConnection::SendLogin);
}

int CTarnQuotApiImp::Logout(const LogoutReq* request, int requestId)
{
    return PostRequest(request, requestId, &CServerConnection::SendLogout);
}

int CTarnQuotApiImp::Subscribe(const QuotSubscribeReq* request, int requestId)
{
    return PostRequest(request, requestId, &CServerConnection::SendSubscribe);
}

int CTarnQuotApiImp::Unsubscribe(const QuotUnSubscribeReq* request, int requestId)
{
    return PostRequest(request, requestId, &CServerConnection::SendUnsubscribe);
}

int CTarnQuotApiImp::QueryMinData150(const MinDataQueryReq* request, int requestId)
{
    return PostRequest(request, requestId, &CServerConnection::SendMinDataQuery150);
}

int CTarnQuotApiImp::QueryDayData(const DayDataQueryReq* request, int requestId)
{
    return PostRequest(request, requestId, &CServerConnection::SendDayDataQuery);
}

int CTarnQuotApiImp::QueryMinData192(const MinDataQueryReq* request, int requestId)
{
    return PostRequest(request, requestId, &CServerConnection::SendMinDataQuery192);
}

int CTarnQuotApiImp::QueryMinData194(const MinDataQueryReq* request, int requestId)
{
    return PostRequest(request, requestId, &CServerConnection::SendMinDataQuery194);
}

int CTarnQuotApiImp::QueryTradeDetail(const TradeDetailDataQueryReq* request, int requestId)
{
    return PostRequest(request, requestId, &CServerConnection::SendTradeDetailQuery);
}
