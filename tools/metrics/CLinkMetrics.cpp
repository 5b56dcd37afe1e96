#include "CLinkMetrics.h"

#include <algorithm>
#include <cstring>

#include "CMetricFamilies.h"
#include "SteadyTime.h"

struct CLinkMetrics::Instrument
{
    explicit Instrument(std::string code) : Code(std::move(code)) {}

    const std::string Code;
    std::atomic<uint64_t> Quotes{0};
    std::atomic<int64_t> LastNs{0};  // 0: none yet
};

namespace
{

// The counters among the link's figures.
struct FigureCounter
{
    const char* Name;
    const char* Help;
    uint64_t LinkFigures::*Field;
};

constexpr FigureCounter FigureCounters[] = {
    {"kelm_link_quotes_received_total", "Quotes the library received, all instruments.", &LinkFigures::QuotesReceived},
    {"kelm_link_packages_received_total", "Protocol packages received.", &LinkFigures::PackagesReceived},
    {"kelm_link_bytes_received_total", "Bytes received from quote servers.", &LinkFigures::BytesReceived},
    {"kelm_link_connections_total", "Connections established to quote servers.", &LinkFigures::Connections},
    {"kelm_link_losses_total", "Established connections that were lost.", &LinkFigures::Losses},
    {"kelm_link_heartbeats_sent_total", "Heartbeats sent to quote servers.", &LinkFigures::HeartbeatsSent},
};

double QuietSeconds(int64_t lastNs, int64_t startNs, int64_t nowNs)
{
    return steadytime::SecondsSince(lastNs != 0 ? lastNs : startNs, nowNs);
}

}  // namespace

CLinkMetrics::CLinkMetrics(const std::vector<std::string>& instruments, Sampler sampler)
    : m_startNs(steadytime::Now()), m_sampler(std::move(sampler))
{
    std::vector<std::string> codes = instruments;
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    for (std::string& code : codes)
        m_instruments.push_back(std::make_unique<Instrument>(std::move(code)));
}

CLinkMetrics::~CLinkMetrics() = default;

void CLinkMetrics::QuoteReceived(const char* instrument)
{
    Instrument* slot = Find(instrument);
    if (slot == nullptr)
    {
        m_unlisted.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    slot->Quotes.fetch_add(1, std::memory_order_relaxed);
    slot->LastNs.store(steadytime::Now(), std::memory_order_relaxed);
}

void CLinkMetrics::Connected()
{
    m_up.store(true, std::memory_order_relaxed);
}

void CLinkMetrics::Disconnected()
{
    m_up.store(false, std::memory_order_relaxed);
    m_loggedIn.store(false, std::memory_order_relaxed);
}

void CLinkMetrics::LoginResult(bool accepted)
{
    (accepted ? m_loginsAccepted : m_loginsRefused).fetch_add(1, std::memory_order_relaxed);
    m_loggedIn.store(accepted, std::memory_order_relaxed);
}

bool CLinkMetrics::Up() const
{
    return m_up.load(std::memory_order_relaxed);
}

bool CLinkMetrics::LoggedIn() const
{
    return m_loggedIn.load(std::memory_order_relaxed);
}

double CLinkMetrics::SecondsSinceQuote() const
{
    int64_t newest = 0;
    for (const auto& instrument : m_instruments)
        newest = std::max(newest, instrument->LastNs.load(std::memory_order_relaxed));
    return QuietSeconds(newest, m_startNs, steadytime::Now());
}

CLinkMetrics::Instrument* CLinkMetrics::Find(const char* code) const
{
    const auto it = std::lower_bound(m_instruments.begin(), m_instruments.end(), code,
                                     [](const auto& slot, const char* key) { return slot->Code < key; });
    return it != m_instruments.end() && (*it)->Code == code ? it->get() : nullptr;
}

std::vector<prometheus::MetricFamily> CLinkMetrics::Collect() const
{
    const int64_t now = steadytime::Now();
    CMetricFamilies out;
    for (const auto& instrument : m_instruments)
        out.Counter("kelm_quotes_received_total", "Quotes received, per instrument.",
                    static_cast<double>(instrument->Quotes.load(std::memory_order_relaxed)),
                    {{"instrument", instrument->Code}});
    for (const auto& instrument : m_instruments)
        out.Gauge("kelm_quote_age_seconds",
                  "Seconds since the instrument's last quote, or since the start when none came yet.",
                  QuietSeconds(instrument->LastNs.load(std::memory_order_relaxed), m_startNs, now),
                  {{"instrument", instrument->Code}});
    out.Counter("kelm_quotes_unlisted_total", "Quotes of instruments that were not asked for.",
                static_cast<double>(m_unlisted.load(std::memory_order_relaxed)));
    out.Gauge("kelm_link_up", "1 while connected to a quote server.", Up() ? 1 : 0);
    out.Gauge("kelm_link_logged_in", "1 while logged in on the current connection.", LoggedIn() ? 1 : 0);
    const char* loginHelp = "Login answers of the quote server, by result.";
    out.Counter("kelm_logins_total", loginHelp,
                static_cast<double>(m_loginsAccepted.load(std::memory_order_relaxed)), {{"result", "accepted"}});
    out.Counter("kelm_logins_total", loginHelp,
                static_cast<double>(m_loginsRefused.load(std::memory_order_relaxed)), {{"result", "refused"}});
    if (!m_sampler)
        return out.Take();

    const LinkFigures figures = m_sampler();
    for (const FigureCounter& counter : FigureCounters)
        out.Counter(counter.Name, counter.Help, static_cast<double>(figures.*counter.Field));
    if (figures.LastByteAgeSeconds >= 0)
        out.Gauge("kelm_link_last_byte_age_seconds", "Seconds since the last byte received from a quote server.",
                  figures.LastByteAgeSeconds);
    if (!figures.Address.empty())
        out.Gauge("kelm_link_server_info", "The quote server in use (value 1).", 1, {{"address", figures.Address}});
    return out.Take();
}
