// kelm-md-bridge as a real process between kelm-quote-sim and a real
// redis-server, the streams read back with hiredis.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "bridge/BridgeTestSupport.h"
#include "bridge/RedisServer.h"

using namespace bridgetest;

namespace
{

const std::string Prefix = "kelm:md:";

// A file of this process alone (the tests run in parallel, also with other
// checkouts' on the same machine), removed at the end of the test.
class ScratchFile
{
public:
    explicit ScratchFile(const std::string& name)
        : m_path(::testing::TempDir() + "bridge-" + std::to_string(::getpid()) + "-" + name)
    {
    }
    ~ScratchFile() { std::remove(m_path.c_str()); }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    operator const std::string&() const { return m_path; }

private:
    std::string m_path;
};

std::vector<std::string> Streams(const std::vector<std::string>& instruments)
{
    std::vector<std::string> streams;
    for (const std::string& code : instruments)
        streams.push_back(Prefix + code);
    return streams;
}

std::vector<std::string> BridgeArgs(const std::string& server, const std::string& redis,
                                    const std::vector<std::string>& more)
{
    std::vector<std::string> args = {"--server", server, "--user", "bridge", "--redis", redis};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::vector<std::string> EventNames(CRedisConnection& redis)
{
    std::vector<std::string> names;
    const RedisReply reply = redis.Run({"XRANGE", Prefix + "events", "-", "+"});
    for (std::size_t i = 0; reply->type == REDIS_REPLY_ARRAY && i < reply->elements; ++i)
        names.push_back(Text(CQuoteStreamEntry::Field(*reply->element[i]->element[1], "event")));
    return names;
}

std::map<std::string, std::vector<std::string>> IdsByStream(const std::vector<Entry>& entries)
{
    std::map<std::string, std::vector<std::string>> ids;
    for (const Entry& entry : entries)
        ids[entry.Stream].push_back(entry.Id);
    return ids;
}

// Along every stream the bridge's numbers grow: the order of arrival.
void ExpectSeqGrowsAlongEachStream(const std::vector<Entry>& entries)
{
    std::map<std::string, uint64_t> last;
    for (const Entry& entry : entries)
    {
        EXPECT_GT(entry.Seq, last[entry.Stream]) << entry.Stream << " " << entry.Id;
        last[entry.Stream] = entry.Seq;
    }
}

// The next status line for which done holds, or empty.
template <typename Done>
std::string WaitForStatus(LoggedProcess& bridge, Done done)
{
    const auto deadline = std::chrono::steady_clock::now() + seconds(60);
    while (std::chrono::steady_clock::now() < deadline)
    {
        const std::string line = bridge.WaitFor("status:");
        if (line.empty() || done(line))
            return line;
    }
    return std::string();
}

}  // namespace

TEST(BridgeProcess, EveryQuoteArrivesInOrderAsDeliveredAndEveryConsumerReadsTheSame)
{
    RedisServer redis;
    ASSERT_TRUE(redis.Running());
    RedisServer::Settings follower;
    follower.ReplicaOf = redis.Port();
    RedisServer replica(follower);
    ASSERT_TRUE(replica.Running());
    const std::vector<std::string> instruments = {"ag2406", "cu2407", "au2406"};
    const std::vector<std::string> streams = Streams(instruments);
    constexpr std::size_t N = 3000;
    const ScratchFile recording("order.csv");
    WriteRecording(recording, instruments, static_cast<int>(N));
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--replay", recording, "--speed", "0"});
    const std::string server = "tcp://" + sim.ReadLine();

    // Two consumers follow the streams while the bridge writes them, one on
    // the server, one on its replica.
    std::vector<Entry> first, second;
    std::thread followFirst([&] { first = Follow(*redis.Connect(), streams, N); });
    std::thread followSecond([&] { second = Follow(*replica.Connect(), streams, N); });
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH, BridgeArgs(server, redis.Url(), {"--maxlen", "0", "ag2406", "cu2407",
                                                                               "au2406"}));
    DirectClient direct(server, instruments);
    const std::vector<MarketDepthRecord> delivered = direct.WaitQuotes(N);
    followFirst.join();
    followSecond.join();
    ASSERT_EQ(N, delivered.size());
    EXPECT_EQ(0, bridge.Stop()) << bridge.Log();
    EXPECT_NE(std::string::npos,
              bridge.Log().find("summary: quotes in 3000, written 3000, dropped 0, rejected 0, unwritten 0"))
        << bridge.Log();

