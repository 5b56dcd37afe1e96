// The metrics of a tool with a quote link, served on --metrics HOST:PORT:
// the link as its session reports it (quotes and events, counted on the
// thread that delivers them), the library's own figures of the link read
// from the session at every scrape, the health check on /healthz and the
// build information. A tool adds what is its own (Add).
//
// Quote and Event run on the library's network thread: a few relaxed
// atomic operations each. A scrape reads those atomics and the session's
// LinkStats, which never waits for the network thread.
#ifndef KELM_TOOLS_METRICS_CTOOLMETRICS_H
#define KELM_TOOLS_METRICS_CTOOLMETRICS_H

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <kelmmd/CMdSession.h>
#include <kelmmd/SessionEvent.h>

#include "CLinkMetrics.h"
#include "CMetricsServer.h"

struct ToolMetricsSettings
{
    std::string Address;            // HOST:PORT to listen on
    double HealthMaxQuoteAge = 30;  // seconds; 0: quotes not checked
    std::string Version;            // the tool's
    std::vector<std::string> Instruments;
    // False for a tool whose quotes do not come from a session of the
    // library (the watcher reading Redis): no link figures then.
    bool LinkFigures = true;
};

// The settings of a tool's options (Metrics, HealthMaxQuoteAge and
// Instruments, as the bridge's and the watcher's have them).
template <class Options>
ToolMetricsSettings MetricsSettingsOf(const Options& options, const std::string& version)
{
    ToolMetricsSettings settings;
    settings.Address = options.Metrics;
    settings.HealthMaxQuoteAge = options.HealthMaxQuoteAge;
    settings.Version = version;
    settings.Instruments = options.Instruments;
    return settings;
}

class CToolMetrics
{
public:
    // Listens at once; throws std::runtime_error naming the address and the
    // reason when it cannot.
    explicit CToolMetrics(const ToolMetricsSettings& settings);
    ~CToolMetrics();
    CToolMetrics(const CToolMetrics&) = delete;
    CToolMetrics& operator=(const CToolMetrics&) = delete;

    // The port listened on (the one chosen when the address said 0).
    uint16_t Port() const { return m_server.Port(); }
    // "metrics on http://HOST:PORT/metrics, health on /healthz", for the log.
    std::string Where() const;
    void Add(std::shared_ptr<const prometheus::Collectable> collectable);

    // The thread that delivers the session's quotes and events.
    void Quote(const MarketDepthRecord& quote) { m_link->QuoteReceived(quote.InstrumentID); }
    void Event(const kelmmd::SessionEvent& event);

    // The session whose link figures the scrapes read; null before the
    // session goes, after which the last figures read stay. Not from
    // inside the session's notifications.
    void Sample(kelmmd::CMdSession* session);

private:
    class CSessionSampler;

    const std::string m_host;
    std::shared_ptr<CSessionSampler> m_sampler;
    std::shared_ptr<CLinkMetrics> m_link;
    CMetricsServer m_server;  // last: stops serving before the rest goes
};

// Scrapes read the session's link figures while this lives: made after the
// session, gone before the session closes. Without metrics it does nothing.
class CSampledSession
{
public:
    CSampledSession(CToolMetrics* metrics, kelmmd::CMdSession& session) : m_metrics(metrics)
    {
        if (m_metrics)
            m_metrics->Sample(&session);
    }
    ~CSampledSession()
    {
        if (m_metrics)
            m_metrics->Sample(nullptr);
    }
    CSampledSession(const CSampledSession&) = delete;
    CSampledSession& operator=(const CSampledSession&) = delete;

private:
    CToolMetrics* const m_metrics;
};

#endif
