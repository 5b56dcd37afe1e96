#include "CQuoteSimulator.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>

#include <boost/asio/steady_timer.hpp>

#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "CHistoryGenerator.h"
#include "CInstrumentUniverse.h"
#include "CQuoteRandomWalk.h"
#include "CQuoteReplay.h"
#include "SimCalendar.h"
#include "SimText.h"

namespace
{

namespace RspCode
{
constexpr uint16_t Ok = 0;
constexpr uint16_t BadLogin = 1;
constexpr uint16_t UnknownInstrument = 2;
constexpr uint16_t NotLoggedIn = 3;
constexpr uint16_t NotSubscribed = 4;
}  // namespace RspCode

// Replay rows sent per turn when pacing is off, so that other connections
// get their turn on the I/O thread.
constexpr std::size_t ReplayBatch = 256;
// A connection with this many blocks waiting gets no more replay rows until
// it has read some.
constexpr std::size_t ReplayBacklogLimit = 64;

RspInfo MakeInfo(uint16_t code, const std::string& text)
{
    RspInfo info{};
    info.RspNo = code;
    CopyText(info.RspDesc, text);
    return info;
}

}  // namespace

// Everything here runs on the server's I/O thread, except construction, Start
// and the destructor, which stops that thread before any member goes away;
// handlers can therefore refer to the logic by plain pointer.
class CQuoteSimulator::Logic
{
public:
    explicit Logic(const QuoteSimSettings& settings);
    ~Logic();

    void Start();
    CSimServer& Server() { return m_server; }

private:
    struct Client
    {
        std::shared_ptr<CSimSession> Session;
        bool LoggedIn = false;
        std::string User;
        std::set<std::string> Subscribed;
        bool Behind = false;  // dropping quotes since the last one that fitted
        bool ReplayStarted = false;
        std::size_t ReplayNext = 0;
        std::unique_ptr<boost::asio::steady_timer> ReplayTimer;
    };

    void Log(const std::string& text) const;
    void OnOpened(const std::shared_ptr<CSimSession>& session);
    void OnClosed(const std::shared_ptr<CSimSession>& session);
    void OnRequest(const std::shared_ptr<CSimSession>& session, const SimRequest& request);
    void OnLogin(Client& client, const SimRequest& request);
    void OnLogout(Client& client, const SimRequest& request);
    void OnSubscribe(Client& client, const SimRequest& request);
    void OnUnsubscribe(Client& client, const SimRequest& request);
    void OnQuery(Client& client, const SimRequest& request);
    const SimInstrument* Find(const std::string& code) const;
    void ArmTick();
    void OnTick();
    void PushStep();
    void Offer(uint64_t id, Client& client, const SimFrame& frame);
    void ReportRate(std::chrono::steady_clock::time_point now);
    void MaybeStartReplay(uint64_t id, Client& client);
    void ArmReplay(uint64_t id, Client& client, std::chrono::steady_clock::duration delay);
    void ReplayTurn(uint64_t id);

    QuoteSimSettings m_settings;
    std::string m_tradeDate;
    std::vector<SimInstrument> m_universe;
    std::optional<CQuoteReplay> m_replay;
    std::optional<CQuoteRandomWalk> m_walk;
    CHistoryGenerator m_history;
    // Declared before what runs on its context: destroyed after it.
    CSimServer m_server;
    boost::asio::steady_timer m_tick;
    std::chrono::steady_clock::duration m_tickPeriod{};
    std::chrono::steady_clock::time_point m_nextTick;
    std::chrono::steady_clock::time_point m_rateWindowStart;
    uint64_t m_rateWindowSteps = 0;
    bool m_rateShortfall = false;
    std::map<uint64_t, Client> m_clients;
};

