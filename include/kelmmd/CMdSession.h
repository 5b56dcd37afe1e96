// A session with the quote servers: one API object of the library and what
// the library leaves to its application, kept in one place.
//
//   kelmmd::SessionSettings settings;
//   settings.Addresses = {"tcp://127.0.0.1:7000"};
//   kelmmd::CMdSession session(settings);
//   session.Connect(std::chrono::seconds(10));
//   session.Login({"demo", "secret", ""}, std::chrono::seconds(10));
//   session.Subscribe({"au2406", "ag2406"});
//   MarketDepthRecord quote;
//   while (session.Quotes().Next(quote, std::chrono::seconds(5)))
//       ...
//
// - Connecting and logging in wait, with a timeout; a refused login throws
//   CSessionError with the server's RspNo and RspDesc.
// - After every reconnect the session logs in again by itself (once a login
//   has succeeded, until the application logs out), and after every login
//   it subscribes again to the current codes; codes the server refused are
//   dropped from them (SessionSettings::AutoResubscribe switches this off).
// - Quotes go into a bounded queue (CQuoteQueue) that the network thread
//   never waits on, or to a function of the application's on the network
//   thread; session events go into a queue of plain records (CEventQueue of
//   SessionEvent), or to a function likewise.
// - Request ids are the session's: it numbers logins, logouts and history
//   queries from 1 and gives each answer to the call that waits for it.
// - History (minute bars, day bars, trades) through the library's extension
//   interface: blocking calls that return the whole answer, or an answer
//   object (CHistoryAnswer) whose records arrive as they come; several
//   queries may be in flight, each answer matched by its request id.
// - Close, from any thread, disposes of the API object (no notification
//   runs once it returns) and ends every wait; the destructor closes and is
//   safe while other threads still wait in the session or its queues.
//
// Written on the library's public headers alone: only the API object's and
// the extension's virtual operations and the public records cross the
// library's boundary, so any compiler the library supports can build it
// into an application.
#ifndef KELMMD_CMDSESSION_H
#define KELMMD_CMDSESSION_H

#include <KelmRivoMdApi.h>
#include <KelmRivoMdExtension.h>

#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "CEventQueue.h"
#include "CHistoryAnswer.h"
#include "CQuoteQueue.h"
#include "CSessionError.h"
#include "CWaitingThreads.h"
#include "Deadline.h"
#include "HistoryQueries.h"
#include "RecordText.h"
#include "SessionEvent.h"
#include "SessionSettings.h"

namespace kelmmd
{

class CMdSession final : private CKelmRivoMdCallback, private CKelmRivoMdExtensionCallback
{
public:
    using Milliseconds = std::chrono::milliseconds;

    /// Creates the API object and gives it the addresses; nothing connects
    /// before Launch or Connect. A Spinning setting below -1 throws
    /// std::invalid_argument, one the library cannot follow (older than
    /// the setting) std::runtime_error.
    explicit CMdSession(SessionSettings settings)
        : m_settings(std::move(settings)),
          // With OnQuote the queue stays empty: one slot is enough.
          m_quotes(m_settings.OnQuote ? 1 : m_settings.QueueCapacity, m_settings.QueueMemory, m_settings.QueuePoll),
          m_events(m_settings.EventCapacity),
          m_api(CKelmRivoMdApi::CreateRivoMdApi("", false, false)),
          m_extension(CKelmRivoMdExtension::FromApi(m_api))
    {
        if (m_settings.Spinning != 0)
            SetSpinning(m_settings.Spinning);
        m_api->SetCallbackObject(static_cast<CKelmRivoMdCallback*>(this));
        m_extension->SetCallbackObject(static_cast<CKelmRivoMdExtensionCallback*>(this));
        for (const std::string& address : m_settings.Addresses)
            m_api->AddServerUrl(address.c_str());
    }

    ~CMdSession() override { Close(); }

    CMdSession(const CMdSession&) = delete;
    CMdSession& operator=(const CMdSession&) = delete;

