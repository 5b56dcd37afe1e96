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

#include <kelmmd/CQuoteQueue.h>
#include <kelmmd/SessionEvent.h>

#include "BridgeOptions.h"
#include "CBridgeLog.h"

class CStreamWriter;

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

    Step Handle(const kelmmd::SessionEvent& event);
    void Event(const std::string& name, const std::string& detail);
    std::string Counts(bool final) const;
    int Finish(Step step);

    const BridgeOptions m_options;
    CBridgeLog& m_log;
    // Filled on the library's network thread, emptied by the writer.
    kelmmd::CQuoteQueue m_buffer;
    std::unique_ptr<CStreamWriter> m_writer;
    std::set<std::string> m_refused;  // codes the server refused
};

#endif