    // Quote number i is the i-th the library delivered, byte for byte.
    ASSERT_EQ(N, first.size());
    std::vector<const Entry*> bySeq(N + 1, nullptr);
    for (const Entry& entry : first)
    {
        ASSERT_TRUE(entry.Decoded) << entry.Stream << " " << entry.Id;
        ASSERT_TRUE(entry.Seq >= 1 && entry.Seq <= N) << entry.Seq;
        ASSERT_EQ(nullptr, bySeq[entry.Seq]) << "seq " << entry.Seq << " twice";
        bySeq[entry.Seq] = &entry;
    }
    for (std::size_t seq = 1; seq <= N; ++seq)
    {
        const MarketDepthRecord& quote = delivered[seq - 1];
        const Entry& entry = *bySeq[seq];
        ASSERT_EQ(0, std::memcmp(&quote, &entry.Record, sizeof quote)) << "seq " << seq;
        EXPECT_EQ(Prefix + quote.InstrumentID, entry.Stream);
        EXPECT_EQ(quote.ModifyTime, entry.Time);
        EXPECT_EQ(quote.Price, std::stod(entry.Price));
    }
    ExpectSeqGrowsAlongEachStream(first);

    // The consumer on the replica read the same entries; one that comes late
    // reads them from the history.
    EXPECT_EQ(IdsByStream(first), IdsByStream(second));
    const std::unique_ptr<CRedisConnection> late = redis.Connect();
    std::vector<Entry> history;
    for (const std::string& stream : streams)
    {
        const std::vector<Entry> entries = ReadStream(*late, stream);
        history.insert(history.end(), entries.begin(), entries.end());
    }
    EXPECT_EQ(IdsByStream(first), IdsByStream(history));

    const std::vector<std::string> events = EventNames(*late);
    for (const char* name : {"started", "connected", "login", "stopped"})
        EXPECT_EQ(1, std::count(events.begin(), events.end(), name)) << name;
    EXPECT_EQ(3, std::count(events.begin(), events.end(), "subscribed"));
}

// MAXLEN ~ trims whole nodes of a stream (at most 100 entries each by
// Redis's default), so a stream keeps at least N entries and fewer than N
// plus one node: the newest.
TEST(BridgeProcess, MaxlenBoundsEveryStream)
{
    RedisServer redis;
    ASSERT_TRUE(redis.Running());
    constexpr int N = 3000;
    constexpr std::size_t MaxLen = 500;
    const ScratchFile recording("maxlen.csv");
    WriteRecording(recording, {"ag2406", "cu2407"}, N);
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--replay", recording, "--speed", "0"});
    const std::string server = "tcp://" + sim.ReadLine();
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH, BridgeArgs(server, redis.Url(), {"--maxlen", std::to_string(MaxLen),
                                                                               "--status-interval", "0.1", "ag2406",
                                                                               "cu2407"}));
    EXPECT_NE("", WaitForStatus(bridge, [](const std::string& line) { return Count(line, "written") == N; }))
        << bridge.Log();
    EXPECT_EQ(0, bridge.Stop()) << bridge.Log();
    const std::unique_ptr<CRedisConnection> reader = redis.Connect();
    for (const std::string& stream : Streams({"ag2406", "cu2407"}))
    {
        const std::vector<Entry> kept = ReadStream(*reader, stream);
        ASSERT_GE(kept.size(), MaxLen) << stream;
        EXPECT_LT(kept.size(), MaxLen + 100) << stream;
        EXPECT_GE(kept.back().Seq, static_cast<uint64_t>(N - 1)) << stream;
    }
}