CQuoteSimulator::Logic::Logic(const QuoteSimSettings& settings)
    : m_settings(settings),
      m_tradeDate(settings.TradeDate.empty() ? SimCalendar::FormatDate(SimCalendar::Today()) : settings.TradeDate),
      m_history(settings.Seed, m_tradeDate, nullptr),
      m_server(SimSessionSettings{settings.HeartbeatIdle, settings.SilenceTimeout, false, settings.MaxClientQueueBytes}),
      m_tick(m_server.IoContext())
{
    Validate(settings);
    if (!settings.ReplayFile.empty())
    {
        m_replay = CQuoteReplay::Load(settings.ReplayFile);
        m_universe = m_replay->Instruments();
    }
    else
    {
        m_universe = settings.Instruments.empty() ? CInstrumentUniverse::Parse(CInstrumentUniverse::DefaultList)
                                                  : settings.Instruments;
        m_walk.emplace(m_universe, settings.Seed, m_tradeDate);
        // The session so far, so that the day has history before the first
        // live quote; the trading day's history is the walk's own trades.
        m_walk->WarmUp(SimCalendar::SecondOfDayNow());
        m_history = CHistoryGenerator(settings.Seed, m_tradeDate, &*m_walk);
    }
    m_server.SetSessionOpenedHandler([this](const std::shared_ptr<CSimSession>& s) { OnOpened(s); });
    m_server.SetSessionClosedHandler([this](const std::shared_ptr<CSimSession>& s) { OnClosed(s); });
    m_server.SetRequestHandler(
        [this](const std::shared_ptr<CSimSession>& s, const SimRequest& request) { OnRequest(s, request); });
}

CQuoteSimulator::Logic::~Logic()
{
    m_server.Stop();
    m_server.Wait();
}

void CQuoteSimulator::Logic::Start()
{
    m_server.Start(m_settings.ListenHost, m_settings.ListenPort);
    m_server.Call([this] { ArmTick(); });
}

void CQuoteSimulator::Logic::Log(const std::string& text) const
{
    if (!m_settings.LogEvents)
        return;
    std::cerr << SimCalendar::FormatTime(SimCalendar::SecondOfDayNow()) << " " << text << std::endl;
}

void CQuoteSimulator::Logic::OnOpened(const std::shared_ptr<CSimSession>& session)
{
    m_clients[session->Id()].Session = session;
    Log("connection " + std::to_string(session->Id()) + " opened");
}

void CQuoteSimulator::Logic::OnClosed(const std::shared_ptr<CSimSession>& session)
{
    const uint64_t dropped = session->DroppedFrames();
    Log("connection " + std::to_string(session->Id()) + " closed: " + session->CloseReason() +
        (dropped ? " (" + std::to_string(dropped) + " quotes dropped while it was behind)" : ""));
    m_clients.erase(session->Id());
}

void CQuoteSimulator::Logic::OnRequest(const std::shared_ptr<CSimSession>& session, const SimRequest& request)
{
    auto found = m_clients.find(session->Id());
    if (found == m_clients.end())
        return;
    Client& client = found->second;
    if (request.ServiceNo == SimService::Heartbeat)
        return;
    if (request.ServiceNo == SimService::Login)
        return OnLogin(client, request);
    if (std::holds_alternative<std::monostate>(request.Record))
        return;  // a service this server does not offer
    if (!client.LoggedIn)
    {
        // Answered in the form of the service asked for.
        const RspInfo info = MakeInfo(RspCode::NotLoggedIn, "Not logged in");
        const uint16_t answer = static_cast<uint16_t>(request.ServiceNo + 1);
        if (request.ServiceNo == SimService::Logout)
            session->Send(CSimEncoder::LogoutAnswer(request.RequestID, &info, nullptr));
        else if (request.ServiceNo == SimService::Subscribe)
            session->Send(CSimEncoder::SubscribeAnswer(request.RequestID, &info, nullptr));
        else if (request.ServiceNo == SimService::Unsubscribe)
            session->Send(CSimEncoder::UnsubscribeAnswer(request.RequestID, &info, nullptr));
        else if (answer == SimService::DayDataAnswer)
            session->Send(CSimEncoder::DayDataAnswer(request.RequestID, &info, {}).front());
        else if (answer == SimService::TradeDetailAnswer)
            session->Send(CSimEncoder::TradeDetailAnswer(request.RequestID, &info, {}).front());
        else
            session->Send(CSimEncoder::MinDataAnswer(answer, request.RequestID, &info, {}).front());
        return;
    }
    switch (request.ServiceNo)
    {
    case SimService::Logout:
        return OnLogout(client, request);
    case SimService::Subscribe:
        return OnSubscribe(client, request);
    case SimService::Unsubscribe:
        return OnUnsubscribe(client, request);
    default:
        return OnQuery(client, request);
    }
}

