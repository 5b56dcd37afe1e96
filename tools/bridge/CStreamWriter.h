// The writer thread: takes quotes from the buffer and writes each as one
// entry of its instrument's stream, many XADDs per round trip, and writes the
// session events to the events stream. When Redis goes away or refuses writes
// for a while it reconnects with a growing pause, while the buffer keeps what
// it can; after a reconnect it asks Redis which of the quotes sent just
// before the loss it already has, so none is lost or written twice.
#ifndef KELM_TOOLS_BRIDGE_CSTREAMWRITER_H
#define KELM_TOOLS_BRIDGE_CSTREAMWRITER_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <kelmmd/CQuoteQueue.h>

#include "CBridgeLog.h"
#include "CBridgeMetrics.h"
#include "CRedisCommand.h"
#include "CRedisConnection.h"

struct StreamWriterSettings
{
    RedisAddress Address;
    std::string Prefix = "kelm:md:";
    uint64_t MaxLen = 0;                      // approximate length per stream; 0: no trimming
    std::chrono::milliseconds Timeout{2000};  // connection and reply wait
};

class CStreamWriter
{
public:
    using Clock = std::chrono::steady_clock;

    // The writer reports what it writes and how Redis answers to metrics.
    CStreamWriter(StreamWriterSettings settings, kelmmd::CQuoteQueue& buffer, CBridgeLog& log,
                  CBridgeMetrics& metrics);
    ~CStreamWriter();
    CStreamWriter(const CStreamWriter&) = delete;
    CStreamWriter& operator=(const CStreamWriter&) = delete;

    // Starts the thread with a first connection that the caller opened (so
    // that a refusal ends the program before anything else starts).
    void Start(std::unique_ptr<CRedisConnection> connection);
    // Any thread: one entry for the events stream.
    void PostEvent(const std::string& name, const std::string& detail);
    // Writes what is still buffered, giving up at the deadline, and ends
    // the thread.
    void Finish(Clock::time_point deadline);

    uint64_t Written() const { return m_written.load(std::memory_order_relaxed); }
    uint64_t Rejected() const { return m_rejected.load(std::memory_order_relaxed); }
    uint64_t RoundTrips() const { return m_roundTrips.load(std::memory_order_relaxed); }
    uint64_t EventsLost() const { return m_eventsLost.load(std::memory_order_relaxed); }
    bool Connected() const { return m_up.load(std::memory_order_relaxed); }
    // The number (QueuedQuote::Seq) of the oldest quote not yet written: the
    // front of the buffer, or the next quote to come when the buffer is
    // empty. Any thread; while quotes are released it may already name the
    // quote after them, never one before.
    uint64_t OldestSeq() const { return m_oldest.load(std::memory_order_relaxed); }

private:
    struct Event
    {
        std::string Time;
        std::string Name;
        std::string Detail;
    };

    void Run();
    bool Done();
    void Pause(std::chrono::milliseconds pause);
    bool Reconnect();
    std::size_t AlreadyWritten(CRedisConnection& connection) const;
    void WriteRound();
    void ReadReplies(std::size_t quotes);
    void Settle(bool linkLost);
    void Lost(const std::string& reason);
    void Reject(const std::string& reason);
    void Up(bool up);
    void Release(std::size_t count);

    const StreamWriterSettings m_settings;
    kelmmd::CQuoteQueue& m_ring;
    CBridgeLog& m_log;
    CBridgeMetrics& m_metrics;

    std::mutex m_mutex;  // guards the events and the stop request
    std::condition_variable m_changed;
    std::deque<Event> m_events;
    bool m_stopping = false;
    Clock::time_point m_deadline;

    // Writer thread only.
    std::unique_ptr<CRedisConnection> m_connection;
    CRedisCommand m_command;
    std::vector<Event> m_sentEvents;  // events of the round in progress
    std::size_t m_inFlight = 0;       // quotes at the front sent in the round in progress
    std::size_t m_completed = 0;      // of those, the leading ones whose reply came
    bool m_settled = true;            // no transient refusal among the replies so far
    Clock::time_point m_lostAt;
    uint64_t m_droppedAtLoss = 0;
    std::string m_lastFailure;
    std::string m_lastRejection;

    std::atomic<uint64_t> m_written{0};
    std::atomic<uint64_t> m_rejected{0};
    std::atomic<uint64_t> m_roundTrips{0};
    std::atomic<uint64_t> m_eventsLost{0};
    std::atomic<bool> m_up{false};
    std::atomic<uint64_t> m_oldest{1};
    std::thread m_thread;
};

#endif
