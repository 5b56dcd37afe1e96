// Hands the library's notifications, which arrive on its network thread, and
// the stop request of a signal over to the watcher's main thread.
#ifndef KELM_TOOLS_WATCH_CWATCHEVENTQUEUE_H
#define KELM_TOOLS_WATCH_CWATCHEVENTQUEUE_H

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

#include <KelmRivoMdApi.h>

struct WatchEvent
{
    enum class Kind
    {
        Connected,
        Disconnected,
        LoginResult,
        SubscribeResult,
        Quote,
        Stop,  // a signal asked the watcher to end
    };

    Kind Type = Kind::Stop;
    int RspNo = 0;           // results: the server's code (-1 when it sent none)
    std::string Text;        // results: the server's description
    std::string Detail;      // login: trading day and system; subscription: the instrument
    MarketDepthRecord Quote{};
};

class CWatchEventQueue
{
public:
    void Push(WatchEvent event);
    // The next event, or nothing after the timeout.
    std::optional<WatchEvent> Pop(std::chrono::milliseconds timeout);

private:
    std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<WatchEvent> m_events;
};

#endif
