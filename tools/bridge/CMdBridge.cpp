#include "tools/bridge/CMdBridge.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include <KelmRivoMdApi.h>
#include "tools/bridge/CBridgeCallback.h"
#include "tools/bridge/CQuoteRing.h"
#include "tools/bridge/CStreamWriter.h"
#include "tools/watch/CSessionRequests.h"

namespace
{

constexpr std::chrono::milliseconds Tick(100);

std::chrono::milliseconds Milliseconds(double seconds)
{
    return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

std::string Join(const std::vector<std::string>& texts)
{
    std::string joined;
    for (const std::string& text : texts)
        joined += (joined.empty() ? "" : " ") + text;
    return joined;
}

}  // namespace

CMdBridge::CMdBridge(const BridgeOptions& options, CBridgeLog& log) : m_options(options), m_log(log) {}

CMdBridge::~CMdBridge() = default;

int CMdBridge::Run(CWatchEventQueue& queue)
{
    std::unique_ptr<CRedisConnection> redis;
    try
    {
        redis = std::make_unique<CRedisConnection>(m_options.Redis, Milliseconds(m_options.RedisTimeout));
    }
    catch (const CRedisError& error)
    {
        m_log.Error(error.what());
        return 3;
    }
    m_log.Line("writing to Redis at " + m_options.Redis.Text() + ", streams " + m_options.Prefix + "<INSTRUMENT>");
    StreamWriterSettings settings;
    settings.Address = m_options.Redis;
    settings.Prefix = m_options.Prefix;
    settings.MaxLen = m_options.MaxLen;
    settings.Timeout = Milliseconds(m_options.RedisTimeout);
    m_ring = std::make_unique<CQuoteRing>(m_options.Buffer);
    m_writer = std::make_unique<CStreamWriter>(settings, *m_ring, m_log);
    m_writer->Start(std::move(redis));
    Event("started", "servers " + Join(m_options.Servers) + ", instruments " + Join(m_options.Instruments));

    CBridgeCallback callback(queue, *m_ring);
    std::unique_ptr<CKelmRivoMdApi, ApiDisposer> api(CKelmRivoMdApi::CreateRivoMdApi());
    api->SetCallbackObject(&callback);
    for (const std::string& server : m_options.Servers)
        api->AddServerUrl(server.c_str());
    Step step = Step::Continue;
    try
    {
        api->Launch();
    }
    catch (const std::exception& error)
    {
        m_log.Error("cannot start the quote session: " + std::string(error.what()));
        step = Step::Failed;
    }

    auto nextStatus = std::chrono::steady_clock::now() + Milliseconds(m_options.StatusInterval);
    while (step == Step::Continue)
    {
        if (const std::optional<WatchEvent> event = queue.Pop(Tick))
            step = Handle(*event, *api);
        const auto now = std::chrono::steady_clock::now();
        if (m_options.StatusInterval > 0 && now >= nextStatus)
        {
            m_log.Line("status: " + Counts(false));
            nextStatus = now + Milliseconds(m_options.StatusInterval);
        }
    }
    // No quote arrives once Dispose has returned.
    api.reset();
    return Finish(step);
}

int CMdBridge::Finish(Step step)
{
    Event("stopped", Counts(false));
    m_writer->Finish(std::chrono::steady_clock::now() + Milliseconds(m_options.FlushTimeout));
    m_log.Line("summary: " + Counts(true));
    const bool complete = m_ring->Dropped() == 0 && m_writer->Rejected() == 0 && m_ring->Size() == 0;
    return step == Step::Done && complete ? 0 : 1;
}

CMdBridge::Step CMdBridge::Handle(const WatchEvent& event, CKelmRivoMdApi& api)
{
    switch (event.Type)
    {
    case WatchEvent::Kind::Connected:
        Event("connected", "");
        Login(api);
        return Step::Continue;
    case WatchEvent::Kind::Disconnected:
        Event("disconnected", "reconnecting");
        return Step::Continue;
    case WatchEvent::Kind::LoginResult:
        if (event.RspNo != 0)
        {
            const std::string detail = "'" + m_options.User + "' refused: " + std::to_string(event.RspNo) + " " + event.Text;
            Event("login-refused", detail);
            m_log.Error("login of " + detail);
            return Step::Failed;
        }
        Event("login", "'" + m_options.User + "' (" + event.Detail + ")");
        Subscribe(api);
        return Step::Continue;
    case WatchEvent::Kind::SubscribeResult:
        if (event.RspNo != 0)
        {
            Event("subscribe-refused", event.Detail + ": " + std::to_string(event.RspNo) + " " + event.Text);
            if (++m_refused == static_cast<int>(m_options.Instruments.size()))
            {
                m_log.Error("no instrument could be subscribed");
                return Step::Failed;
            }
            return Step::Continue;
        }
        Event("subscribed", event.Detail);
        return Step::Continue;
    case WatchEvent::Kind::Quote:
        return Step::Continue;  // quotes go straight to the buffer
    case WatchEvent::Kind::Stop:
        m_log.Line("stopping");
        return Step::Done;
    }
    return Step::Continue;
}

void CMdBridge::Event(const std::string& name, const std::string& detail)
{
    m_log.Line(detail.empty() ? name : name + " " + detail);
    m_writer->PostEvent(name, detail);
}

void CMdBridge::Login(CKelmRivoMdApi& api)
{
    if (CSessionRequests::Login(api, m_options.User, m_options.Password, m_options.Broker) != 0)
        m_log.Line("login request not sent (connection lost)");
}

void CMdBridge::Subscribe(CKelmRivoMdApi& api)
{
    // The server forgets subscriptions with the connection.
    m_refused = 0;
    CSessionRequests::Subscribe(api, m_options.Instruments);
}

std::string CMdBridge::Counts(bool final) const
{
    char text[256];
    const unsigned long long in = m_ring->Received(), written = m_writer->Written(), buffered = m_ring->Size(),
                             dropped = m_ring->Dropped(), rejected = m_writer->Rejected();
    if (final)
        std::snprintf(text, sizeof text, "quotes in %llu, written %llu, dropped %llu, rejected %llu, unwritten %llu",
                      in, written, dropped, rejected, buffered);
    else
        std::snprintf(text, sizeof text,
                      "quotes in %llu, written %llu, buffered %llu, dropped %llu, rejected %llu, round trips %llu, "
                      "redis %s",
                      in, written, buffered, dropped, rejected,
                      static_cast<unsigned long long>(m_writer->RoundTrips()), m_writer->Connected() ? "up" : "down");
    return text;
}
