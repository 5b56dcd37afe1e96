#include "CLibraryQuoteSource.h"

#include <dirent.h>
#include <netdb.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "CQuoteSimulator.h"
#include "CToolMetrics.h"
#include "CWatchCommandLine.h"
#include "CWatchLog.h"

namespace
{

std::string JoinServers(const std::vector<std::string>& servers)
{
    std::string text;
    for (const std::string& server : servers)
        text += (text.empty() ? "" : ", ") + server;
    return text;
}

// A numeric host in its canonical text ("::1" for "0:0::1"); other hosts
// (names) as they are. No name is looked up.
std::string NumericHost(const std::string& host)
{
    addrinfo hints{};
    hints.ai_flags = AI_NUMERICHOST;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0)
        return host;
    char text[NI_MAXHOST] = "";
    ::getnameinfo(found->ai_addr, found->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST);
    ::freeaddrinfo(found);
    return text;
}

// The remote ends of this process's connected sockets, numeric host and
// port. The library does not say which address it reached; its socket does.
std::vector<std::pair<std::string, std::string>> Peers()
{
    std::vector<std::pair<std::string, std::string>> peers;
    DIR* descriptors = ::opendir("/proc/self/fd");
    if (!descriptors)
        return peers;
    while (const dirent* entry = ::readdir(descriptors))
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (entry->d_name[0] == '.' ||
            ::getpeername(std::atoi(entry->d_name), reinterpret_cast<sockaddr*>(&address), &length) != 0)
            continue;
        char host[NI_MAXHOST] = "";
        char port[NI_MAXSERV] = "";
        if (::getnameinfo(reinterpret_cast<sockaddr*>(&address), length, host, sizeof host, port, sizeof port,
                          NI_NUMERICHOST | NI_NUMERICSERV) == 0)
            peers.emplace_back(host, port);
    }
    ::closedir(descriptors);
    return peers;
}

}  // namespace

CLibraryQuoteSource::CLibraryQuoteSource(const WatchOptions& options, CToolMetrics* metrics)
    : m_options(options), m_metrics(metrics)
{
}

CLibraryQuoteSource::~CLibraryQuoteSource()
{
    Stop();
}

std::string CLibraryQuoteSource::Name() const
{
    return m_options.Servers.empty() ? "the embedded simulator" : JoinServers(m_options.Servers);
}

bool CLibraryQuoteSource::StartEmbeddedServer()
{
    try
    {
        m_simulator = std::make_unique<CQuoteSimulator>(m_options.Embedded);
        m_simulator->Start();
    }
    catch (const std::exception& error)
    {
        m_log->Error(std::string("cannot start the embedded simulator: ") + error.what());
        return false;
    }
    m_options.Servers.push_back("tcp://" + m_simulator->Address());
    m_log->Event("started the embedded simulator on " + m_simulator->Address());
    return true;
}

bool CLibraryQuoteSource::Start(WatchEventQueue& queue, CWatchLog& log)
{
    m_log = &log;
    if (m_options.Servers.empty() && !StartEmbeddedServer())
        return false;
    kelmmd::SessionSettings settings;
    settings.Addresses = m_options.Servers;
    CToolMetrics* metrics = m_metrics;
    settings.OnQuote = [&queue, metrics](const MarketDepthRecord& quote) {
        if (metrics)
            metrics->Quote(quote);
        WatchEvent event;
        event.Type = WatchEvent::Kind::Quote;
        event.Quote = quote;
        queue.Push(std::move(event));
    };
    settings.OnEvent = [&queue, metrics](const kelmmd::SessionEvent& session) {
        if (metrics)
            metrics->Event(session);
        WatchEvent event;
        event.Session = session;
        queue.Push(std::move(event));
    };
    m_session = std::make_unique<kelmmd::CMdSession>(std::move(settings));
    m_sampled = std::make_unique<CSampledSession>(m_metrics, *m_session);
    if (m_options.History == HistoryKind::None)
    {
        m_session->Subscribe(m_options.Instruments);
        m_session->LoginWhenConnected({m_options.User, m_options.Password, m_options.Broker});
    }
    try
    {
        m_session->Launch();
    }
    catch (const std::exception& error)
    {
        // Launch resolves the first address at once and raises what the
        // resolver says.
        log.Error("cannot use " + m_options.Servers.front() + ": " + error.what());
        Stop();
        return false;
    }
    log.Event("connecting to " + JoinServers(m_options.Servers) +
              (m_options.Servers.size() > 1 ? "; the library tries them in turn, one second apart, until one answers"
                                            : "; the library tries again every second until it answers"));
    return true;
}

void CLibraryQuoteSource::React(WatchEvent& event)
{
    const kelmmd::SessionEvent& session = event.Session;
    if (event.Type != WatchEvent::Kind::Session)
        return;
    if (session.Type == kelmmd::SessionEvent::Kind::Connected)
        event.Detail = ConnectedServer();
    else if (session.Type == kelmmd::SessionEvent::Kind::Login && session.HasRecord)
        event.Detail = "trading day " + kelmmd::TextOf(session.Login.TradeDate) + ", system '" +
                       kelmmd::TextOf(session.Login.SysName) + "'";
}

void CLibraryQuoteSource::Stop()
{
    // Nothing reaches the queue once the session is closed.
    m_sampled.reset();
    m_session.reset();
}

std::string CLibraryQuoteSource::ConnectedServer() const
{
    const std::vector<std::string>& servers = m_options.Servers;
    if (servers.size() == 1)
        return servers.front();
    // A server whose port is the peer's, with the same numeric host, or the
    // only one with that port when hosts are names.
    for (const auto& peer : Peers())
    {
        std::vector<std::string> byPort;
        for (const std::string& server : servers)
        {
            std::string host;
            std::string port;
            if (!CWatchCommandLine::SplitServer(server, host, port) || port != peer.second)
                continue;
            if (NumericHost(host) == peer.first)
                return server;
            byPort.push_back(server);
        }
        if (byPort.size() == 1)
            return byPort.front();
    }
    return "one of " + JoinServers(servers);
}
