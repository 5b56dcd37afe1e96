// The bridge's run: opens Redis, starts the writer, runs a session with the
// quote servers (which logs in and subscribes after every connect by
// itself), reports the session to standard error and to the events stream,
// and at the end writes what is buffered.
#ifndef KELM_TOOLS_BRIDGE_CMDBRIDGE_H
#define KELM_TOOLS_BRIDGE_CMDBRIDGE_H

#include <atomic>
#include <memory>
#include <set>
#include <string>

#include <kelmmd/CEventQueue.h>
#include <kelmmd/CQuoteQueue.h>
#include <kelmmd/SessionEvent.h>

#include "BridgeOptions.h"
#include "CBridgeLog.h"
#include "CBridgeMetrics.h"
#include "CQuoteArrivals.h"

class CStreamWriter;
class CToolMetrics;
namespace kelmmd
{
class CMdSession;
}

class CMdBridge
{
public:
    CMdBridge(const BridgeOptions& options, CBridgeLog& log);
    ~CMdBridge();

    // Runs until stop is set (by a signal) or a failure; returns the exit
    // status (see the help text).
    int Run(const std::atomic<bool>& stop);

private:
    enum class Step
    {
        Continue,
        Done,
        Failed
    };

    bool ServeMetrics();
    // Launches the session and handles its events until the stop or a
    // failure.
    Step Follow(kelmmd::CMdSession& md, const std::atomic<bool>& stop);
    void OnQuote(const MarketDepthRecord& quote);
    void OnEvent(const kelmmd::SessionEvent& event);
    Step Handle(const kelmmd::SessionEvent& event);
    void ReportBacklog();
    void Event(const std::string& name, const std::string& detail);
    std::string Counts(bool final) const;
    int Finish(Step step);

    const BridgeOptions m_options;
    CBridgeLog& m_log;
    // Filled on the library's network thread, emptied by the writer.
    kelmmd::CQuoteQueue m_buffer;
    CQuoteArrivals m_arrivals;  // of the quotes in m_buffer
    // The session's events, from the network thread to Run.
    kelmmd::CEventQueue<kelmmd::SessionEvent> m_events;
    // Counted always; served with --metrics.
    std::shared_ptr<CBridgeMetrics> m_bridgeMetrics;
    std::unique_ptr<CToolMetrics> m_metrics;
    std::unique_ptr<CStreamWriter> m_writer;
    std::set<std::string> m_refused;  // codes the server refused
};

#endif