    // The link ---------------------------------------------------------------

    /// Starts connecting, once (later calls do nothing). The first address is
    /// resolved on this thread; where the library reports a failure of that
    /// by an exception, it is passed on.
    void Launch()
    {
        std::lock_guard<std::mutex> api(m_apiMutex);
        if (!m_open || m_launched)
            return;
        m_launched = true;
        m_api->Launch();
    }

    /// Launch, then WaitConnected.
    bool Connect(Milliseconds timeout)
    {
        Launch();
        return WaitConnected(timeout);
    }

    /// True once connected; false after the timeout or once closed.
    bool WaitConnected(Milliseconds timeout)
    {
        CWaitingThreads::Inside inside(m_waiting);
        return WaitConnectedUntil(DeadlineAfter(timeout));
    }

    // Logging in and out ----------------------------------------------------

    /// Logs in and waits for the answer: the login result, or CSessionError
    /// (Refused with the server's answer, NotConnected, Timeout, Closed).
    LoginResultRecord Login(const Credentials& credentials, Milliseconds timeout)
    {
        const SessionEvent answer = Await("login", timeout, [&] { return SubmitLogin(credentials); });
        if (!answer.Succeeded() || !answer.HasRecord)
        {
            const int rspNo = answer.HasInfo ? answer.RspNo : -1;
            throw CSessionError(CSessionError::Kind::Refused,
                                "login refused: " + std::to_string(rspNo) + " " + answer.RspDesc, rspNo,
                                answer.RspDesc);
        }
        return answer.Login;
    }

    /// Logs out and waits for the answer (see its Succeeded); CSessionError
    /// when none comes. The session forgets its subscriptions and no longer
    /// logs in after reconnects.
    SessionEvent Logout(Milliseconds timeout)
    {
        return Await("logout", timeout, [this] { return SubmitLogout(); });
    }

    /// Logs in as soon as there is a connection (at once when there is one)
    /// and, until the server answers, again on every new connection. The
    /// answer comes as a Login event.
    void LoginWhenConnected(const Credentials& credentials)
    {
        const LoginRequestRecord request = LoginRequest(credentials);
        std::lock_guard<std::mutex> api(m_apiMutex);
        if (!m_open)
            return;
        // Decided and sent under the state lock, so that the network thread
        // cannot send the same login on the same connection meanwhile.
        std::lock_guard<std::mutex> state(m_stateMutex);
        m_credentials = credentials;
        m_loginWanted = true;
        if (m_connected && m_loginWantedOn != m_connections)
        {
            m_loginWantedOn = m_connections;
            m_api->SubmitLogin(&request, NextRequestId());
        }
    }

    /// Sends a login, or a logout of the user of the last login, without
    /// waiting: the request id for WaitAnswer, or -1 when there is no
    /// connection or the session is closed.
    int SubmitLogin(const Credentials& credentials)
    {
        const LoginRequestRecord request = LoginRequest(credentials);
        return Request([&] { m_credentials = credentials; },
                       [&](CKelmRivoMdApi& api, int requestId) { return api.SubmitLogin(&request, requestId); });
    }
    int SubmitLogout()
    {
        LogoutRequestRecord request;
        std::memset(&request, 0, sizeof request);
        return Request(
            [this] {
                // Whatever the answer, the application wants the session
                // over: no login after the next reconnect, and the server
                // forgets the subscriptions.
                m_loginAgain = false;
                m_loginWanted = false;
                m_subscriptions.clear();
            },
            [&](CKelmRivoMdApi& api, int requestId) { return api.SubmitLogout(&request, requestId); });
    }

    /// The answer to a request of SubmitLogin or SubmitLogout, waiting up
    /// to timeout; nothing when none came or the session is closed (call
    /// ForgetAnswer then, unless the answer is still wanted).
    std::optional<SessionEvent> WaitAnswer(int requestId, Milliseconds timeout)
    {
        CWaitingThreads::Inside inside(m_waiting);
        return WaitAnswerUntil(requestId, DeadlineAfter(timeout));
    }

