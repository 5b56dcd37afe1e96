// The quote client: owns the network engine, the connector while started, and
// the list of server addresses. Notifications go to m_callback.
#ifndef KELM_QUOTE_CTARNQUOTAPIIMP_H
#define KELM_QUOTE_CTARNQUOTAPIIMP_H

#include "net/CEngineRunner.h"
#include "net/CLinkStats.h"
#include "net/Platform.h"
#include "quote/CTarnQuotApi.h"

#include <boost/asio/io_context.hpp>
#include <boost/shared_ptr.hpp>

#include <atomic>
#include <memory>
#include <thread>
#include <string>
#include <vector>

class CServerConnection;
class CServerConnector;

class CTarnQuotApiImp : public CTarnQuotApi
{
public:
    CTarnQuotApiImp();
    ~CTarnQuotApiImp() override;
    CTarnQuotApiImp(const CTarnQuotApiImp&) = delete;
    CTarnQuotApiImp& operator=(const CTarnQuotApiImp&) = delete;

    void Destroy() override;
    void SetCallback(CTarnQuotSpi* callback) override;
    int Start() override;
    int Stop() override;
    int AddServerAddress(const char* address) override;
    const char* GetErrorText(int code) override;
    int Login(const LoginReq* request, int requestId) override;
    int Logout(const LogoutReq* request, int requestId) override;
    int Subscribe(const QuotSubscribeReq* request, int requestId) override;
    int Unsubscribe(const QuotUnSubscribeReq* request, int requestId) override;
    int QueryMinData150(const MinDataQueryReq* request, int requestId) override;
    int QueryDayData(const DayDataQueryReq* request, int requestId) override;
    int QueryMinData192(const MinDataQueryReq* request, int requestId) override;
    int QueryMinData194(const MinDataQueryReq* request, int requestId) override;
    int QueryTradeDetail(const TradeDetailDataQueryReq* request, int requestId) override;

    /// Where the transport sends OnConnected/OnDisconnected and the decoders
    /// their results. Set once, before Start.
    CTarnQuotSpi* GetCallback() const { return m_callback; }

    /// The link's figures, kept for the client's whole life.
    CLinkStats& GetLinkStats() { return m_linkStats; }

    /// How the network thread runs the engine (sleeping or spinning); may be
    /// set at any time.
    CEngineRunner& GetEngineRunner() { return m_engine; }

    /// The callback as the decoders read it: a list decoder looks at it again
    /// before every record, so that a Dispose from inside a notification
    /// (which clears it) stops the rest of the list.
    CTarnQuotSpi* const& CallbackSlot() const { return m_callback; }

    /// True on the thread that runs the engine (where every notification runs).
    bool IsNetworkThread() const;

    /// The established connection, or empty (not started, stopped, between
    /// connections). Safe from any thread.
    boost::shared_ptr<CServerConnection> GetConnection() const;

private:
    void RunNetwork();
    template <class Request>
    int PostRequest(const Request* request, int requestId,
                    int (CServerConnection::*send)(const Request&, int));

    boost::asio::io_context m_ioContext;
    CEngineRunner m_engine;
    std::unique_ptr<CServerConnector> m_connector;
    std::vector<std::string> m_addresses;
    CTarnQuotSpi* m_callback;
    CLinkStats m_linkStats;
    // Kept (not detached) so that Stop can wait for the thread to leave run().
    Platform::NetworkThread m_networkThread;
    // Set by the network thread itself, so it is right even before Start has
    // finished storing m_networkThread.
    std::atomic<std::thread::id> m_networkThreadId;
    bool m_destroyOnExit;  // Destroy ran on the network thread itself
    // Set once Start has stored m_networkThread.
    std::atomic<bool> m_threadStored{false};
};

#endif
