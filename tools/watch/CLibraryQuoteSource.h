// Quotes through the library's public API, like any application: one API
// object, the servers given (or a simulator of its own on a free loopback
// port), a login after every connection and the subscriptions after every
// login, since the library keeps no session.
#ifndef KELM_TOOLS_WATCH_CLIBRARYQUOTESOURCE_H
#define KELM_TOOLS_WATCH_CLIBRARYQUOTESOURCE_H

#include <memory>
#include <string>

#include <KelmRivoMdApi.h>
#include "tools/watch/CQuoteSource.h"
#include "tools/watch/CSessionRequests.h"
#include "tools/watch/WatchOptions.h"

class CQuoteSimulator;
class CWatchCallback;

class CLibraryQuoteSource : public CQuoteSource
{
public:
    explicit CLibraryQuoteSource(const WatchOptions& options);
    ~CLibraryQuoteSource() override;

    std::string Name() const override;
    bool Start(CWatchEventQueue& queue, CWatchLog& log) override;
    void React(WatchEvent& event) override;
    void Stop() override;

private:
    bool StartEmbeddedServer();
    void Login();
    void Subscribe();
    // The server the library reached, as given on the command line.
    std::string ConnectedServer() const;

    WatchOptions m_options;
    CWatchLog* m_log = nullptr;
    // Declared in the order they are needed: the API object goes first.
    std::unique_ptr<CQuoteSimulator> m_simulator;
    std::unique_ptr<CWatchCallback> m_callback;
    std::unique_ptr<CKelmRivoMdApi, ApiDisposer> m_api;
};

#endif