// The watcher on Redis reads the whole history at once, 1000 entries per
// stream and read; ag2406 has twice as many quotes as the others, so its
// later quotes come in a later read than those of the other streams that
// follow them.
TEST(BridgeProcess, AWatcherOnRedisRecordsWhatAWatcherOnTheServerRecords)
{
    RedisServer redis;
    ASSERT_TRUE(redis.Running());
    const std::vector<std::string> instruments = {"ag2406", "cu2407", "au2406"};
    const ScratchFile recording("watch.csv");
    const ScratchFile direct("watch-direct.csv");
    const ScratchFile fanned("watch-redis.csv");
    constexpr int N = 3500;
    WriteRecording(recording, {"ag2406", "ag2406", "cu2407", "au2406"}, N);
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--replay", recording, "--speed", "0"});
    const std::string server = "tcp://" + sim.ReadLine();
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH, BridgeArgs(server, redis.Url(), {"--status-interval", "0.1", "ag2406",
                                                                               "cu2407", "au2406"}));
    const std::vector<std::string> common = {"--count", std::to_string(N), "--format", "csv", "ag2406", "cu2407",
                                             "au2406"};
    auto watch = [&](std::vector<std::string> args, const std::string& file) {
        args.insert(args.end(), {"--record", file});
        args.insert(args.end(), common.begin(), common.end());
        LoggedProcess watcher(KELM_MD_WATCH_PATH, args);
        EXPECT_EQ(0, watcher.Wait()) << watcher.Log();
        std::ifstream in(file);
        return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    };
    const std::string fromServer = watch({"--server", server}, direct);
    EXPECT_EQ(N + 1, std::count(fromServer.begin(), fromServer.end(), '\n'));
    EXPECT_NE("", WaitForStatus(bridge, [](const std::string& line) { return Count(line, "written") == N; }));

    const std::string fromRedis =
        watch({"--redis", redis.Url(), "--from-start"}, fanned);
    EXPECT_TRUE(fromServer == fromRedis) << "the recordings differ";
    EXPECT_EQ(0, bridge.Stop()) << bridge.Log();
}