void CQuoteSimulator::Logic::OnLogin(Client& client, const SimRequest& request)
{
    const LoginReq& login = std::get<LoginReq>(request.Record);
    const auto user = m_settings.Users.find(login.InvestorID);
    const bool accepted =
        m_settings.Users.empty() || (user != m_settings.Users.end() && user->second == login.InvestorPassword);
    LoginRsp rsp{};
    CopyText(rsp.InvestorID, login.InvestorID);
    if (!accepted)
    {
        const RspInfo info = MakeInfo(RspCode::BadLogin, "Invalid user code or password");
        client.Session->Send(CSimEncoder::LoginAnswer(request.RequestID, &info, &rsp));
        Log("connection " + std::to_string(client.Session->Id()) + ": login of '" + login.InvestorID + "' refused");
        return;
    }
    client.LoggedIn = true;
    client.User = login.InvestorID;
    CopyText(rsp.TradeDate, m_tradeDate);
    CopyText(rsp.InvestorName, login.InvestorID);
    CopyText(rsp.SysName, m_settings.SysName);
    rsp.SysMode[0] = '1';
    rsp.PayServerType[0] = '0';
    rsp.InvestorAdviserFlag[0] = '0';
    rsp.SessionID = (static_cast<uint64_t>(std::time(nullptr)) << 16) + client.Session->Id();
    const RspInfo info = MakeInfo(RspCode::Ok, "Login successful");
    client.Session->Send(CSimEncoder::LoginAnswer(request.RequestID, &info, &rsp));
    Log("connection " + std::to_string(client.Session->Id()) + ": '" + client.User + "' logged in");
}

void CQuoteSimulator::Logic::OnLogout(Client& client, const SimRequest& request)
{
    LogoutRsp rsp{};
    CopyText(rsp.InvestorID, client.User);
    client.LoggedIn = false;
    client.Subscribed.clear();
    client.ReplayTimer.reset();
    client.ReplayStarted = false;
    const RspInfo info = MakeInfo(RspCode::Ok, "Logout successful");
    client.Session->Send(CSimEncoder::LogoutAnswer(request.RequestID, &info, &rsp));
    Log("connection " + std::to_string(client.Session->Id()) + ": '" + client.User + "' logged out");
}

const SimInstrument* CQuoteSimulator::Logic::Find(const std::string& code) const
{
    for (const SimInstrument& instrument : m_universe)
        if (instrument.Code == code)
            return &instrument;
    return nullptr;
}

void CQuoteSimulator::Logic::OnSubscribe(Client& client, const SimRequest& request)
{
    const std::string code = std::get<QuotSubscribeReq>(request.Record).InstrumentID;
    QuotSubscribeRsp rsp{};
    CopyText(rsp.InstrumentID, code);
    if (Find(code) == nullptr)
    {
        const RspInfo info = MakeInfo(RspCode::UnknownInstrument, "Unknown instrument: " + code);
        client.Session->Send(CSimEncoder::SubscribeAnswer(request.RequestID, &info, &rsp));
        Log("connection " + std::to_string(client.Session->Id()) + ": subscription of '" + code + "' refused");
        return;
    }
    client.Subscribed.insert(code);
    const RspInfo info = MakeInfo(RspCode::Ok, "Subscribed");
    client.Session->Send(CSimEncoder::SubscribeAnswer(request.RequestID, &info, &rsp));
    Log("connection " + std::to_string(client.Session->Id()) + ": subscribed " + code);
    QuotRecord quote;
    if (m_walk && m_walk->Snapshot(code, quote))
        client.Session->Send(CSimEncoder::Quote(quote));  // a first picture without waiting for a tick
    if (m_replay)
        MaybeStartReplay(client.Session->Id(), client);
}

