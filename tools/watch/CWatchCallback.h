// The watcher's callback object: turns each notification into an event on
// the queue, copying what it needs, since the records live only during the
// call.
#ifndef KELM_TOOLS_WATCH_CWATCHCALLBACK_H
#define KELM_TOOLS_WATCH_CWATCHCALLBACK_H

#include <KelmRivoMdApi.h>
#include "tools/watch/CWatchEventQueue.h"

class CWatchCallback : public CKelmRivoMdCallback
{
public:
    explicit CWatchCallback(CWatchEventQueue& queue) : m_queue(queue) {}
    ~CWatchCallback() = default;

    void NotifyConnected() override;
    void NotifyDisconnected(int reason) override;
    void NotifyLoginResult(LoginResultRecord* result, ResponseInfoRecord* info, int requestId, bool isLast) override;
    void NotifySubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int requestId,
                               bool isLast) override;
    void NotifyQuote(MarketDepthRecord* quote) override;

private:
    CWatchEventQueue& m_queue;
};

#endif