    /// Stops keeping the answer to a request nobody will collect.
    void ForgetAnswer(int requestId)
    {
        std::lock_guard<std::mutex> state(m_stateMutex);
        m_answers.erase(requestId);
    }

    // Subscriptions ----------------------------------------------------------

    /// Adds codes to the subscriptions (at most 15 characters of each are
    /// sent, and kept). Each result arrives as a Subscribe event; a code the
    /// server refuses is dropped from the subscriptions.
    void Subscribe(const std::vector<std::string>& codes)
    {
        std::lock_guard<std::mutex> api(m_apiMutex);
        if (!m_open)
            return;
        std::vector<std::string> send;
        {
            std::lock_guard<std::mutex> state(m_stateMutex);
            // With AutoResubscribe, codes given before the login go out with
            // the subscriptions repeated after it.
            const bool now = !m_settings.AutoResubscribe || m_loggedIn;
            for (const std::string& code : codes)
            {
                const std::string cut = code.substr(0, kInstrumentWidth);
                if (m_subscriptions.insert(cut).second && now)
                    send.push_back(cut);
            }
        }
        SendCodes(*m_api, std::move(send), true);
    }

    /// Ends subscriptions; each result arrives as an Unsubscribe event.
    void Unsubscribe(const std::vector<std::string>& codes)
    {
        std::lock_guard<std::mutex> api(m_apiMutex);
        if (!m_open)
            return;
        std::vector<std::string> send;
        {
            std::lock_guard<std::mutex> state(m_stateMutex);
            for (const std::string& code : codes)
            {
                send.push_back(code.substr(0, kInstrumentWidth));
                m_subscriptions.erase(send.back());
            }
        }
        SendCodes(*m_api, std::move(send), false);
    }

    // History -----------------------------------------------------------------

    /// The whole answer to a history query (see HistoryQueries.h for the
    /// records), waiting up to timeout for a connection and for the last
    /// record; an empty vector when the range holds nothing. Throws
    /// CSessionError: Refused with the server's RspNo and RspDesc (an
    /// unknown instrument, or not logged in), NotConnected (no connection in
    /// time, or the link was lost before the whole answer came: the library
    /// does not ask again), Timeout, Closed. std::invalid_argument for a
    /// minute service other than 150, 192 and 194 (0 means 150).
    std::vector<MinuteBarRecord> MinuteBars(const MinuteBarQueryRecord& query, Milliseconds timeout)
    {
        return Fetch("minute bars", timeout, [&] { return SubmitMinuteBars(query); });
    }
    std::vector<DayBarRecord> DayBars(const DayBarQueryRecord& query, Milliseconds timeout)
    {
        return Fetch("day bars", timeout, [&] { return SubmitDayBars(query); });
    }
    std::vector<TradeTickRecord> Trades(const TradeQueryRecord& query, Milliseconds timeout)
    {
        return Fetch("trades", timeout, [&] { return SubmitTrades(query); });
    }

    /// Sends a history query and returns at once: the answer, with the
    /// request id the session gave the query, whose records arrive as they
    /// come. Throws CSessionError NotConnected when there is no connection,
    /// Closed once the session is closed; std::invalid_argument as above.
    std::shared_ptr<CHistoryAnswer<MinuteBarRecord>> SubmitMinuteBars(const MinuteBarQueryRecord& query)
    {
        return Submit<MinuteBarRecord>("minute bars", [&](CKelmRivoMdExtension& history, int requestId) {
            return history.QueryMinuteBars(&query, requestId);
        });
    }
    std::shared_ptr<CHistoryAnswer<DayBarRecord>> SubmitDayBars(const DayBarQueryRecord& query)
    {
        return Submit<DayBarRecord>("day bars", [&](CKelmRivoMdExtension& history, int requestId) {
            return history.QueryDayBars(&query, requestId);
        });
    }
    std::shared_ptr<CHistoryAnswer<TradeTickRecord>> SubmitTrades(const TradeQueryRecord& query)
    {
        return Submit<TradeTickRecord>("trades", [&](CKelmRivoMdExtension& history, int requestId) {
            return history.QueryTrades(&query, requestId);
        });
    }

