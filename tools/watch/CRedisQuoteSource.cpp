#include "CRedisQuoteSource.h"

#include <pthread.h>
#include <signal.h>

#include <chrono>
#include <string_view>

#include "CQuoteStreamEntry.h"
#include "CToolMetrics.h"
#include "CWatchLog.h"

namespace
{

constexpr std::size_t EntriesPerRead = 1000;
// How long a read waits for new entries, and so how soon a stop is seen.
constexpr const char* BlockMilliseconds = "200";
constexpr std::chrono::seconds ReplyTimeout(5);
constexpr std::chrono::milliseconds ReconnectPause(500);

std::string_view Text(const redisReply& reply)
{
    return std::string_view(reply.str, reply.len);
}

}  // namespace

CRedisQuoteSource::CRedisQuoteSource(const WatchOptions& options, CToolMetrics* metrics)
    : m_options(options), m_metrics(metrics)
{
    for (const std::string& code : options.Instruments)
        m_streams.push_back(options.Prefix + code);
    m_ids.assign(m_streams.size(), "0-0");
}

CRedisQuoteSource::~CRedisQuoteSource()
{
    Stop();
}

std::string CRedisQuoteSource::Name() const
{
    return m_options.Redis.Text();
}

bool CRedisQuoteSource::Start(WatchEventQueue& queue, CWatchLog& log)
{
    m_queue = &queue;
    std::promise<std::string> started;
    std::future<std::string> error = started.get_future();
    m_thread = std::thread([this, &started] { Run(started); });
    const std::string reason = error.get();
    if (!reason.empty())
    {
        m_thread.join();
        log.Error(reason);
        return false;
    }
    log.Event("following the streams " + m_options.Prefix + "<INSTRUMENT> on " + Name() +
              (m_options.FromStart ? " from their first entry" : " from their newest entry"));
    return true;
}

// Connects and notes where each stream ends: the id of its last entry rather
// than "$", so that nothing written between two reads is missed. A key that
// is no stream is reported now rather than on every read.
void CRedisQuoteSource::Open()
{
    m_connection = std::make_unique<CRedisConnection>(m_options.Redis, ReplyTimeout);
    for (std::size_t i = 0; i < m_streams.size(); ++i)
    {
        const RedisReply last = m_connection->Run({"XREVRANGE", m_streams[i], "+", "-", "COUNT", "1"});
        if (last->type == REDIS_REPLY_ERROR)
            throw CRedisError(CRedisError::Kind::Setup,
                              "Redis at " + Name() + " cannot read " + m_streams[i] + ": " + std::string(Text(*last)));
        if (!m_options.FromStart && last->type == REDIS_REPLY_ARRAY && last->elements == 1)
            m_ids[i] = std::string(Text(*last->element[0]->element[0]));
    }
}

void CRedisQuoteSource::Stop()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CRedisQuoteSource::Push(kelmmd::SessionEvent::Kind kind, const std::string& instrument, const std::string& detail)
{
    WatchEvent event;
    event.Session.Type = kind;
    event.Session.HasInfo = true;  // answers succeed: RspNo 0
    event.Session.Instrument = instrument;
    event.Detail = detail;
    if (m_metrics)
        m_metrics->Event(event.Session);
    m_queue->Push(std::move(event));
}

// What the watcher learns from a server after a connect.
void CRedisQuoteSource::Connect()
{
    using Kind = kelmmd::SessionEvent::Kind;
    Push(Kind::Connected, "", Name());
    Push(Kind::Login, "", "Redis streams " + m_options.Prefix + "<INSTRUMENT>");
    for (const std::string& code : m_options.Instruments)
        Push(Kind::Subscribe, code, "");
}

void CRedisQuoteSource::Run(std::promise<std::string>& started)
{
    // All Redis traffic is on this thread, where SIGPIPE is blocked: Redis
    // closing the link makes a write fail instead of ending the watcher,
    // while a closed standard output still ends it as it should.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    try
    {
        Open();
    }
    catch (const CRedisError& error)
    {
        m_connection.reset();
        started.set_value(error.what());
        return;
    }
    started.set_value(std::string());
    Connect();
    while (!m_stop)
    {
        try
        {
            if (!m_connection)
            {
                m_connection = std::make_unique<CRedisConnection>(m_options.Redis, ReplyTimeout);
                Connect();
            }
            ReadOnce();
        }
        catch (const CRedisError&)
        {
            if (m_connection)
                Push(kelmmd::SessionEvent::Kind::Disconnected, "", "");
            m_connection.reset();
            std::this_thread::sleep_for(ReconnectPause);
        }
    }
}

void CRedisQuoteSource::ReadOnce()
{
    CRedisCommand read{"XREAD", "COUNT", std::to_string(EntriesPerRead), "BLOCK", BlockMilliseconds, "STREAMS"};
    for (const std::string& stream : m_streams)
        read.Arg(stream);
    for (const std::string& id : m_ids)
        read.Arg(id);
    const RedisReply reply = m_connection->Run(read);
    if (reply->type == REDIS_REPLY_ERROR)
        throw CRedisError(CRedisError::Kind::Connection, std::string(Text(*reply)));
    std::optional<CQuoteStreamMerger::Key> limit;
    // No reply within the block time: no stream holds more than was read,
    // so whatever waits can go.
    for (std::size_t s = 0; reply->type == REDIS_REPLY_ARRAY && s < reply->elements; ++s)
    {
        const std::string_view stream = Text(*reply->element[s]->element[0]);
        const redisReply& entries = *reply->element[s]->element[1];
        std::size_t index = 0;
        while (index < m_streams.size() && m_streams[index] != stream)
            ++index;
        CQuoteStreamMerger::Key last;
        for (std::size_t i = 0; i < entries.elements && index < m_streams.size(); ++i)
        {
            const redisReply& entry = *entries.element[i];
            MarketDepthRecord quote;
            uint64_t seq = 0;
            m_ids[index] = std::string(Text(*entry.element[0]));
            last = CQuoteStreamMerger::KeyOf(m_ids[index], 0);
            if (!CQuoteStreamEntry::Decode(*entry.element[1], quote, seq))
                continue;  // not a quote of the bridge's
            last.Seq = seq;
            m_merger.Add(last, quote);
        }
        // This stream may hold more: later entries of other streams wait.
        if (entries.elements == EntriesPerRead && (!limit || last < *limit))
            limit = last;
    }
    m_ready.clear();
    m_merger.Take(limit, m_ready);
    for (const MarketDepthRecord& quote : m_ready)
    {
        WatchEvent event;
        event.Type = WatchEvent::Kind::Quote;
        event.Quote = quote;
        if (m_metrics)
            m_metrics->Quote(quote);
        m_queue->Push(std::move(event));
    }
}
