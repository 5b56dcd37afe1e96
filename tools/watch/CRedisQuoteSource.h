// The watcher's quotes from Redis instead of a quote server: follows the
// streams that kelm-md-bridge writes (<prefix><INSTRUMENT>) with XREAD BLOCK
// on a thread of its own and hands every quote to the watcher's queue as the
// library's callback would, in the order the bridge wrote them. A lost
// connection is reported (Disconnected, then Connected) and the streams are
// followed on from where reading stopped.
#ifndef KELM_TOOLS_WATCH_CREDISQUOTESOURCE_H
#define KELM_TOOLS_WATCH_CREDISQUOTESOURCE_H

#include <atomic>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "tools/redis/CQuoteStreamMerger.h"
#include "tools/redis/CRedisConnection.h"
#include "tools/watch/CWatchEventQueue.h"
#include "tools/watch/WatchOptions.h"

class CRedisQuoteSource
{
public:
    // Connects and notes where each stream ends (or, with FromStart, starts
    // at its first entry); throws CRedisError with a one-line reason.
    CRedisQuoteSource(const WatchOptions& options, CWatchEventQueue& queue);
    // Stops following.
    ~CRedisQuoteSource();
    CRedisQuoteSource(const CRedisQuoteSource&) = delete;
    CRedisQuoteSource& operator=(const CRedisQuoteSource&) = delete;

private:
    void Run();
    void ReadOnce();
    void Push(WatchEvent::Kind kind);

    const RedisAddress m_address;
    CWatchEventQueue& m_queue;
    std::vector<std::string> m_streams;
    std::vector<std::string> m_ids;  // the last entry read of each stream
    std::unique_ptr<CRedisConnection> m_connection;
    CQuoteStreamMerger m_merger;
    std::vector<MarketDepthRecord> m_ready;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

#endif