    /// The figures of the link now (any thread, the session's functions
    /// included); after Close, those at the close, with Connected 0 and no
    /// ServerAddress.
    LinkStatsRecord LinkStats() const
    {
        std::lock_guard<std::mutex> stats(m_statsMutex);
        if (m_statsLive)
            m_extension->GetLinkStats(&m_linkStats);
        return m_linkStats;
    }

    // State --------------------------------------------------------------------

    bool Connected() const { return State([this] { return m_connected; }); }
    bool LoggedIn() const { return State([this] { return m_loggedIn; }); }
    bool Closed() const { return State([this] { return m_closed; }); }
    /// The trading day of the last login answer, YYYYMMDD; "" before one.
    std::string TradeDate() const { return State([this] { return m_tradeDate; }); }
    /// The codes repeated after a login, sorted.
    std::vector<std::string> Subscriptions() const
    {
        return State([this] { return std::vector<std::string>(m_subscriptions.begin(), m_subscriptions.end()); });
    }
    /// Connections made after the first one.
    uint64_t Reconnects() const
    {
        return State([this] { return m_connections > 0 ? m_connections - 1 : 0; });
    }
    /// Quotes dropped because the quote queue was full.
    uint64_t QuotesDropped() const { return m_quotes.Dropped(); }

    CQuoteQueue& Quotes() { return m_quotes; }
    CEventQueue<SessionEvent>& Events() { return m_events; }

    // The end --------------------------------------------------------------------

    /// Disposes of the API object: once this returns no notification runs
    /// (and no OnQuote or OnEvent). Ends every wait, now and later; queued
    /// quotes and events can still be taken. Any thread but the network
    /// thread; a second call does nothing.
    void Close()
    {
        {
            std::lock_guard<std::mutex> api(m_apiMutex);
            if (!m_open)
                return;
            m_open = false;
            {
                // The figures at the close stay readable.
                std::lock_guard<std::mutex> stats(m_statsMutex);
                m_extension->GetLinkStats(&m_linkStats);
                m_linkStats.Connected = 0;
                m_linkStats.ServerAddress[0] = '\0';
                m_statsLive = false;
            }
            // Waits for a notification that is running; a second Close waits
            // here for this one.
            m_api->Dispose();
        }
        {
            std::lock_guard<std::mutex> state(m_stateMutex);
            m_closed = true;
            m_connected = false;
            m_loggedIn = false;
        }
        m_stateChanged.notify_all();
        EndAnswers(CSessionError(CSessionError::Kind::Closed, "the session is closed"));
        m_quotes.Close();
        m_events.Close();
    }

private:
    using Clock = std::chrono::steady_clock;

    // Disposes of the API object when it cannot spin as asked.
    void SetSpinning(int spinning)
    {
        const int result = m_extension && CKelmRivoMdExtension::GetExtensionVersion() >= 2
                               ? m_extension->SetSpinning(spinning)
                               : -3;
        if (result == 0)
            return;
        m_api->Dispose();
        if (result == -1)
            throw std::invalid_argument("SessionSettings::Spinning must be -1 or more");
        throw std::runtime_error("this kelmmduserapi_se library cannot poll (SessionSettings::Spinning)");
    }

    // SubscribeQuotes sends at most 15 characters of a code, and the server
    // echoes what it received: the subscriptions keep codes in that form.
    static constexpr std::size_t kInstrumentWidth = 15;

    // The library's notifications, on its network thread -------------------

