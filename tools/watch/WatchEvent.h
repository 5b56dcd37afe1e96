// What the watcher's main thread handles, in the order its quote source
// delivered it: a session event (the library's, or what the Redis source
// says in its place) or a quote.
#ifndef KELM_TOOLS_WATCH_WATCHEVENT_H
#define KELM_TOOLS_WATCH_WATCHEVENT_H

#include <string>

#include <KelmRivoMdApi.h>
#include <kelmmd/CEventQueue.h>
#include <kelmmd/SessionEvent.h>

struct WatchEvent
{
    enum class Kind
    {
        Session,
        Quote,
    };

    Kind Type = Kind::Session;
    kelmmd::SessionEvent Session;
    MarketDepthRecord Quote{};
    // Connected: the server reached; Login: what the login gave.
    std::string Detail;
};

// Bounded: a watcher that falls this far behind loses the oldest events,
// and says so at the end.
using WatchEventQueue = kelmmd::CEventQueue<WatchEvent>;
constexpr std::size_t WatchEventCapacity = 100000;

#endif
