#include "tools/watch/CMdWatcher.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

#include "api/KelmRivoMdApi.h"
#include "tools/sim/CInstrumentUniverse.h"
#include "tools/sim/CQuoteSimulator.h"
#include "tools/watch/CQuoteLineWriter.h"
#include "tools/watch/CQuoteTable.h"
#include "tools/watch/CWatchCallback.h"

namespace
{

constexpr std::chrono::milliseconds Tick(100);

// The API object is released through Dispose, never deleted.
struct ApiDisposer
{
    void operator()(CKelmRivoMdApi* api) const { api->Dispose(); }
};

std::string Clock()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return text;
}

std::string JoinServers(const std::vector<std::string>& servers)
{
    std::string text;
    for (const std::string& server : servers)
        text += (text.empty() ? "" : ", ") + server;
    return text;
}

}  // namespace

CMdWatcher::CMdWatcher(const WatchOptions& options, std::ostream& out, std::ostream& log)
    : m_options(options), m_out(out), m_log(log), m_stats(options.Instruments)
{
}

CMdWatcher::~CMdWatcher() = default;

void CMdWatcher::Log(const std::string& text)
{
    m_log << Clock() << " " << text << std::endl;
}

bool CMdWatcher::StartEmbeddedServer()
{
    QuoteSimSettings settings;
    settings.Instruments = CInstrumentUniverse::Parse(CInstrumentUniverse::DefaultList);
    for (const std::string& code : m_options.Instruments)
    {
        bool known = false;
        for (const SimInstrument& instrument : settings.Instruments)
            known = known || instrument.Code == code;
        if (!known)
            settings.Instruments.push_back(SimInstrument{code, CInstrumentUniverse::DefaultExchange});
    }
    try
    {
        m_simulator = std::make_unique<CQuoteSimulator>(settings);
        m_simulator->Start();
    }
    catch (const std::exception& error)
    {
        m_log << "kelm-md-watch: cannot start the embedded simulator: " << error.what() << std::endl;
        return false;
    }
    m_options.Servers.push_back("tcp://" + m_simulator->Address());
    Log("started the embedded simulator on " + m_simulator->Address());
    return true;
}

int CMdWatcher::Run(CWatchEventQueue& queue)
{
    if (!m_options.RecordFile.empty())
    {
        m_recordFile.open(m_options.RecordFile, std::ios::out | std::ios::trunc);
        if (!m_recordFile)
        {
            m_log << "kelm-md-watch: cannot write " << m_options.RecordFile << std::endl;
            return 1;
        }
        m_recorder = std::make_unique<CQuoteLineWriter>(m_recordFile, CQuoteLineWriter::Style::Csv);
    }
    if (m_options.Format != WatchFormat::Table)
        m_writer = std::make_unique<CQuoteLineWriter>(
            m_out, m_options.Format == WatchFormat::Json ? CQuoteLineWriter::Style::Json : CQuoteLineWriter::Style::Csv);
    if (m_options.Servers.empty() && !StartEmbeddedServer())
        return 1;

    CWatchCallback callback(queue);
    std::unique_ptr<CKelmRivoMdApi, ApiDisposer> api(CKelmRivoMdApi::CreateRivoMdApi());
    api->SetCallbackObject(&callback);
    for (const std::string& server : m_options.Servers)
        api->AddServerUrl(server.c_str());
    Log("connecting to " + JoinServers(m_options.Servers));
    api->Launch();

    const auto start = CWatchStats::Clock::now();
    auto nextDraw = start;
    Step step = Step::Continue;
    while (step == Step::Continue)
    {
        if (const std::optional<WatchEvent> event = queue.Pop(Tick))
            step = Handle(*event, *api);
        const auto now = CWatchStats::Clock::now();
        const double elapsed = std::chrono::duration<double>(now - start).count();
        if (step == Step::Continue && !m_everLoggedIn && m_options.ConnectTimeout > 0 &&
            elapsed >= m_options.ConnectTimeout)
        {
            m_log << "kelm-md-watch: no login on " << JoinServers(m_options.Servers) << " within "
                  << m_options.ConnectTimeout << " s" << std::endl;
            step = Step::Failed;
        }
        if (step == Step::Continue && m_options.Duration > 0 && elapsed >= m_options.Duration)
            step = Step::Done;
        if (m_options.Format == WatchFormat::Table && (now >= nextDraw || step != Step::Continue))
        {
            m_out << CQuoteTable::Render(m_stats, now) << std::flush;
            nextDraw = now + Tick;
        }
    }
    // Nothing reaches the callback once Dispose has returned.
    api.reset();
    m_out.flush();
    if (m_recorder)
        m_recordFile.flush();
    if (m_everLoggedIn)
        m_log << m_stats.Summary();
    return step == Step::Done ? 0 : 1;
}

