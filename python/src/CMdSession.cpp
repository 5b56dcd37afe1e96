#include "CMdSession.h"

#include <cstring>
#include <utility>

namespace
{

// SubscribeQuotes sends at most 15 characters of a code, and the server
// echoes what it received: the set keeps codes in that form.
constexpr std::size_t kInstrumentWidth = 15;

template <std::size_t N>
void CopyText(char (&field)[N], const std::string& text)
{
    std::strncpy(field, text.c_str(), N - 1);
    field[N - 1] = '\0';
}

template <std::size_t N>
std::string Text(const char (&field)[N])
{
    return std::string(field, strnlen(field, N));
}

SessionEvent Answer(SessionEvent::Kind kind, const ResponseInfoRecord* info, int requestId)
{
    SessionEvent event;
    event.Type = kind;
    event.RequestId = requestId;
    event.HasInfo = info != nullptr;
    if (info)
    {
        event.RspNo = info->RspNo;
        event.RspDesc = Text(info->RspDesc);
    }
    return event;
}

SessionEvent InstrumentAnswer(SessionEvent::Kind kind, const InstrumentSpecRecord* instrument,
                              const ResponseInfoRecord* info, int requestId)
{
    SessionEvent event = Answer(kind, info, requestId);
    event.HasRecord = instrument != nullptr;
    if (instrument)
        event.Instrument = Text(instrument->InstrumentID);
    return event;
}

// Runs a notification's work so that nothing it throws (only allocation
// failures can) reaches the library's thread; the event is lost then.
template <class Work>
void Guarded(Work work) noexcept
{
    try
    {
        work();
    }
    catch (...)
    {
    }
}

LoginRequestRecord LoginRequest(const Credentials& credentials)
{
    LoginRequestRecord request;
    std::memset(&request, 0, sizeof request);
    CopyText(request.UserCode, credentials.User);
    CopyText(request.Password, credentials.Password);
    CopyText(request.BrokerCode, credentials.Broker);
    return request;
}

void SendCodes(CKelmRivoMdApi& api, std::vector<std::string> codes, bool subscribe)
{
    if (codes.empty())
        return;
    std::vector<char*> pointers;
    for (std::string& code : codes)
        pointers.push_back(&code[0]);
    const int count = static_cast<int>(pointers.size());
    if (subscribe)
        api.SubscribeQuotes(pointers.data(), count);
    else
        api.UnsubscribeQuotes(pointers.data(), count);
}

}  // namespace

CMdSession::CMdSession(const SessionSettings& settings)
    : m_settings(settings),
      m_quotes(settings.QueueCapacity),
      m_events(settings.EventCapacity),
      m_api(CKelmRivoMdApi::CreateRivoMdApi("", false, false))
{
    m_api->SetCallbackObject(this);
    for (const std::string& address : settings.Addresses)
        m_api->AddServerUrl(address.c_str());
}

CMdSession::~CMdSession()
{
    Close();
}

void CMdSession::Launch()
{
    std::lock_guard<std::mutex> lock(m_apiMutex);
    if (!m_open || m_launched)
        return;
    m_launched = true;
    m_api->Launch();
}

bool CMdSession::WaitConnected(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_stateMutex);
    return m_stateChanged.wait_for(lock, timeout, [this] { return m_connected || m_closed; }) && m_connected;
}

bool CMdSession::Connected() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_connected;
}

bool CMdSession::LoggedIn() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_loggedIn;
}

int CMdSession::SubmitLogin(const Credentials& credentials)
{
    const int requestId = m_nextRequestId++;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_credentials = credentials;
        m_answers[requestId];
    }
    const LoginRequestRecord request = LoginRequest(credentials);
    return Send(requestId, [&](CKelmRivoMdApi& api) { return api.SubmitLogin(&request, requestId); });
}

int CMdSession::SubmitLogout()
{
    const int requestId = m_nextRequestId++;
    {
        // Whatever the answer, the user wants the session over: no login
        // after the next reconnect, and the server forgets the subscriptions.
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_loginAgain = false;
        m_subscriptions.clear();
        m_answers[requestId];
    }
    LogoutRequestRecord request;
    std::memset(&request, 0, sizeof request);
    return Send(requestId, [&](CKelmRivoMdApi& api) { return api.SubmitLogout(&request, requestId); });
}

template <class Request>
int CMdSession::Send(int requestId, Request request)
{
    int result = -1;
    {
        std::lock_guard<std::mutex> lock(m_apiMutex);
        if (m_open)
            result = request(*m_api);
    }
    if (result == 0)
        return requestId;
    ForgetAnswer(requestId);
    return -1;
}

std::optional<SessionEvent> CMdSession::WaitAnswer(int requestId, std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_stateMutex);
    const auto slot = m_answers.find(requestId);
    if (slot == m_answers.end())
        return std::nullopt;
    m_stateChanged.wait_for(lock, timeout, [&] { return slot->second.has_value() || m_closed; });
    std::optional<SessionEvent> answer = std::move(slot->second);
    if (answer)
        m_answers.erase(slot);
    return answer;
}

void CMdSession::ForgetAnswer(int requestId)
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_answers.erase(requestId);
}

