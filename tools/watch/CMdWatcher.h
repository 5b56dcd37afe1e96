// The watcher's run: connects through the public API (to the servers given,
// or to a simulator of its own), logs in, subscribes and shows every quote
// until the count or the duration is reached or a stop event arrives.
#ifndef KELM_TOOLS_WATCH_CMDWATCHER_H
#define KELM_TOOLS_WATCH_CMDWATCHER_H

#include <fstream>
#include <memory>
#include <ostream>
#include <string>

#include "tools/watch/CWatchEventQueue.h"
#include "tools/watch/CWatchStats.h"
#include "tools/watch/WatchOptions.h"

class CQuoteLineWriter;
class CQuoteSimulator;

class CMdWatcher
{
public:
    CMdWatcher(const WatchOptions& options, std::ostream& out, std::ostream& log);
    ~CMdWatcher();

    // Runs until done; returns the exit status (0 done, 1 failure). Events
    // come from queue, which the caller may also feed (a Stop on a signal).
    int Run(CWatchEventQueue& queue);

private:
    enum class Step
    {
        Continue,
        Done,
        Failed
    };

    void Log(const std::string& text);
    bool StartEmbeddedServer();
    Step Handle(const WatchEvent& event, class CKelmRivoMdApi& api);
    Step OnQuote(const MarketDepthRecord& quote);
    void Subscribe(class CKelmRivoMdApi& api);
    void Login(class CKelmRivoMdApi& api);

    WatchOptions m_options;
    std::ostream& m_out;
    std::ostream& m_log;
    std::unique_ptr<CQuoteSimulator> m_simulator;
    std::unique_ptr<CQuoteLineWriter> m_writer;
    std::ofstream m_recordFile;
    std::unique_ptr<CQuoteLineWriter> m_recorder;
    CWatchStats m_stats;
    bool m_loggedIn = false;
    bool m_everLoggedIn = false;
    int m_subscribed = 0;
    int m_refused = 0;
};

#endif
