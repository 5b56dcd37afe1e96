// Quotes through the session layer, like any application: one session with
// the servers given (or a simulator of its own on a free loopback port),
// which logs in and subscribes after every connection by itself (with
// --history it does neither: the history run logs in and asks). Quotes and
// events reach the watcher's queue in the order the library delivered them.
#ifndef KELM_TOOLS_WATCH_CLIBRARYQUOTESOURCE_H
#define KELM_TOOLS_WATCH_CLIBRARYQUOTESOURCE_H

#include <memory>
#include <string>

#include <kelmmd/CMdSession.h>

#include "CQuoteSource.h"
#include "WatchOptions.h"

class CQuoteSimulator;
class CSampledSession;
class CToolMetrics;

class CLibraryQuoteSource : public CQuoteSource
{
public:
    // metrics: counts the session's quotes and events and samples its link
    // figures; may be null.
    CLibraryQuoteSource(const WatchOptions& options, CToolMetrics* metrics);
    ~CLibraryQuoteSource() override;

    std::string Name() const override;
    bool Start(WatchEventQueue& queue, CWatchLog& log) override;
    void React(WatchEvent& event) override;
    void Stop() override;
    kelmmd::CMdSession* Session() override { return m_session.get(); }

private:
    bool StartEmbeddedServer();
    // The server the library reached, as given on the command line.
    std::string ConnectedServer() const;

    WatchOptions m_options;
    CWatchLog* m_log = nullptr;
    CToolMetrics* const m_metrics;
    // Declared in the order they are needed: the session goes first.
    std::unique_ptr<CQuoteSimulator> m_simulator;
    std::unique_ptr<kelmmd::CMdSession> m_session;
    std::unique_ptr<CSampledSession> m_sampled;  // goes before the session
};

#endif
