// The HTTP endpoint of a tool's metrics: GET /metrics answers the text
// exposition format of everything added, /healthz 200 or 503 with the
// health probe's reason, any other path 404. One civetweb server on a few
// threads of its own; prometheus-cpp's Exposer cannot serve a status that
// depends on a probe beside /metrics, so this serves both from the registry
// and collectables with prometheus-cpp's text serializer.
//
// A scrape runs the collectables and the probe on a server thread, one
// scrape at a time; they read the tools' atomics and take no lock of the
// tools.
#ifndef KELM_TOOLS_METRICS_CMETRICSSERVER_H
#define KELM_TOOLS_METRICS_CMETRICSSERVER_H

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <prometheus/collectable.h>
#include <prometheus/registry.h>

struct mg_connection;
struct mg_context;

class CMetricsServer
{
public:
    struct Health
    {
        bool Healthy = true;
        std::string Reason;  // one line for the answer's body
    };
    using HealthProbe = std::function<Health()>;

    // HOST:PORT with an IPv4 address as HOST (or a bracketed IPv6 address
    // where civetweb was built with IPv6) and a port of 0 (any free one) to
    // 65535; false with a one-line reason.
    static bool ValidAddress(const std::string& address, std::string& error);

    // Listens at once; throws std::runtime_error naming the address and the
    // reason when it cannot.
    explicit CMetricsServer(const std::string& address);
    ~CMetricsServer();
    CMetricsServer(const CMetricsServer&) = delete;
    CMetricsServer& operator=(const CMetricsServer&) = delete;

    // The port listened on (the one chosen when the address said 0).
    uint16_t Port() const;

    // For metrics a tool keeps in prometheus-cpp's own counters and gauges.
    prometheus::Registry& Registry() { return *m_registry; }
    void Add(std::shared_ptr<const prometheus::Collectable> collectable);
    // kelm_build_info{version,library_version} 1.
    void AddBuildInfo(const std::string& version, const std::string& libraryVersion);
    // Without a probe /healthz answers 200.
    void SetHealthProbe(HealthProbe probe);

    // What /metrics answers now.
    std::string Exposition() const;
    Health CheckHealth() const;

private:
    static int Answer(mg_connection* connection);
    // Opens and closes a connection to the server, to wake its acceptor.
    void Knock() const;

    std::shared_ptr<prometheus::Registry> m_registry;
    // Taken by scrapes and by the setup calls above, never by the tools'
    // running threads.
    mutable std::mutex m_mutex;
    std::vector<std::shared_ptr<const prometheus::Collectable>> m_collectables;
    HealthProbe m_probe;
    mg_context* m_server = nullptr;
    uint16_t m_port = 0;
    bool m_knocks = false;    // listening on IPv4, at m_ipv4Host
    uint32_t m_ipv4Host = 0;  // network byte order
};

#endif