void CMdSession::Subscribe(const std::vector<std::string>& codes)
{
    std::vector<std::string> send;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        // With auto-resubscribe, codes given before the login go out with
        // the subscriptions repeated after it.
        const bool now = !m_settings.AutoResubscribe || m_loggedIn;
        for (const std::string& code : codes)
        {
            const std::string cut = code.substr(0, kInstrumentWidth);
            if (m_subscriptions.insert(cut).second && now)
                send.push_back(cut);
        }
    }
    std::lock_guard<std::mutex> lock(m_apiMutex);
    if (m_open)
        SendCodes(*m_api, std::move(send), true);
}

void CMdSession::Unsubscribe(const std::vector<std::string>& codes)
{
    std::vector<std::string> send;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        for (const std::string& code : codes)
        {
            send.push_back(code.substr(0, kInstrumentWidth));
            m_subscriptions.erase(send.back());
        }
    }
    std::lock_guard<std::mutex> lock(m_apiMutex);
    if (m_open)
        SendCodes(*m_api, std::move(send), false);
}

std::vector<std::string> CMdSession::Subscriptions() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return std::vector<std::string>(m_subscriptions.begin(), m_subscriptions.end());
}

std::string CMdSession::TradeDate()
{
    std::lock_guard<std::mutex> lock(m_apiMutex);
    return m_open ? std::string(m_api->GetTradeDate()) : m_tradeDate;
}

void CMdSession::Close()
{
    {
        std::lock_guard<std::mutex> lock(m_apiMutex);
        if (!m_open)
            return;
        m_tradeDate = m_api->GetTradeDate();
        m_open = false;
        m_api->Dispose();
    }
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        m_closed = true;
        m_connected = false;
        m_loggedIn = false;
    }
    m_stateChanged.notify_all();
    m_quotes.Wake();
    m_events.Wake();
}

bool CMdSession::Closed() const
{
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_closed;
}

void CMdSession::NotifyConnected()
{
    Guarded([this] {
        std::optional<LoginRequestRecord> again;
        int requestId = 0;
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_connected = true;
            if (m_settings.AutoResubscribe && m_loginAgain)
            {
                again = LoginRequest(m_credentials);
                requestId = m_nextRequestId++;
                m_automaticLogins.insert(requestId);
            }
        }
        m_stateChanged.notify_all();
        SessionEvent event;
        event.Type = SessionEvent::Kind::Connected;
        m_events.Push(std::move(event));
        if (again)
            m_api->SubmitLogin(&*again, requestId);
    });
}

void CMdSession::NotifyDisconnected(int)
{
    Guarded([this] {
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_connected = false;
            m_loggedIn = false;
        }
        m_stateChanged.notify_all();
        SessionEvent event;
        event.Type = SessionEvent::Kind::Disconnected;
        m_events.Push(std::move(event));
    });
}

void CMdSession::NotifyLoginResult(LoginResultRecord* result, ResponseInfoRecord* info, int requestId, bool)
{
    Guarded([&] {
        SessionEvent event = Answer(SessionEvent::Kind::Login, info, requestId);
        event.HasRecord = result != nullptr;
        if (result)
            event.Login = *result;
        std::vector<std::string> resubscribe;
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            event.Automatic = m_automaticLogins.erase(requestId) > 0;
            m_loggedIn = event.Succeeded();
            // A failed login of the user's own ends the logins after
            // reconnects; a failed automatic one is tried again next time.
            if (!event.Automatic || m_loggedIn)
                m_loginAgain = m_loggedIn;
            if (m_loggedIn && m_settings.AutoResubscribe)
                resubscribe.assign(m_subscriptions.begin(), m_subscriptions.end());
        }
        Deliver(std::move(event));
        SendCodes(*m_api, std::move(resubscribe), true);
    });
}

void CMdSession::NotifyLogoutResult(LogoutResultRecord* result, ResponseInfoRecord* info, int requestId, bool)
{
    Guarded([&] {
        SessionEvent event = Answer(SessionEvent::Kind::Logout, info, requestId);
        event.HasRecord = result != nullptr;
        if (result)
            event.UserCode = Text(result->UserCode);
        if (event.Succeeded())
        {
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_loggedIn = false;
        }
        Deliver(std::move(event));
    });
}

void CMdSession::NotifySubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int requestId,
                                       bool)
{
    Guarded([&] {
        SessionEvent event = InstrumentAnswer(SessionEvent::Kind::Subscribe, instrument, info, requestId);
        if (instrument && info && info->RspNo != 0)
        {
            // A refused code is not repeated after the next login.
            std::lock_guard<std::mutex> lock(m_stateMutex);
            m_subscriptions.erase(event.Instrument);
        }
        Deliver(std::move(event));
    });
}

void CMdSession::NotifyUnsubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int requestId,
                                         bool)
{
    Guarded([&] {
        Deliver(InstrumentAnswer(SessionEvent::Kind::Unsubscribe, instrument, info, requestId));
    });
}

void CMdSession::NotifyQuote(MarketDepthRecord* quote)
{
    m_quotes.Push(*quote);
}

void CMdSession::Deliver(SessionEvent event)
{
    bool awaited = false;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        const auto slot = m_answers.find(event.RequestId);
        awaited = slot != m_answers.end();
        if (awaited)
            slot->second = event;
    }
    if (awaited)
        m_stateChanged.notify_all();
    m_events.Push(std::move(event));
}
