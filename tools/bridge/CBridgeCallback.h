// The bridge's callback object: session notifications go to the main loop
// as the watcher's do, quotes straight into the buffer for the writer.
#ifndef KELM_TOOLS_BRIDGE_CBRIDGECALLBACK_H
#define KELM_TOOLS_BRIDGE_CBRIDGECALLBACK_H

#include "tools/bridge/CQuoteRing.h"
#include "tools/watch/CWatchCallback.h"

class CBridgeCallback : public CWatchCallback
{
public:
    CBridgeCallback(CWatchEventQueue& queue, CQuoteRing& ring) : CWatchCallback(queue), m_ring(ring) {}

    void NotifyQuote(MarketDepthRecord* quote) override { m_ring.Push(*quote); }

private:
    CQuoteRing& m_ring;
};

#endif