    void NotifyConnected() override
    {
        Guarded([this] {
            std::optional<LoginRequestRecord> login;
            int requestId = 0;
            {
                std::lock_guard<std::mutex> state(m_stateMutex);
                m_connected = true;
                ++m_connections;
                if (m_loginWanted || (m_settings.AutoResubscribe && m_loginAgain))
                {
                    login = LoginRequest(m_credentials);
                    requestId = NextRequestId();
                    if (m_loginWanted)
                        m_loginWantedOn = m_connections;
                    else
                        m_automaticLogins.insert(requestId);
                }
            }
            m_stateChanged.notify_all();
            Emit(Event(SessionEvent::Kind::Connected));
            if (login)
                m_api->SubmitLogin(&*login, requestId);
        });
    }

    void NotifyDisconnected(int) override
    {
        Guarded([this] {
            {
                std::lock_guard<std::mutex> state(m_stateMutex);
                m_connected = false;
                m_loggedIn = false;
                // Logins sent on the lost connection get no answer.
                m_automaticLogins.clear();
            }
            m_stateChanged.notify_all();
            // Nor do queries: the library does not send them again.
            EndAnswers(CSessionError(CSessionError::Kind::NotConnected,
                                     "the link was lost before the whole answer came"));
            Emit(Event(SessionEvent::Kind::Disconnected));
        });
    }

    void NotifyLoginResult(LoginResultRecord* result, ResponseInfoRecord* info, int requestId, bool) override
    {
        Guarded([&] {
            SessionEvent event = Answer(SessionEvent::Kind::Login, info, requestId);
            event.HasRecord = result != nullptr;
            if (result)
                event.Login = *result;
            std::vector<std::string> resubscribe;
            {
                std::lock_guard<std::mutex> state(m_stateMutex);
                event.Automatic = m_automaticLogins.erase(requestId) > 0;
                m_loggedIn = event.Succeeded();
                // A failed login of the application's own ends the logins
                // after reconnects; a failed automatic one is tried again
                // after the next.
                if (!event.Automatic || m_loggedIn)
                    m_loginAgain = m_loggedIn;
                if (!event.Automatic)
                    m_loginWanted = false;
                if (result)
                    m_tradeDate = TextOf(result->TradeDate);
                if (m_loggedIn && m_settings.AutoResubscribe)
                    resubscribe.assign(m_subscriptions.begin(), m_subscriptions.end());
            }
            Deliver(std::move(event));
            SendCodes(*m_api, std::move(resubscribe), true);
        });
    }

    void NotifyLogoutResult(LogoutResultRecord* result, ResponseInfoRecord* info, int requestId, bool) override
    {
        Guarded([&] {
            SessionEvent event = Answer(SessionEvent::Kind::Logout, info, requestId);
            event.HasRecord = result != nullptr;
            if (result)
                event.UserCode = TextOf(result->UserCode);
            if (event.Succeeded())
            {
                std::lock_guard<std::mutex> state(m_stateMutex);
                m_loggedIn = false;
            }
            Deliver(std::move(event));
        });
    }

    void NotifySubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int requestId,
                               bool) override
    {
        Guarded([&] {
            SessionEvent event = InstrumentAnswer(SessionEvent::Kind::Subscribe, instrument, info, requestId);
            if (instrument && info && info->RspNo != 0)
            {
                // A refused code is not repeated after the next login.
                std::lock_guard<std::mutex> state(m_stateMutex);
                m_subscriptions.erase(event.Instrument);
            }
            Deliver(std::move(event));
        });
    }

