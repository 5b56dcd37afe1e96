// Where the watcher's events come from. The watcher starts the source, gives
// every event back to it on the main thread before showing it, so that the
// source can add what only it knows (which server it reached, what the login
// gave), and stops it at the end.
#ifndef KELM_TOOLS_WATCH_CQUOTESOURCE_H
#define KELM_TOOLS_WATCH_CQUOTESOURCE_H

#include <string>

#include "WatchEvent.h"

class CWatchLog;
namespace kelmmd
{
class CMdSession;
}

class CQuoteSource
{
public:
    virtual ~CQuoteSource() = default;

    // What the source reads from, for the status line ("tcp://HOST:PORT").
    virtual std::string Name() const = 0;
    // Begins delivering events to queue and says so on log; false when it
    // cannot, after an error line on log. Both outlive the source's run.
    virtual bool Start(WatchEventQueue& queue, CWatchLog& log) = 0;
    virtual void React(WatchEvent& event) = 0;
    // Nothing reaches the queue once this has returned.
    virtual void Stop() = 0;
    // The session the quotes come through, between Start and Stop, for its
    // history and the link's figures; null for a source without one.
    virtual kelmmd::CMdSession* Session() { return nullptr; }
};

#endif
