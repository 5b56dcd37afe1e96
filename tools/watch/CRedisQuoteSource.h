// The watcher's quotes from Redis instead of a quote server: follows the
// streams that kelm-md-bridge writes (<prefix><INSTRUMENT>) with XREAD BLOCK
// on a thread of its own and hands every quote to the watcher's queue as the
// session would, in the order the bridge wrote them. Reaching
// Redis counts as the connection, the login and the subscriptions (one per
// stream followed); a lost connection is reported, and once Redis is back the
// streams are followed on from where reading stopped.
#ifndef KELM_TOOLS_WATCH_CREDISQUOTESOURCE_H
#define KELM_TOOLS_WATCH_CREDISQUOTESOURCE_H

#include <atomic>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "CQuoteSource.h"
#include "CQuoteStreamMerger.h"
#include "CRedisConnection.h"
#include "WatchOptions.h"

class CToolMetrics;

class CRedisQuoteSource : public CQuoteSource
{
public:
    // metrics: counts the quotes and what the source reports in place of
    // the session's events; may be null.
    CRedisQuoteSource(const WatchOptions& options, CToolMetrics* metrics);
    ~CRedisQuoteSource() override;

    std::string Name() const override;
    // Connects and notes where each stream ends (or, with FromStart, starts
    // at its first entry); false after an error line when Redis cannot be
    // reached, refuses the password, or a key is no stream.
    bool Start(WatchEventQueue& queue, CWatchLog& log) override;
    void React(WatchEvent&) override {}
    void Stop() override;

private:
    void Run(std::promise<std::string>& started);
    void Open();
    void Connect();
    void ReadOnce();
    void Push(kelmmd::SessionEvent::Kind kind, const std::string& instrument, const std::string& detail);

    const WatchOptions m_options;
    CToolMetrics* const m_metrics;
    WatchEventQueue* m_queue = nullptr;
    std::vector<std::string> m_streams;
    std::vector<std::string> m_ids;  // the last entry read of each stream
    std::unique_ptr<CRedisConnection> m_connection;
    CQuoteStreamMerger m_merger;
    std::vector<MarketDepthRecord> m_ready;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

#endif
