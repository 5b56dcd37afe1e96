#include "CToolMetrics.h"

#include <cstring>

#include <KelmRivoMdApi.h>

#include "CHealthCheck.h"

// Reads the link's figures from the session at scrape time. Sample() and
// the scrape take the same lock, so a session is never read while it goes.
class CToolMetrics::CSessionSampler
{
public:
    void Attach(kelmmd::CMdSession* session)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_session != nullptr)
            m_last = Read(*m_session);
        m_session = session;
    }

    LinkFigures Figures()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_session != nullptr)
            m_last = Read(*m_session);
        return m_last;
    }

private:
    static LinkFigures Read(kelmmd::CMdSession& session)
    {
        const LinkStatsRecord stats = session.LinkStats();
        LinkFigures figures;
        figures.QuotesReceived = static_cast<uint64_t>(stats.QuotesReceived);
        figures.PackagesReceived = static_cast<uint64_t>(stats.PackagesReceived);
        figures.BytesReceived = static_cast<uint64_t>(stats.BytesReceived);
        figures.Connections = static_cast<uint64_t>(stats.ConnectionsMade);
        figures.Losses = static_cast<uint64_t>(stats.LinksLost);
        figures.HeartbeatsSent = static_cast<uint64_t>(stats.HeartbeatsSent);
        figures.LastByteAgeSeconds = stats.LastReceiveAge < 0 ? -1 : static_cast<double>(stats.LastReceiveAge) / 1e6;
        if (stats.Connected != 0)
            figures.Address.assign(stats.ServerAddress, strnlen(stats.ServerAddress, sizeof stats.ServerAddress));
        return figures;
    }

    std::mutex m_mutex;
    kelmmd::CMdSession* m_session = nullptr;
    LinkFigures m_last;
};

namespace
{

// The tool's instruments as the library sends them (at most 15 characters),
// which is how quotes name them.
std::vector<std::string> Codes(const std::vector<std::string>& instruments)
{
    std::vector<std::string> codes;
    for (const std::string& code : instruments)
        codes.push_back(code.substr(0, 15));
    return codes;
}

}  // namespace

CToolMetrics::CToolMetrics(const ToolMetricsSettings& settings)
    : m_host(settings.Address.substr(0, settings.Address.rfind(':'))),
      m_sampler(std::make_shared<CSessionSampler>()),
      m_link(std::make_shared<CLinkMetrics>(
          Codes(settings.Instruments),
          settings.LinkFigures ? CLinkMetrics::Sampler([sampler = m_sampler] { return sampler->Figures(); })
                               : CLinkMetrics::Sampler())),
      m_server(settings.Address)
{
    m_server.Add(m_link);
    m_server.AddBuildInfo(settings.Version, CKelmRivoMdApi::GetApiVersion());
    auto health = std::make_shared<CHealthCheck>(m_link, settings.HealthMaxQuoteAge);
    m_server.SetHealthProbe([health] { return health->Check(); });
}

CToolMetrics::~CToolMetrics() = default;

std::string CToolMetrics::Where() const
{
    return "metrics on http://" + m_host + ":" + std::to_string(Port()) + "/metrics, health on /healthz";
}

void CToolMetrics::Add(std::shared_ptr<const prometheus::Collectable> collectable)
{
    m_server.Add(std::move(collectable));
}

void CToolMetrics::Event(const kelmmd::SessionEvent& event)
{
    switch (event.Type)
    {
    case kelmmd::SessionEvent::Kind::Connected:
        m_link->Connected();
        break;
    case kelmmd::SessionEvent::Kind::Disconnected:
        m_link->Disconnected();
        break;
    case kelmmd::SessionEvent::Kind::Login:
        m_link->LoginResult(event.Succeeded());
        break;
    default:
        break;
    }
}

void CToolMetrics::Sample(kelmmd::CMdSession* session)
{
    m_sampler->Attach(session);
}
