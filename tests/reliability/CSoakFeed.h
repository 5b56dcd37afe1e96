// The server side of the reliability tests: our protocol server answering
// login and subscription, then pushing numbered quotes to every subscribed
// session as fast as the session drains them. Session n's quotes are
// numbered (n << 32) + 0, 1, 2, ...; its frames are the login answer, the
// subscription answer, then the quotes, so the k-th frame of a session that
// logged in and subscribed once is quote k - 2.
#ifndef KELM_TESTS_RELIABILITY_CSOAKFEED_H
#define KELM_TESTS_RELIABILITY_CSOAKFEED_H

#include "sim/CSimServer.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <thread>

class CSoakFeed
{
public:
    // Frames of a session before its first quote.
    static constexpr uint64_t kFramesBeforeQuotes = 2;

    static uint64_t FirstQuoteOf(uint64_t sessionId) { return sessionId << 32; }

    CSoakFeed();
    ~CSoakFeed();
    CSoakFeed(const CSoakFeed&) = delete;
    CSoakFeed& operator=(const CSoakFeed&) = delete;

    void Start();
    // Stops queueing quotes; what is queued still goes out.
    void StopPushing();
    void Stop();
    uint16_t Port() const { return m_server.Port(); }
    uint64_t QuotesQueued() const { return m_queued; }
    // Sessions that sent something other than one login and one subscription.
    uint64_t UnexpectedRequests() const { return m_unexpected; }

private:
    struct Feed
    {
        std::shared_ptr<CSimSession> session;
        uint64_t next;
    };

    void OnRequest(const std::shared_ptr<CSimSession>& session, const SimRequest& request);
    std::size_t TopUp();
    void Push();

    CSimServer m_server;
    std::map<uint64_t, Feed> m_feeds;  // I/O thread only
    std::map<uint64_t, int> m_requests;  // I/O thread only: requests seen per session
    std::atomic<uint64_t> m_queued{0};
    std::atomic<uint64_t> m_unexpected{0};
    std::atomic<bool> m_stopping{false};
    std::thread m_pusher;
};

#endif