CMdWatcher::Step CMdWatcher::Handle(const WatchEvent& event, CKelmRivoMdApi& api)
{
    switch (event.Type)
    {
    case WatchEvent::Kind::Connected:
        Log("connected");
        Login(api);
        return Step::Continue;
    case WatchEvent::Kind::Disconnected:
        Log("disconnected; reconnecting");
        m_loggedIn = false;
        return Step::Continue;
    case WatchEvent::Kind::LoginResult:
        if (event.RspNo != 0)
        {
            m_log << "kelm-md-watch: login of '" << m_options.User << "' failed: " << event.RspNo << " "
                  << event.Text << std::endl;
            return Step::Failed;
        }
        Log("logged in as '" + m_options.User + "' (" + event.Detail + ")");
        m_loggedIn = m_everLoggedIn = true;
        Subscribe(api);
        return Step::Continue;
    case WatchEvent::Kind::SubscribeResult:
        if (event.RspNo != 0)
        {
            Log("subscription of '" + event.Detail + "' refused: " + std::to_string(event.RspNo) + " " + event.Text);
            if (++m_refused == static_cast<int>(m_options.Instruments.size()))
            {
                m_log << "kelm-md-watch: no instrument could be subscribed" << std::endl;
                return Step::Failed;
            }
            return Step::Continue;
        }
        Log("subscribed " + event.Detail);
        ++m_subscribed;
        return Step::Continue;
    case WatchEvent::Kind::Quote:
        return OnQuote(event.Quote);
    case WatchEvent::Kind::Stop:
        Log("stopping");
        return Step::Done;
    }
    return Step::Continue;
}

CMdWatcher::Step CMdWatcher::OnQuote(const MarketDepthRecord& quote)
{
    m_stats.Add(quote);
    if (m_writer)
        m_writer->Write(quote);
    if (m_recorder)
        m_recorder->Write(quote);
    return m_options.Count > 0 && m_stats.Total() >= m_options.Count ? Step::Done : Step::Continue;
}

void CMdWatcher::Login(CKelmRivoMdApi& api)
{
    LoginRequestRecord request;
    std::memset(&request, 0, sizeof request);
    std::snprintf(request.BrokerCode, sizeof request.BrokerCode, "%s", m_options.Broker.c_str());
    std::snprintf(request.UserCode, sizeof request.UserCode, "%s", m_options.User.c_str());
    std::snprintf(request.Password, sizeof request.Password, "%s", m_options.Password.c_str());
    if (api.SubmitLogin(&request, 1) != 0)
        Log("login request not sent (connection lost)");
}

void CMdWatcher::Subscribe(CKelmRivoMdApi& api)
{
    // After a reconnect the server has forgotten the subscriptions.
    m_subscribed = m_refused = 0;
    std::vector<std::vector<char>> texts;
    std::vector<char*> codes;
    for (const std::string& code : m_options.Instruments)
        texts.emplace_back(code.c_str(), code.c_str() + code.size() + 1);
    for (std::vector<char>& text : texts)
        codes.push_back(text.data());
    api.SubscribeQuotes(codes.data(), static_cast<int>(codes.size()));
}
