#include "CStreamWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <set>

#include "CQuoteStreamEntry.h"

namespace
{

// Quotes per round trip: large enough to amortise the round trip, small
// enough that the first replies come back while the buffer refills.
constexpr std::size_t QuotesPerRound = 1024;
constexpr std::size_t EventsPerRound = 64;
// Events waiting beyond this are counted as lost: quotes come first.
constexpr std::size_t EventsKept = 10000;
constexpr std::chrono::milliseconds IdleWait(200);
constexpr std::chrono::milliseconds FirstPause(100);
constexpr std::chrono::milliseconds LongestPause(2000);

std::string Seconds(std::chrono::steady_clock::duration elapsed)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", std::chrono::duration<double>(elapsed).count());
    return text;
}

}  // namespace

CStreamWriter::CStreamWriter(StreamWriterSettings settings, kelmmd::CQuoteQueue& buffer, CBridgeLog& log,
                             CBridgeMetrics& metrics)
    : m_settings(std::move(settings)), m_ring(buffer), m_log(log), m_metrics(metrics)
{
}

CStreamWriter::~CStreamWriter()
{
    if (m_thread.joinable())
        Finish(Clock::now());
}

void CStreamWriter::Start(std::unique_ptr<CRedisConnection> connection)
{
    m_connection = std::move(connection);
    Up(m_connection != nullptr);
    m_thread = std::thread([this] { Run(); });
}

void CStreamWriter::PostEvent(const std::string& name, const std::string& detail)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_events.size() >= EventsKept)
        {
            ++m_eventsLost;
            return;
        }
        m_events.push_back(Event{CBridgeLog::Now(true), name, detail});
    }
    m_ring.Interrupt();
}

void CStreamWriter::Finish(Clock::time_point deadline)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
        m_deadline = deadline;
    }
    m_changed.notify_all();
    m_ring.Interrupt();
    if (m_thread.joinable())
        m_thread.join();
}

bool CStreamWriter::Done()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_stopping)
        return false;
    return Clock::now() >= m_deadline || (m_events.empty() && m_ring.Size() == 0);
}

void CStreamWriter::Pause(std::chrono::milliseconds pause)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    Clock::time_point until = Clock::now() + pause;
    if (m_stopping)
        until = std::min(until, m_deadline);
    // A stop request ends the pause early so that the deadline is honoured.
    const bool wasStopping = m_stopping;
    m_changed.wait_until(lock, until, [&] { return m_stopping != wasStopping; });
}

void CStreamWriter::Run()
{
    std::chrono::milliseconds pause = FirstPause;
    while (!Done())
    {
        if (!m_connection)
        {
            if (Reconnect())
                pause = FirstPause;
            else
            {
                Pause(pause);
                pause = std::min(pause * 2, LongestPause);
            }
            continue;
        }
        try
        {
            WriteRound();
        }
        catch (const CRedisError& error)
        {
            Lost(error.what());
        }
    }
}

bool CStreamWriter::Reconnect()
{
    try
    {
        auto connection = std::make_unique<CRedisConnection>(m_settings.Address, m_settings.Timeout);
        if (m_inFlight > 0)
        {
            const std::size_t done = AlreadyWritten(*connection);
            Release(done);
            m_written += done;
            m_metrics.EntriesWritten(done);
            m_inFlight = 0;
        }
        m_connection = std::move(connection);
    }
    catch (const CRedisError& error)
    {
        if (error.what() != m_lastFailure)
            m_log.Line(std::string("Redis still unavailable: ") + error.what());
        m_lastFailure = error.what();
        return false;
    }
    Up(true);
    m_lastFailure.clear();
    const std::string detail = "after " + Seconds(Clock::now() - m_lostAt) + ", " +
                               std::to_string(m_ring.Dropped() - m_droppedAtLoss) + " quotes dropped meanwhile";
    m_log.Line("Redis back " + detail);
    PostEvent("redis-recovered", detail);
    return true;
}

// Redis runs pipelined commands in order, so what it took of the batch sent
// before the loss is a prefix of it: the longest prefix whose last quote is
// now the last entry of its stream.
std::size_t CStreamWriter::AlreadyWritten(CRedisConnection& connection) const
{
    std::set<std::string> keys;
    for (std::size_t i = 0; i < m_inFlight; ++i)
        keys.insert(CQuoteStreamEntry::Key(m_settings.Prefix, m_ring.At(i).Quote));
    std::size_t done = 0;
    for (const std::string& key : keys)
    {
        const RedisReply reply = connection.Run({"XREVRANGE", key, "+", "-", "COUNT", "1"});
        if (reply->type == REDIS_REPLY_ERROR)
            throw CRedisError(CRedisError::Kind::Connection,
                              "Redis cannot tell what it has yet: " + std::string(reply->str, reply->len));
        if (reply->type != REDIS_REPLY_ARRAY || reply->elements != 1 || reply->element[0]->elements != 2)
            continue;
        MarketDepthRecord last;
        uint64_t seq = 0;
        if (!CQuoteStreamEntry::Decode(*reply->element[0]->element[1], last, seq))
            continue;
        for (std::size_t i = done; i < m_inFlight; ++i)
        {
            const kelmmd::QueuedQuote& sent = m_ring.At(i);
            if (sent.Seq == seq && std::memcmp(&sent.Quote, &last, sizeof last) == 0)
                done = i + 1;
        }
    }
    return done;
}