    void NotifyUnsubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int requestId,
                                 bool) override
    {
        Guarded([&] { Deliver(InstrumentAnswer(SessionEvent::Kind::Unsubscribe, instrument, info, requestId)); });
    }

    void NotifyQuote(MarketDepthRecord* quote) override
    {
        if (m_settings.OnQuote)
            Guarded([&] { m_settings.OnQuote(*quote); });
        else
            m_quotes.Push(*quote);
    }

    void NotifyMinuteBar(const MinuteBarRecord* bar, const ResponseInfoRecord* info, int requestId,
                         bool isLast) override
    {
        Guarded([&] { DeliverHistory(bar, info, requestId, isLast); });
    }

    void NotifyDayBar(const DayBarRecord* bar, const ResponseInfoRecord* info, int requestId, bool isLast) override
    {
        Guarded([&] { DeliverHistory(bar, info, requestId, isLast); });
    }

    void NotifyTradeTick(const TradeTickRecord* trade, const ResponseInfoRecord* info, int requestId,
                         bool isLast) override
    {
        Guarded([&] { DeliverHistory(trade, info, requestId, isLast); });
    }

    // History answers ----------------------------------------------------------

    template <class Record>
    using AnswerBook = std::map<int, std::weak_ptr<CHistoryAnswer<Record>>>;
    using AnswerBooks =
        std::tuple<AnswerBook<MinuteBarRecord>, AnswerBook<DayBarRecord>, AnswerBook<TradeTickRecord>>;

    // Registers the answer before the query goes, so that no record can
    // come before it is awaited.
    template <class Record, class Send>
    std::shared_ptr<CHistoryAnswer<Record>> Submit(const char* what, Send send)
    {
        std::lock_guard<std::mutex> api(m_apiMutex);
        if (!m_open)
            throw CSessionError(CSessionError::Kind::Closed, "the session is closed");
        std::shared_ptr<CHistoryAnswer<Record>> answer;
        {
            std::lock_guard<std::mutex> state(m_stateMutex);
            AnswerBook<Record>& book = std::get<AnswerBook<Record>>(m_answerBooks);
            // Answers that nobody holds any more, and whose end never came.
            for (auto entry = book.begin(); entry != book.end();)
                entry = entry->second.expired() ? book.erase(entry) : std::next(entry);
            answer = std::make_shared<CHistoryAnswer<Record>>(NextRequestId(), what);
            book[answer->RequestId()] = answer;
        }
        const int sent = send(*m_extension, answer->RequestId());
        if (sent == 0)
            return answer;
        {
            std::lock_guard<std::mutex> state(m_stateMutex);
            std::get<AnswerBook<Record>>(m_answerBooks).erase(answer->RequestId());
        }
        if (sent == -3)
            throw std::invalid_argument(std::string("the library does not take this ") + what +
                                        " query (the minute service must be 150, 192 or 194)");
        throw CSessionError(CSessionError::Kind::NotConnected, std::string("no connection for the ") + what);
    }

    // Waits for a connection, submits and waits for the whole answer, all
    // within one timeout.
    template <class SubmitQuery>
    auto Fetch(const char* what, Milliseconds timeout, SubmitQuery submit) -> decltype(submit()->Get(timeout))
    {
        CWaitingThreads::Inside inside(m_waiting);
        const Clock::time_point deadline = DeadlineAfter(timeout);
        if (!WaitConnectedUntil(deadline))
            throw Failure(CSessionError::Kind::NotConnected, std::string("no connection for the ") + what);
        const auto answer = submit();
        answer->WaitUntil(deadline);
        return answer->Get(Milliseconds(0));
    }

    // Network thread: one record (or the one empty notification) of an
    // answer. Records of answers nobody holds are dropped.
    template <class Record>
    void DeliverHistory(const Record* record, const ResponseInfoRecord* info, int requestId, bool isLast)
    {
        std::shared_ptr<CHistoryAnswer<Record>> answer;
        {
            std::lock_guard<std::mutex> state(m_stateMutex);
            AnswerBook<Record>& book = std::get<AnswerBook<Record>>(m_answerBooks);
            const auto entry = book.find(requestId);
            if (entry == book.end())
                return;
            answer = entry->second.lock();
            if (!answer || isLast)
                book.erase(entry);
        }
        if (answer)
            answer->Add(record, info, isLast);
    }

    // Ends every answer still awaited.
    void EndAnswers(const CSessionError& failure)
    {
        AnswerBooks ended;
        {
            std::lock_guard<std::mutex> state(m_stateMutex);
            ended.swap(m_answerBooks);
        }
        std::apply([&](auto&... books) { (FailAll(books, failure), ...); }, ended);
    }

    template <class Book>
    static void FailAll(Book& book, const CSessionError& failure)
    {
        for (auto& entry : book)
            if (const auto answer = entry.second.lock())
                answer->Fail(failure);
    }

    // Helpers ----------------------------------------------------------------

    // Runs a notification's work so that nothing it throws (an allocation
    // failure, or the application's OnQuote or OnEvent) reaches the
    // library's thread; that notification is lost then.
    template <class Work>
    static void Guarded(Work work) noexcept
    {
        try
        {
            work();
        }
        catch (...)
        {
        }
    }

    template <class Read>
    auto State(Read read) const -> decltype(read())
    {
        std::lock_guard<std::mutex> state(m_stateMutex);
        return read();
    }

    // Under the state lock. Never 0, which the library uses for subscriptions.
    int NextRequestId()
    {
        const int requestId = m_nextRequestId;
        m_nextRequestId = requestId == INT_MAX ? 1 : requestId + 1;
        return requestId;
    }

    // Sends a request whose answer a caller may wait for: prepare changes the
    // state first (under the state lock), send hands the request to the API
    // object. The request id, or -1 when the library refused it or the
    // session is closed.
    template <class Prepare, class Send>
    int Request(Prepare prepare, Send send)
    {
        std::lock_guard<std::mutex> api(m_apiMutex);
        if (!m_open)
            return -1;
        int requestId = 0;
        {
            std::lock_guard<std::mutex> state(m_stateMutex);
            prepare();
            requestId = NextRequestId();
            m_answers[requestId];
        }
        if (send(*m_api, requestId) == 0)
            return requestId;
        ForgetAnswer(requestId);
        return -1;
    }

    // Waits for a connection, sends with submit and waits for the answer,
    // all within one timeout.
    template <class Submit>
    SessionEvent Await(const char* what, Milliseconds timeout, Submit submit)
    {
        CWaitingThreads::Inside inside(m_waiting);
        const Clock::time_point deadline = DeadlineAfter(timeout);
        if (!WaitConnectedUntil(deadline))
            throw Failure(CSessionError::Kind::NotConnected, std::string("no connection for the ") + what);
        const int requestId = submit();
        if (requestId < 0)
            throw Failure(CSessionError::Kind::NotConnected,
                          std::string("the connection was lost before the ") + what + " was sent");
        std::optional<SessionEvent> answer = WaitAnswerUntil(requestId, deadline);
        if (!answer)
        {
            ForgetAnswer(requestId);
            throw Failure(CSessionError::Kind::Timeout, std::string("no answer to the ") + what + " in time");
        }
        return std::move(*answer);
    }

    CSessionError Failure(CSessionError::Kind kind, const std::string& message) const
    {
        if (Closed())
            return CSessionError(CSessionError::Kind::Closed, "the session is closed");
        return CSessionError(kind, message);
    }

    bool WaitConnectedUntil(Clock::time_point deadline)
    {
        std::unique_lock<std::mutex> state(m_stateMutex);
        m_stateChanged.wait_until(state, deadline, [this] { return m_connected || m_closed; });
        return m_connected;
    }

    std::optional<SessionEvent> WaitAnswerUntil(int requestId, Clock::time_point deadline)
    {
        std::unique_lock<std::mutex> state(m_stateMutex);
        const auto slot = m_answers.find(requestId);
        if (slot == m_answers.end())
            return std::nullopt;
        m_stateChanged.wait_until(state, deadline, [&] { return slot->second.has_value() || m_closed; });
        std::optional<SessionEvent> answer = std::move(slot->second);
        if (answer)
            m_answers.erase(slot);
        return answer;
    }

    // Network thread: gives an answer to the request's waiter, then passes
    // it on as an event.
    void Deliver(SessionEvent event)
    {
        bool awaited = false;
        {
            std::lock_guard<std::mutex> state(m_stateMutex);
            const auto slot = m_answers.find(event.RequestId);
            awaited = slot != m_answers.end() && !slot->second;
            if (awaited)
                slot->second = event;
        }
        if (awaited)
            m_stateChanged.notify_all();
        Emit(std::move(event));
    }

    void Emit(SessionEvent event)
    {
        if (m_settings.OnEvent)
            m_settings.OnEvent(event);
        else
            m_events.Push(std::move(event));
    }

    static SessionEvent Event(SessionEvent::Kind kind)
    {
        SessionEvent event;
        event.Type = kind;
        return event;
    }

    static SessionEvent Answer(SessionEvent::Kind kind, const ResponseInfoRecord* info, int requestId)
    {
        SessionEvent event = Event(kind);
        event.RequestId = requestId;
        event.HasInfo = info != nullptr;
        if (info)
        {
            event.RspNo = info->RspNo;
            event.RspDesc = TextOf(info->RspDesc);
        }
        return event;
    }

    static SessionEvent InstrumentAnswer(SessionEvent::Kind kind, const InstrumentSpecRecord* instrument,
                                         const ResponseInfoRecord* info, int requestId)
    {
        SessionEvent event = Answer(kind, info, requestId);
        event.HasRecord = instrument != nullptr;
        if (instrument)
            event.Instrument = TextOf(instrument->InstrumentID);
        return event;
    }

    static LoginRequestRecord LoginRequest(const Credentials& credentials)
    {
        LoginRequestRecord request;
        std::memset(&request, 0, sizeof request);
        CopyText(request.UserCode, credentials.User);
        CopyText(request.Password, credentials.Password);
        CopyText(request.BrokerCode, credentials.Broker);
        return request;
    }

    static void SendCodes(CKelmRivoMdApi& api, std::vector<std::string> codes, bool subscribe)
    {
        if (codes.empty())
            return;
        std::vector<char*> pointers;  // the library takes writable texts
        for (std::string& code : codes)
            pointers.push_back(&code[0]);
        const int count = static_cast<int>(pointers.size());
        if (subscribe)
            api.SubscribeQuotes(pointers.data(), count);
        else
            api.UnsubscribeQuotes(pointers.data(), count);
    }

    const SessionSettings m_settings;
    CQuoteQueue m_quotes;
    CEventQueue<SessionEvent> m_events;

    // The API object. Application threads use it under m_apiMutex while
    // m_open; notifications use it freely, since Dispose waits for them. Lock
    // order: m_apiMutex before m_stateMutex; the network thread takes only
    // m_stateMutex, so that Close can hold m_apiMutex while Dispose waits.
    CKelmRivoMdApi* const m_api;
    CKelmRivoMdExtension* const m_extension;  // the same object's history interface
    std::mutex m_apiMutex;
    bool m_open = true;
    bool m_launched = false;

    // The link's figures: read from the library while it is open, kept from
    // the close on. A lock of its own, so that reading them never waits for
    // a Close that waits for the network thread.
    mutable std::mutex m_statsMutex;
    mutable LinkStatsRecord m_linkStats{};
    bool m_statsLive = true;

    // Session state, shared with the network thread; held only briefly.
    mutable std::mutex m_stateMutex;
    std::condition_variable m_stateChanged;
    bool m_connected = false;
    bool m_loggedIn = false;
    bool m_closed = false;
    bool m_loginAgain = false;      // a login succeeded and no logout followed
    bool m_loginWanted = false;     // LoginWhenConnected awaits its answer
    uint64_t m_loginWantedOn = 0;   // the connection that login was last sent on
    uint64_t m_connections = 0;
    int m_nextRequestId = 1;
    Credentials m_credentials;
    std::string m_tradeDate;
    std::set<std::string> m_subscriptions;
    std::map<int, std::optional<SessionEvent>> m_answers;  // awaited request ids
    std::set<int> m_automaticLogins;                       // logins sent after a reconnect
    AnswerBooks m_answerBooks;                             // history answers awaited, by request id

    CWaitingThreads m_waiting;  // last: destroyed first
};

}  // namespace kelmmd

#endif