namespace
{

constexpr std::size_t OutageQuotes = 1500;

struct OutageRun
{
    int Status = -1;
    std::string Log;
    std::string Summary;
    std::vector<Entry> Entries;
    std::vector<std::string> Events;
};

std::size_t Length(RedisServer& redis, const std::vector<std::string>& streams)
{
    std::size_t total = 0;
    const std::unique_ptr<CRedisConnection> connection = redis.Connect();
    for (const std::string& stream : streams)
        total += static_cast<std::size_t>(connection->Run({"XLEN", stream})->integer);
    return total;
}

void WaitForLength(RedisServer& redis, const std::vector<std::string>& streams, std::size_t length)
{
    const auto deadline = std::chrono::steady_clock::now() + seconds(60);
    while (Length(redis, streams) < length && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

// A replay of OutageQuotes quotes at 250 a second; Redis is killed once the
// first hundred are in, and restarted once the bridge has noticed (and, with
// waitForDrops, once it has dropped quotes). With stallFirst, Redis first
// stops answering for a while: the bridge gives the link up after its
// --redis-timeout with a round of writes unanswered, and Redis, running
// again, takes that round from its socket after all; the bridge, back,
// must count it as written and not write it again.
OutageRun RunWithRedisOutage(const std::string& buffer, bool waitForDrops, bool stallFirst = false)
{
    OutageRun run;
    RedisServer::Settings persistent;
    persistent.Persistent = true;
    RedisServer redis(persistent);
    EXPECT_TRUE(redis.Running());
    const std::vector<std::string> instruments = {"rb2410", "IF2406"};
    const std::vector<std::string> streams = Streams(instruments);
    const ScratchFile recording("outage.csv");
    WriteRecording(recording, instruments, static_cast<int>(OutageQuotes));
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--replay", recording, "--speed", "250"});
    const std::string server = "tcp://" + sim.ReadLine();
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH,
                         BridgeArgs(server, redis.Url(),
                                    {"--maxlen", "0", "--buffer", buffer, "--status-interval", "0.1",
                                     "--redis-timeout", "1", "rb2410", "IF2406"}));
    WaitForLength(redis, streams, 100);
    if (stallFirst)
    {
        redis.Pause();
        EXPECT_NE("", bridge.WaitFor("Redis lost")) << bridge.Log();
        redis.Resume();
        EXPECT_NE("", bridge.WaitFor("Redis back")) << bridge.Log();
        WaitForLength(redis, streams, Length(redis, streams) + 100);
    }

    redis.Kill();
    EXPECT_NE("", bridge.WaitFor("Redis lost")) << bridge.Log();
    if (waitForDrops)
    {
        EXPECT_NE("", WaitForStatus(bridge, [](const std::string& line) { return Count(line, "dropped") > 0; }));
    }
    EXPECT_TRUE(redis.Restart());
    EXPECT_NE("", bridge.WaitFor("Redis back")) << bridge.Log();
    // Every quote has reached the bridge and left its buffer.
    EXPECT_NE("", WaitForStatus(bridge, [](const std::string& line) {
                  return Count(line, "quotes in") == static_cast<long long>(OutageQuotes) &&
                         Count(line, "buffered") == 0;
              })) << bridge.Log();
    run.Status = bridge.Stop();
    run.Log = bridge.Log();
    const auto at = run.Log.find("summary: ");
    run.Summary = at == std::string::npos ? "" : run.Log.substr(at, run.Log.find('\n', at) - at);
    const std::unique_ptr<CRedisConnection> reader = redis.Connect();
    for (const std::string& stream : streams)
    {
        const std::vector<Entry> entries = ReadStream(*reader, stream);
        run.Entries.insert(run.Entries.end(), entries.begin(), entries.end());
    }
    run.Events = EventNames(*reader);
    return run;
}

std::set<uint64_t> Seqs(const std::vector<Entry>& entries)
{
    std::set<uint64_t> seqs;
    for (const Entry& entry : entries)
        EXPECT_TRUE(seqs.insert(entry.Seq).second) << "seq " << entry.Seq << " written twice";
    return seqs;
}

}  // namespace

TEST(BridgeProcess, RedisStalledThenKilledAndRestartedWritesEveryQuoteExactlyOnceWithALargeBuffer)
{
    const OutageRun run = RunWithRedisOutage("100000", false, true);
    EXPECT_EQ(0, run.Status) << run.Log;
    EXPECT_EQ("summary: quotes in 1500, written 1500, dropped 0, rejected 0, unwritten 0", run.Summary) << run.Log;
    ASSERT_EQ(OutageQuotes, run.Entries.size()) << run.Log;
    const std::set<uint64_t> seqs = Seqs(run.Entries);
    EXPECT_EQ(1u, *seqs.begin());
    EXPECT_EQ(OutageQuotes, *seqs.rbegin());
    ExpectSeqGrowsAlongEachStream(run.Entries);
    EXPECT_EQ(2, std::count(run.Events.begin(), run.Events.end(), "redis-lost"));
    EXPECT_EQ(2, std::count(run.Events.begin(), run.Events.end(), "redis-recovered"));
}

TEST(BridgeProcess, WhatASmallBufferCannotHoldIsCountedAsDropped)
{
    const OutageRun run = RunWithRedisOutage("20", true);
    EXPECT_EQ(1, run.Status) << run.Log;
    const long long written = Count(run.Summary, "written");
    const long long dropped = Count(run.Summary, "dropped");
    EXPECT_GT(dropped, 0) << run.Log;
    EXPECT_EQ(static_cast<long long>(OutageQuotes), written + dropped) << run.Summary;
    EXPECT_EQ(0, Count(run.Summary, "unwritten"));
    // Every gap in the numbers is a dropped quote, and nothing else is missing.
    EXPECT_EQ(written, static_cast<long long>(run.Entries.size()));
    const std::set<uint64_t> seqs = Seqs(run.Entries);
    EXPECT_EQ(OutageQuotes - seqs.size(), static_cast<std::size_t>(dropped));
    ExpectSeqGrowsAlongEachStream(run.Entries);
}

TEST(BridgeProcess, BadArgumentsAndRefusedRedisGiveOneLineAndTheDocumentedStatus)
{
    const std::string server = "tcp://127.0.0.1:1";
    auto run = [](const std::vector<std::string>& args, std::string& log) {
        LoggedProcess bridge(KELM_MD_BRIDGE_PATH, args);
        const int status = bridge.Wait();
        log = bridge.Log();
        return status;
    };
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--server", server, "--user", "u", "a1"},
             {"--server", server, "--user", "u", "--redis", "127.0.0.1:6379", "a1"},
             {"--server", server, "--user", "u", "--redis", "redis://", "a1"},
             {"--server", server, "--user", "u", "--redis", "redis://h:0", "a1"},
             {"--server", server, "--user", "u", "--redis", "redis://h:6379/x", "a1"},
             {"--server", "127.0.0.1:1", "--user", "u", "--redis", "redis://h", "a1"},
             {"--user", "u", "--redis", "redis://h", "a1"},
             {"--server", server, "--user", "u", "--redis", "redis://h"},
             {"--server", server, "--user", "u", "--redis", "redis://h", "events"},
             {"--server", server, "--user", "u", "--redis", "redis://h", "--buffer", "0", "a1"},
             {"--server", server, "--user", "u", "--redis", "redis://h", "--instruments-file", "/nonexistent", "a1"}})
    {
        std::string log;
        EXPECT_EQ(2, run(args, log)) << log;
        EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n')) << log;
        EXPECT_EQ(0u, log.find("kelm-md-bridge: ")) << log;
    }

    std::string log;
    EXPECT_EQ(3, run({"--server", server, "--user", "u", "--redis", "redis://127.0.0.1:1", "a1"}, log));
    EXPECT_EQ("kelm-md-bridge: cannot connect to Redis at redis://127.0.0.1:1/0: Connection refused\n", log);

    RedisServer::Settings guarded;
    guarded.Password = "s3cret";
    RedisServer redis(guarded);
    ASSERT_TRUE(redis.Running());
    EXPECT_EQ(3, run({"--server", server, "--user", "u", "--redis", redis.Url(), "--redis-password", "wrong", "a1"},
                     log));
    EXPECT_EQ(0u, log.find("kelm-md-bridge: Redis at " + redis.Url() + "/0 refused the authentication: WRONGPASS"))
        << log;
    EXPECT_EQ(1, std::count(log.begin(), log.end(), '\n')) << log;
    EXPECT_EQ(3, run({"--server", server, "--user", "u", "--redis", redis.Url(), "a1"}, log));
    EXPECT_EQ(0u, log.find("kelm-md-bridge: Redis at " + redis.Url() + "/0 refused the connection: NOAUTH")) << log;

    // The right password in the address: the bridge runs until stopped.
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH,
                         {"--server", server, "--user", "u", "--redis",
                          "redis://:s3cret@127.0.0.1:" + std::to_string(redis.Port()), "a1"});
    EXPECT_NE("", bridge.WaitFor("writing to Redis")) << bridge.Log();
    EXPECT_EQ(0, bridge.Stop()) << bridge.Log();
}
