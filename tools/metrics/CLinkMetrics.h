// The quote link of a tool, per instrument and as a whole, for Prometheus.
//
// The library's network thread reports quotes, connects, losses and login
// results here; each is a few relaxed atomic operations, never a lock, so a
// scrape can never hold the network thread up. Everything that depends on
// the time (seconds since the last quote) is worked out when scraped.
// The link's own figures (bytes, packages, heartbeats...) are not pushed:
// the tool passes a sampler that reads them, called at every scrape.
#ifndef KELM_TOOLS_METRICS_CLINKMETRICS_H
#define KELM_TOOLS_METRICS_CLINKMETRICS_H

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <prometheus/collectable.h>

// What the library counts about its link, as the tool read it just now.
struct LinkFigures
{
    uint64_t QuotesReceived = 0;
    uint64_t PackagesReceived = 0;
    uint64_t BytesReceived = 0;
    uint64_t Connections = 0;        // established, over the whole run
    uint64_t Losses = 0;             // established connections that were lost
    uint64_t HeartbeatsSent = 0;
    double LastByteAgeSeconds = -1;  // negative: no byte received yet
    std::string Address;             // the server in use; empty when none
};

class CLinkMetrics final : public prometheus::Collectable
{
public:
    // Called on a scrape thread, one scrape at a time; it must not wait for
    // the network thread.
    using Sampler = std::function<LinkFigures()>;

    // instruments: those the tool asks for (repeats are ignored). Quotes of
    // any other instrument are only counted as unlisted, so that the set of
    // series is fixed and counting them needs no lock.
    explicit CLinkMetrics(const std::vector<std::string>& instruments, Sampler sampler = nullptr);
    ~CLinkMetrics() override;

    // Network thread.
    void QuoteReceived(const char* instrument);
    void Connected();
    void Disconnected();  // also ends the login
    void LoginResult(bool accepted);

    bool Up() const;
    bool LoggedIn() const;
    // Seconds since the newest quote of any instrument, or since this object
    // was made when none came yet.
    double SecondsSinceQuote() const;

    std::vector<prometheus::MetricFamily> Collect() const override;

private:
    struct Instrument;

    Instrument* Find(const char* code) const;

    const int64_t m_startNs;
    std::vector<std::unique_ptr<Instrument>> m_instruments;  // sorted by code; fixed after construction
    const Sampler m_sampler;
    std::atomic<uint64_t> m_unlisted{0};
    std::atomic<bool> m_up{false};
    std::atomic<bool> m_loggedIn{false};
    std::atomic<uint64_t> m_loginsAccepted{0};
    std::atomic<uint64_t> m_loginsRefused{0};
};

#endif
