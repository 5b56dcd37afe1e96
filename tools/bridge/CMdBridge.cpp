#include "CMdBridge.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include <kelmmd/CMdSession.h>

#include "CStreamWriter.h"
#include "CToolMetrics.h"

namespace
{

constexpr std::chrono::milliseconds Tick(100);
// As many as the session keeps by default; the oldest go beyond.
constexpr std::size_t EventsKept = 10000;

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

std::size_t Distinct(const std::vector<std::string>& codes)
{
    return std::set<std::string>(codes.begin(), codes.end()).size();
}

}  // namespace

CMdBridge::CMdBridge(const BridgeOptions& options, CBridgeLog& log)
    : m_options(options),
      m_log(log),
      // Pages are taken as the buffer fills: most of a large one stays unused.
      m_buffer(std::max<std::size_t>(1, options.Buffer), kelmmd::CQuoteQueue::Memory::TouchedAsFilled),
      m_arrivals(m_buffer.Capacity()),
      m_events(EventsKept),
      m_bridgeMetrics(std::make_shared<CBridgeMetrics>())
{
}

CMdBridge::~CMdBridge() = default;

bool CMdBridge::ServeMetrics()
{
    if (m_options.Metrics.empty())
        return true;
    try
    {
        m_metrics = std::make_unique<CToolMetrics>(MetricsSettingsOf(m_options, KELM_RELEASE_VERSION));
    }
    catch (const std::exception& error)
    {
        m_log.Error(error.what());
        return false;
    }
    m_metrics->Add(m_bridgeMetrics);
    m_log.Line("serving " + m_metrics->Where());
    return true;
}

// The network thread: nothing here waits for another thread.
void CMdBridge::OnQuote(const MarketDepthRecord& quote)
{
    // The buffer numbers the quotes it is offered, and only this thread
    // offers them.
    m_arrivals.Stamp(m_buffer.Received() + 1);
    if (!m_buffer.Push(quote))
        m_bridgeMetrics->QuotesDropped(1);
    if (m_metrics)
        m_metrics->Quote(quote);
}

void CMdBridge::OnEvent(const kelmmd::SessionEvent& event)
{
    if (m_metrics)
        m_metrics->Event(event);
    m_events.Push(event);
}

int CMdBridge::Run(const std::atomic<bool>& stop)
{
    if (!ServeMetrics())
        return 2;
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
    m_writer = std::make_unique<CStreamWriter>(settings, m_buffer, m_log, *m_bridgeMetrics);
    m_writer->Start(std::move(redis));
    Event("started", "servers " + Join(m_options.Servers) + ", instruments " + Join(m_options.Instruments));

    kelmmd::SessionSettings session;
    session.Addresses = m_options.Servers;
    session.OnQuote = [this](const MarketDepthRecord& quote) { OnQuote(quote); };
    session.OnEvent = [this](const kelmmd::SessionEvent& event) { OnEvent(event); };
    kelmmd::CMdSession md(session);
    md.Subscribe(m_options.Instruments);
    md.LoginWhenConnected({m_options.User, m_options.Password, m_options.Broker});
    Step step = Step::Failed;
    {
        const CSampledSession sampled(m_metrics.get(), md);
        step = Follow(md, stop);
    }
    // No quote arrives once the session is closed.
    md.Close();
    return Finish(step);
}

CMdBridge::Step CMdBridge::Follow(kelmmd::CMdSession& md, const std::atomic<bool>& stop)
{
    try
    {
        md.Launch();
    }
    catch (const std::exception& error)
    {
        m_log.Error("cannot start the quote session: " + std::string(error.what()));
        return Step::Failed;
    }
    Step step = Step::Continue;
    auto nextStatus = std::chrono::steady_clock::now() + Milliseconds(m_options.StatusInterval);
    while (step == Step::Continue)
    {
        if (const std::optional<kelmmd::SessionEvent> event = m_events.Next(Tick))
            step = Handle(*event);
        if (step == Step::Continue && stop)
        {
            m_log.Line("stopping");
            step = Step::Done;
        }
        ReportBacklog();
        const auto now = std::chrono::steady_clock::now();
        if (m_options.StatusInterval > 0 && now >= nextStatus)
        {
            m_log.Line("status: " + Counts(false));
            nextStatus = now + Milliseconds(m_options.StatusInterval);
        }
    }
    return step;
}

// Here rather than on the writer's thread, which may wait for Redis for
// seconds while the quotes pile up.
void CMdBridge::ReportBacklog()
{
    const uint64_t oldest = m_writer->OldestSeq();
    const std::size_t buffered = m_buffer.Size();
    if (buffered > 0 && oldest <= m_buffer.Received())
        m_bridgeMetrics->Backlog(buffered, m_arrivals.Of(oldest));
    else
        m_bridgeMetrics->Backlog(0, {});
}

int CMdBridge::Finish(Step step)
{
    Event("stopped", Counts(false));
    m_writer->Finish(std::chrono::steady_clock::now() + Milliseconds(m_options.FlushTimeout));
    m_log.Line("summary: " + Counts(true));
    const bool complete = m_buffer.Dropped() == 0 && m_writer->Rejected() == 0 && m_buffer.Size() == 0;
    return step == Step::Done && complete ? 0 : 1;
}

CMdBridge::Step CMdBridge::Handle(const kelmmd::SessionEvent& event)
{
    const std::string answer = std::to_string(event.HasInfo ? event.RspNo : -1) + " " + event.RspDesc;
    switch (event.Type)
    {
    case kelmmd::SessionEvent::Kind::Connected:
        Event("connected", "");
        return Step::Continue;
    case kelmmd::SessionEvent::Kind::Disconnected:
        Event("disconnected", "reconnecting");
        return Step::Continue;
    case kelmmd::SessionEvent::Kind::Login:
        if (!event.Succeeded())
        {
            const std::string detail = "'" + m_options.User + "' refused: " + answer;
            Event("login-refused", detail);
            m_log.Error("login of " + detail);
            return Step::Failed;
        }
        Event("login", "'" + m_options.User + "' (trading day " + kelmmd::TextOf(event.Login.TradeDate) +
                           ", system '" + kelmmd::TextOf(event.Login.SysName) + "')");
        return Step::Continue;
    case kelmmd::SessionEvent::Kind::Subscribe:
        if (!event.Succeeded())
        {
            // The session does not ask for a refused code again.
            Event("subscribe-refused", event.Instrument + ": " + answer);
            m_refused.insert(event.Instrument);
            if (m_refused.size() == Distinct(m_options.Instruments))
            {
                m_log.Error("no instrument could be subscribed");
                return Step::Failed;
            }
            return Step::Continue;
        }
        Event("subscribed", event.Instrument);
        return Step::Continue;
    default:
        return Step::Continue;
    }
}

void CMdBridge::Event(const std::string& name, const std::string& detail)
{
    m_log.Line(detail.empty() ? name : name + " " + detail);
    m_writer->PostEvent(name, detail);
}

std::string CMdBridge::Counts(bool final) const
{
    char text[256];
    const unsigned long long in = m_buffer.Received(), written = m_writer->Written(), buffered = m_buffer.Size(),
                             dropped = m_buffer.Dropped(), rejected = m_writer->Rejected();
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
