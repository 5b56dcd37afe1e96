// The bridge's run: opens Redis, starts the writer, connects to the quote
// servers through the public API, logs in and subscribes after every
// connect, reports the session to standard error and to the events stream,
// and at the end writes what is buffered.
#ifndef KELM_TOOLS_BRIDGE_CMDBRIDGE_H
#define KELM_TOOLS_BRIDGE_CMDBRIDGE_H

#include <memory>
#include <string>

#include "tools/bridge/BridgeOptions.h"
#include "tools/bridge/CBridgeLog.h"
#include "tools/watch/CWatchEventQueue.h"

class CKelmRivoMdApi;
class CQuoteRing;
class CStreamWriter;

class CMdBridge
{
public:
    CMdBridge(const BridgeOptions& options, CBridgeLog& log);
    ~CMdBridge();

    // Runs until a Stop event (a signal) or a failure; returns the exit
    // status (see the help text).
    int Run(CWatchEventQueue& queue);

private:
    enum class Step
    {
        Continue,
        Done,
        Failed
    };

    Step Handle(const WatchEvent& event, CKelmRivoMdApi& api);
    void Event(const std::string& name, const std::string& detail);
    void Login(CKelmRivoMdApi& api);
    void Subscribe(CKelmRivoMdApi& api);
    std::string Counts(bool final) const;
    int Finish(Step step);

    const BridgeOptions m_options;
    CBridgeLog& m_log;
    std::unique_ptr<CQuoteRing> m_ring;
    std::unique_ptr<CStreamWriter> m_writer;
    int m_refused = 0;
};

#endif