void CQuoteSimulator::Logic::OnUnsubscribe(Client& client, const SimRequest& request)
{
    const std::string code = std::get<QuotUnSubscribeReq>(request.Record).InstrumentID;
    QuotUnSubscribeRsp rsp{};
    CopyText(rsp.InstrumentID, code);
    RspInfo info = MakeInfo(RspCode::Ok, "Unsubscribed");
    if (Find(code) == nullptr)
        info = MakeInfo(RspCode::UnknownInstrument, "Unknown instrument: " + code);
    else if (client.Subscribed.erase(code) == 0)
        info = MakeInfo(RspCode::NotSubscribed, "Not subscribed: " + code);
    client.Session->Send(CSimEncoder::UnsubscribeAnswer(request.RequestID, &info, &rsp));
}

void CQuoteSimulator::Logic::OnQuery(Client& client, const SimRequest& request)
{
    const uint16_t answer = static_cast<uint16_t>(request.ServiceNo + 1);
    std::vector<SimFrame> frames;
    auto answerWith = [&](const std::string& code, auto generate, auto encode) {
        const SimInstrument* instrument = Find(code);
        const RspInfo info = instrument ? MakeInfo(RspCode::Ok, "OK")
                                        : MakeInfo(RspCode::UnknownInstrument, "Unknown instrument: " + code);
        frames = instrument ? encode(info, generate(*instrument)) : encode(info, decltype(generate(m_universe[0])){});
    };
    if (const auto* minutes = std::get_if<MinDataQueryReq>(&request.Record))
        answerWith(
            minutes->InstrumentID, [&](const SimInstrument& i) { return m_history.Minutes(i, *minutes); },
            [&](const RspInfo& info, const std::vector<MinData>& records) {
                return CSimEncoder::MinDataAnswer(answer, request.RequestID, &info, records);
            });
    else if (const auto* days = std::get_if<DayDataQueryReq>(&request.Record))
        answerWith(
            days->InstrumentID, [&](const SimInstrument& i) { return m_history.Days(i, *days); },
            [&](const RspInfo& info, const std::vector<DayData>& records) {
                return CSimEncoder::DayDataAnswer(request.RequestID, &info, records);
            });
    else if (const auto* trades = std::get_if<TradeDetailDataQueryReq>(&request.Record))
        answerWith(
            trades->InstrumentID, [&](const SimInstrument& i) { return m_history.Trades(i, *trades); },
            [&](const RspInfo& info, const std::vector<TradeDetailRecord>& records) {
                return CSimEncoder::TradeDetailAnswer(request.RequestID, &info, records);
            });
    for (SimFrame& frame : frames)
        client.Session->Send(std::move(frame));
}

void CQuoteSimulator::Logic::ArmTick()
{
    if (!m_walk || m_settings.Rate <= 0)
        return;
    if (m_tickPeriod == std::chrono::steady_clock::duration::zero())
    {
        m_tickPeriod = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(1.0 / m_settings.Rate));
        m_nextTick = m_rateWindowStart = std::chrono::steady_clock::now() + m_tickPeriod;
    }
    m_tick.expires_at(m_nextTick);
    m_tick.async_wait([this](const boost::system::error_code& error) {
        if (!error)
            OnTick();
    });
}