void CStreamWriter::WriteRound()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        const std::size_t events = std::min(m_events.size(), EventsPerRound);
        m_sentEvents.assign(std::make_move_iterator(m_events.begin()),
                            std::make_move_iterator(m_events.begin() + static_cast<std::ptrdiff_t>(events)));
        m_events.erase(m_events.begin(), m_events.begin() + static_cast<std::ptrdiff_t>(events));
    }
    const std::size_t quotes =
        m_ring.Peek(QuotesPerRound, m_sentEvents.empty() ? IdleWait : std::chrono::milliseconds(0));
    if (quotes == 0 && m_sentEvents.empty())
        return;
    for (const Event& event : m_sentEvents)
    {
        CQuoteStreamEntry::BeginAdd(m_command, m_settings.Prefix, CQuoteStreamEntry::EventsStream, m_settings.MaxLen);
        m_command.Arg("time").Arg(event.Time).Arg("event").Arg(event.Name).Arg("detail").Arg(event.Detail);
        m_connection->Append(m_command);
    }
    const Clock::time_point sent = Clock::now();
    m_inFlight = quotes;
    m_completed = 0;
    m_settled = true;
    for (std::size_t i = 0; i < quotes; ++i)
    {
        const kelmmd::QueuedQuote& buffered = m_ring.At(i);
        CQuoteStreamEntry::BuildAdd(m_command, m_settings.Prefix, m_settings.MaxLen, buffered.Quote, buffered.Seq);
        m_connection->Append(m_command);
    }
    ++m_roundTrips;
    ReadReplies(quotes);
    m_metrics.RedisRoundTrip(Clock::now() - sent);
}

void CStreamWriter::ReadReplies(std::size_t quotes)
{
    std::string refusal;
    for (std::size_t i = 0; i < m_sentEvents.size(); ++i)
    {
        const RedisReply reply = m_connection->NextReply();
        if (IsTransientRedisError(*reply))
            refusal = std::string(reply->str, reply->len);
        else if (reply->type == REDIS_REPLY_ERROR)
            m_log.Line("event not written: " + std::string(reply->str, reply->len));
    }
    if (refusal.empty())
        m_sentEvents.clear();  // else sent again after the reconnect
    for (std::size_t i = 0; i < quotes; ++i)
    {
        const RedisReply reply = m_connection->NextReply();
        if (!m_settled)
            continue;
        if (reply->type != REDIS_REPLY_ERROR)
        {
            ++m_completed;
            ++m_written;
            m_metrics.EntriesWritten(1);
        }
        else if (IsTransientRedisError(*reply))
        {
            // Sent again from here on; a later quote of this round that
            // Redis took after all would then appear twice, never be lost.
            m_settled = false;
            refusal = std::string(reply->str, reply->len);
        }
        else
        {
            ++m_completed;
            Reject(std::string(reply->str, reply->len));
        }
    }
    Settle(false);
    if (!refusal.empty())
        throw CRedisError(CRedisError::Kind::Connection, "Redis refused writes: " + refusal);
}

// Releases the quotes whose replies came. After a lost link the rest of the
// round stays in flight, to be checked after the reconnect, unless a refusal
// came first (then all of it is sent again).
void CStreamWriter::Settle(bool linkLost)
{
    Release(m_completed);
    m_inFlight = linkLost && m_settled ? m_inFlight - m_completed : 0;
    m_completed = 0;
    m_settled = true;
}

void CStreamWriter::Lost(const std::string& reason)
{
    Settle(true);
    m_connection.reset();
    Up(false);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.insert(m_events.begin(), std::make_move_iterator(m_sentEvents.begin()),
                        std::make_move_iterator(m_sentEvents.end()));
    }
    m_sentEvents.clear();
    m_lostAt = Clock::now();
    m_droppedAtLoss = m_ring.Dropped();
    m_log.Line("Redis lost (" + reason + "); reconnecting, buffering up to " + std::to_string(m_ring.Capacity()) +
               " quotes");
    PostEvent("redis-lost", reason);
}

void CStreamWriter::Up(bool up)
{
    m_up = up;
    m_metrics.RedisUp(up);
}

// Says first which quote will be the oldest once these are released: the
// one after them, or, when they are all there is, the next to arrive (read
// before the size, so that a quote that comes in between counts as
// buffered).
void CStreamWriter::Release(std::size_t count)
{
    const uint64_t received = m_ring.Received();
    const std::size_t buffered = m_ring.Size();
    m_oldest.store(count < buffered ? m_ring.At(count).Seq : received + 1, std::memory_order_relaxed);
    m_ring.Release(count);
}

void CStreamWriter::Reject(const std::string& reason)
{
    ++m_rejected;
    m_metrics.EntriesRejected(1);
    if (reason == m_lastRejection)
        return;
    m_lastRejection = reason;
    m_log.Line("Redis rejected a quote: " + reason);
    PostEvent("rejected", reason);
}
