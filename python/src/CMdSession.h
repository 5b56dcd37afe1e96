// One API object of the library and the session kept around it for Python:
// the quote ring and the event queue filled by the notifications, the
// connection and login state the waiting calls look at, and the current
// subscriptions. With auto-resubscribe the session logs in again after each
// reconnect and repeats its subscriptions after each login.
//
// Notifications run on the library's network thread. They never wait for a
// Python thread: they take only short-held locks (never the interpreter
// lock) and copy what they keep.
#ifndef KELM_PYTHON_CMDSESSION_H
#define KELM_PYTHON_CMDSESSION_H

#include <KelmRivoMdApi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "CQuoteRing.h"
#include "CSessionEvents.h"

struct SessionSettings
{
    std::vector<std::string> Addresses;  // "tcp://host:port", in order of preference
    std::size_t QueueCapacity = 65536;   // quotes
    std::size_t EventCapacity = 10000;
    bool AutoResubscribe = true;
};

struct Credentials
{
    std::string User;
    std::string Password;
    std::string Broker;
};

class CMdSession final : private CKelmRivoMdCallback
{
public:
    explicit CMdSession(const SessionSettings& settings);
    ~CMdSession() override;
    CMdSession(const CMdSession&) = delete;
    CMdSession& operator=(const CMdSession&) = delete;

    /// Starts connecting (once; later calls do nothing). Blocks on the name
    /// resolution of the first address and passes its failure on.
    void Launch();
    bool WaitConnected(std::chrono::milliseconds timeout);
    bool Connected() const;
    bool LoggedIn() const;

    /// Sends a login (or logout, for the user of the last login); returns
    /// its request id for WaitAnswer, or -1 when there is no connection.
    int SubmitLogin(const Credentials& credentials);
    int SubmitLogout();
    /// The answer to a request of SubmitLogin or SubmitLogout.
    std::optional<SessionEvent> WaitAnswer(int requestId, std::chrono::milliseconds timeout);
    /// Stops waiting for an answer that will not be collected.
    void ForgetAnswer(int requestId);

    void Subscribe(const std::vector<std::string>& codes);
    void Unsubscribe(const std::vector<std::string>& codes);
    std::vector<std::string> Subscriptions() const;
    std::string TradeDate();

    /// Disposes of the API object: no notification runs once this returns.
    /// Ends every wait; queued quotes and events stay readable.
    void Close();
    bool Closed() const;

    CQuoteRing& Quotes() { return m_quotes; }
    CSessionEvents& Events() { return m_events; }

private:
    void NotifyConnected() override;
    void NotifyDisconnected(int reason) override;
    void NotifyLoginResult(LoginResultRecord* result, ResponseInfoRecord* info, int requestId, bool isLast) override;
    void NotifyLogoutResult(LogoutResultRecord* result, ResponseInfoRecord* info, int requestId, bool isLast) override;
    void NotifySubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int requestId,
                               bool isLast) override;
    void NotifyUnsubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int requestId,
                                 bool isLast) override;
    void NotifyQuote(MarketDepthRecord* quote) override;

    // Network thread: records an answer for its waiter and queues it as an event.
    void Deliver(SessionEvent event);
    // Makes an awaited request on the API object; its request id, or -1 when
    // the library refused it (no connection) or the client is closed.
    template <class Request>
    int Send(int requestId, Request request);

    const SessionSettings m_settings;
    CQuoteRing m_quotes;
    CSessionEvents m_events;

    // The API object. Python threads use it under m_apiMutex while m_open;
    // notifications use it freely, since Dispose waits for them to end.
    CKelmRivoMdApi* const m_api;
    mutable std::mutex m_apiMutex;
    bool m_open = true;
    bool m_launched = false;
    std::string m_tradeDate;  // kept from the API object when it is disposed

    std::atomic<int> m_nextRequestId{1};

    // Session state, shared with the network thread; held only for copies.
    mutable std::mutex m_stateMutex;
    std::condition_variable m_stateChanged;
    bool m_connected = false;
    bool m_loggedIn = false;
    bool m_closed = false;
    bool m_loginAgain = false;  // a login succeeded and no logout followed
    Credentials m_credentials;
    std::set<std::string> m_subscriptions;
    std::map<int, std::optional<SessionEvent>> m_answers;  // awaited request ids
    std::set<int> m_automaticLogins;                       // logins sent after a reconnect
};

#endif