// Steps are due on a fixed schedule; a turn makes every step that is due
// (a bounded number, so that requests and other clients get their turn),
// which keeps the rate when the timer wakes late or the period is shorter
// than a wake-up.
void CQuoteSimulator::Logic::OnTick()
{
    constexpr int MaxStepsPerTurn = 64;
    const auto now = std::chrono::steady_clock::now();
    for (int step = 0; step < MaxStepsPerTurn && m_nextTick <= now; ++step)
    {
        PushStep();
        m_nextTick += m_tickPeriod;
        ++m_rateWindowSteps;
    }
    // More than a second behind: the schedule cannot be met; start it again
    // from now rather than bursting to catch up.
    if (now - m_nextTick > std::chrono::seconds(1))
    {
        m_nextTick = now;
        m_rateShortfall = true;
    }
    ReportRate(now);
    ArmTick();
}

void CQuoteSimulator::Logic::ReportRate(std::chrono::steady_clock::time_point now)
{
    const std::chrono::duration<double> window = now - m_rateWindowStart;
    if (window < std::chrono::seconds(5))
        return;
    const double achieved = static_cast<double>(m_rateWindowSteps) / window.count();
    if (m_rateShortfall)
    {
        char text[160];
        std::snprintf(text, sizeof text, "cannot keep --rate %g: about %.0f quotes per second per instrument",
                      m_settings.Rate, achieved);
        Log(text);
    }
    m_rateWindowStart = now;
    m_rateWindowSteps = 0;
    m_rateShortfall = false;
}

void CQuoteSimulator::Logic::PushStep()
{
    for (const SimInstrument& instrument : m_universe)
    {
        std::vector<std::pair<uint64_t, Client*>> subscribers;
        for (auto& entry : m_clients)
            if (entry.second.Subscribed.count(instrument.Code))
                subscribers.emplace_back(entry.first, &entry.second);
        if (subscribers.empty())
            continue;
        QuotRecord quote;
        m_walk->Step(instrument.Code, quote);
        const SimFrame frame = CSimEncoder::Quote(quote);
        for (const auto& subscriber : subscribers)
            Offer(subscriber.first, *subscriber.second, frame);
    }
}

// Quotes to a client that does not read fast enough are dropped, counted by
// its session, and logged when it falls behind and when it catches up.
void CQuoteSimulator::Logic::Offer(uint64_t id, Client& client, const SimFrame& frame)
{
    const bool queued = client.Session->Offer(frame);
    if (queued == !client.Behind)
        return;
    client.Behind = !queued;
    const std::string connection = "connection " + std::to_string(id);
    if (client.Behind)
        Log(connection + " falls behind: dropping quotes while " + std::to_string(client.Session->QueuedBytes() >> 10) +
            " KiB wait to be written");
    else
        Log(connection + " caught up; " + std::to_string(client.Session->DroppedFrames()) + " quotes dropped so far");
}

void CQuoteSimulator::Logic::MaybeStartReplay(uint64_t id, Client& client)
{
    if (client.ReplayStarted)
        return;
    bool complete = true;
    for (const SimInstrument& instrument : m_universe)
        complete = complete && client.Subscribed.count(instrument.Code) > 0;
    if (complete)
    {
        client.ReplayStarted = true;
        client.ReplayNext = 0;
        ArmReplay(id, client, std::chrono::steady_clock::duration::zero());
    }
    else if (!client.ReplayTimer)
    {
        // The first subscription: start anyway after the grace period.
        client.ReplayTimer = std::make_unique<boost::asio::steady_timer>(m_server.IoContext());
        client.ReplayTimer->expires_after(m_settings.ReplayWait);
        client.ReplayTimer->async_wait([this, id](const boost::system::error_code& error) {
            auto found = m_clients.find(id);
            if (error || found == m_clients.end() || found->second.ReplayStarted)
                return;
            found->second.ReplayStarted = true;
            found->second.ReplayNext = 0;
            ReplayTurn(id);
        });
    }
}

void CQuoteSimulator::Logic::ArmReplay(uint64_t id, Client& client, std::chrono::steady_clock::duration delay)
{
    if (!client.ReplayTimer)
        client.ReplayTimer = std::make_unique<boost::asio::steady_timer>(m_server.IoContext());
    client.ReplayTimer->expires_after(delay);
    client.ReplayTimer->async_wait([this, id](const boost::system::error_code& error) {
        if (!error)
            ReplayTurn(id);
    });
}

void CQuoteSimulator::Logic::ReplayTurn(uint64_t id)
{
    auto found = m_clients.find(id);
    if (found == m_clients.end() || !found->second.ReplayStarted)
        return;
    Client& client = found->second;
    const std::vector<ReplayQuote>& rows = m_replay->Quotes();
    if (m_settings.Speed <= 0 && client.Session->Backlog() > ReplayBacklogLimit)
        return ArmReplay(id, client, std::chrono::milliseconds(5));

    // One turn: a batch when unpaced, else every row of the same second.
    const std::size_t first = client.ReplayNext;
    std::size_t next = first;
    while (next < rows.size() &&
           (m_settings.Speed <= 0 ? next - first < ReplayBatch : rows[next].Second == rows[first].Second))
    {
        if (client.Subscribed.count(rows[next].Quote.InstrumentID))
        {
            // Unpaced replay waits for the client (above) and loses nothing.
            if (m_settings.Speed <= 0)
                client.Session->Send(CSimEncoder::Quote(rows[next].Quote));
            else
                Offer(id, client, CSimEncoder::Quote(rows[next].Quote));
        }
        ++next;
    }
    client.ReplayNext = next;
    if (next >= rows.size())
    {
        Log("connection " + std::to_string(id) + ": replay finished");
        return;
    }
    std::chrono::steady_clock::duration delay = std::chrono::steady_clock::duration::zero();
    if (m_settings.Speed > 0 && rows[next].Second > rows[first].Second)
        delay = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
            std::chrono::duration<double>(double(rows[next].Second - rows[first].Second) / m_settings.Speed));
    ArmReplay(id, client, delay);
}

CQuoteSimulator::CQuoteSimulator(const QuoteSimSettings& settings) : m_logic(std::make_unique<Logic>(settings))
{
}

CQuoteSimulator::~CQuoteSimulator() = default;

void CQuoteSimulator::Start()
{
    m_logic->Start();
}

std::string CQuoteSimulator::Address() const
{
    // An IPv6 host is bracketed, so that the port stays apart from it.
    const std::string& host = m_logic->Server().Host();
    const std::string port = std::to_string(m_logic->Server().Port());
    return host.find(':') == std::string::npos ? host + ":" + port : "[" + host + "]:" + port;
}

void CQuoteSimulator::Validate(const QuoteSimSettings& settings)
{
    int64_t day = 0;
    if (!settings.TradeDate.empty() && !SimCalendar::ParseDate(settings.TradeDate, day))
        throw std::invalid_argument("--trade-date expects YYYY-MM-DD, got '" + settings.TradeDate + "'");
    if (!(settings.Rate >= 0) || !(settings.Speed >= 0))
        throw std::invalid_argument("--rate and --speed must not be negative");
    if (settings.Rate > QuoteSimSettings::MaxRate)
        throw std::invalid_argument("--rate must be at most " + std::to_string(static_cast<int>(QuoteSimSettings::MaxRate)) +
                                    " quotes per second per instrument");
}

uint16_t CQuoteSimulator::Port() const
{
    return m_logic->Server().Port();
}

void CQuoteSimulator::Stop()
{
    m_logic->Server().Stop();
}

void CQuoteSimulator::Wait()
{
    m_logic->Server().Wait();
}

boost::asio::io_context& CQuoteSimulator::IoContext()
{
    return m_logic->Server().IoContext();
}
