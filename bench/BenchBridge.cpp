// Quotes bridged from the end-to-end pusher through kelm-md-bridge (a real
// process, the shared library inside) into a real redis-server on loopback:
//   Throughput: the pusher sends --quotes quotes as fast as the socket takes
//     them; quotes/s from the first send until all of them are entries of
//     the stream (XLEN), with the bridge's pipelining.
//   Sustained: the pusher sends --sustain quotes/s for --seconds seconds, in
//     a burst every millisecond (one write) and a sleep between; the rate at
//     which the entries arrived in the stream, and how long after the last
//     send the last of them was there (near zero when the bridge keeps up).
//   Latency: the same bursts at each of --rates quotes/s, every quote stamped
//     with its burst's write time in Amount. A consumer following the stream
//     with XREAD BLOCK takes, for every entry, the time from its stamp to the
//     reply that brought it. This spans the library's own delivery too
//     (microseconds, see bench_end_to_end).
// Bursts, not a pusher spinning between quotes or writing each alone, which
// would take much of one of the machine's two cores from the bridge and
// Redis. The first half second at a rate warms the path up and is not
// counted. Every measurement runs --runs times, interleaved, each against a
// fresh bridge; the table gives the median, the smallest and the largest.
//
//   bench_bridge [--quotes=N] [--sustain=R] [--rates=R1,R2,...] [--seconds=S] [--runs=K] [--out=FILE]
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "CPusher.h"
#include "LatencySummary.h"
#include "QuoteSample.h"
#include "bridge/RedisServer.h"
#include "tools/redis/CQuoteStreamEntry.h"

namespace
{

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

const std::string Instrument = "cu2405";  // the sample quote's instrument

struct Settings
{
    uint64_t Quotes = 300000;
    double Sustain = 100000;
    std::vector<double> Rates = {20000};
    double Seconds = 5;
    int Runs = 5;
    std::string Out;
};

std::string Value(const std::string& arg, const std::string& name)
{
    const std::string prefix = name + "=";
    return arg.compare(0, prefix.size(), prefix) == 0 ? arg.substr(prefix.size()) : std::string();
}

Settings Parse(int argc, char** argv)
{
    Settings settings;
    for (int i = 1; i < argc; ++i)
    {
        const std::string arg = argv[i];
        std::string v;
        if (!(v = Value(arg, "--quotes")).empty())
            settings.Quotes = std::strtoull(v.c_str(), nullptr, 10);
        else if (!(v = Value(arg, "--sustain")).empty())
            settings.Sustain = std::strtod(v.c_str(), nullptr);
        else if (!(v = Value(arg, "--seconds")).empty())
            settings.Seconds = std::strtod(v.c_str(), nullptr);
        else if (!(v = Value(arg, "--runs")).empty())
            settings.Runs = std::atoi(v.c_str());
        else if (!(v = Value(arg, "--out")).empty())
            settings.Out = v;
        else if (!(v = Value(arg, "--rates")).empty())
        {
            settings.Rates.clear();
            std::istringstream list(v);
            for (std::string rate; std::getline(list, rate, ',');)
                settings.Rates.push_back(std::strtod(rate.c_str(), nullptr));
        }
        else
            throw std::invalid_argument("unknown argument " + arg);
    }
    if (settings.Quotes == 0 || settings.Sustain <= 0 || settings.Seconds <= 0 || settings.Runs < 1 ||
        settings.Rates.empty() ||
        *std::min_element(settings.Rates.begin(), settings.Rates.end()) <= 0)
        throw std::invalid_argument("--quotes, --sustain, --seconds, --runs and --rates must be positive");
    return settings;
}

std::string LoadAverage()
{
    std::ifstream in("/proc/loadavg");
    std::string one, five, fifteen;
    in >> one >> five >> fifteen;
    return one + " " + five + " " + fifteen;
}

// One bridge between a fresh pusher and the Redis server, writing to a
// stream of its own.
class BridgeRun
{
public:
    BridgeRun(const bridgetest::RedisServer& redis, const std::string& prefix, uint64_t buffer)
        : m_frame(QuoteSample::Frame()),
          m_pusher(m_frame, QuoteSample::StampOffset(m_frame)),
          m_bridge(KELM_MD_BRIDGE_PATH,
                   {"--server", "tcp://127.0.0.1:" + std::to_string(m_pusher.Port()), "--user", "bench", "--redis",
                    redis.Url(), "--prefix", prefix, "--maxlen", "0", "--buffer", std::to_string(buffer),
                    "--status-interval", "0", Instrument},
                   true)
    {
        if (!m_pusher.Accept(std::chrono::seconds(20)))
            throw std::runtime_error("the bridge did not connect to the pusher");
    }

    CPusher& Pusher() { return m_pusher; }

    // Stops the bridge; its summary line.
    std::string Stop()
    {
        m_bridge.Signal(SIGTERM);
        const std::string log = m_bridge.ReadAll();
        m_bridge.Wait(std::chrono::seconds(30));
        const auto at = log.find("summary: ");
        return at == std::string::npos ? log : log.substr(at, log.find('\n', at) - at);
    }

private:
    std::vector<uint8_t> m_frame;
    CPusher m_pusher;
    simtest::Process m_bridge;
};

void CheckSummary(const std::string& summary, uint64_t quotes)
{
    const std::string expected = "summary: quotes in " + std::to_string(quotes) + ", written " + std::to_string(quotes) +
                                 ", dropped 0, rejected 0, unwritten 0";
    if (summary != expected)
        throw std::runtime_error("the bridge lost quotes: " + summary);
}

// count quotes at rate, rate / 1000 of them in one write every millisecond.
void SendInBursts(CPusher& pusher, uint64_t count, double rate)
{
    const uint64_t perBurst = std::max<uint64_t>(1, uint64_t(rate / 1000));
    const Clock::time_point start = Clock::now();
    for (uint64_t sent = 0, burst = 0; sent < count; sent += perBurst, ++burst)
    {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(burst));
        pusher.Burst(std::min(perBurst, count - sent));
    }
}

double Throughput(bridgetest::RedisServer& redis, const Settings& settings, int run)
{
    const std::string prefix = "bench:t" + std::to_string(run) + ":";
    BridgeRun bridge(redis, prefix, settings.Quotes);
    const std::unique_ptr<CRedisConnection> reader = redis.Connect();
    const Clock::time_point start = Clock::now();
    std::thread push([&] { bridge.Pusher().Flood(settings.Quotes); });
    const Clock::time_point giveUp = start + std::chrono::seconds(120);
    long long length = 0;
    while ((length = reader->Run({"XLEN", prefix + Instrument})->integer) < static_cast<long long>(settings.Quotes) &&
           Clock::now() < giveUp)
        std::this_thread::sleep_for(milliseconds(1));
    const Clock::time_point end = Clock::now();
    push.join();
    CheckSummary(bridge.Stop(), settings.Quotes);
    reader->Run({"FLUSHALL"});
    return double(settings.Quotes) / std::chrono::duration<double>(end - start).count();
}

struct PacedRun
{
    double ArrivalRate = 0;  // entries per second from the first send to the last entry
    double BehindMs = 0;     // from the last send until the last entry was in the stream
    LatencySummary Latency;  // with a consumer only
};

// Bursts at rate for the seconds asked (after a half second of warm-up) into
// a fresh bridge; with follow, a consumer takes every entry's latency.
PacedRun Paced(bridgetest::RedisServer& redis, const Settings& settings, double rate, bool follow,
               const std::string& prefix)
{
    const std::string stream = prefix + Instrument;
    const uint64_t count = std::max<uint64_t>(1, uint64_t(rate * settings.Seconds));
    const uint64_t warmUp = uint64_t(rate / 2);
    BridgeRun bridge(redis, prefix, warmUp + count);
    std::vector<int64_t> latencies;
    latencies.reserve(count);
    std::thread consume([&] {
        if (!follow)
            return;
        const std::unique_ptr<CRedisConnection> reader = redis.Connect();
        std::string id = "0";
        uint64_t seen = 0;
        const Clock::time_point giveUp = Clock::now() + milliseconds(int64_t(settings.Seconds * 1000)) +
                                         std::chrono::seconds(120);
        while (seen < warmUp + count && Clock::now() < giveUp)
        {
            const RedisReply reply = reader->Run({"XREAD", "COUNT", "1000", "BLOCK", "100", "STREAMS", stream, id});
            const int64_t visible =
                std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
            if (reply->type != REDIS_REPLY_ARRAY)
                continue;
            const redisReply& entries = *reply->element[0]->element[1];
            for (std::size_t i = 0; i < entries.elements; ++i)
            {
                MarketDepthRecord quote;
                uint64_t seq = 0;
                if (CQuoteStreamEntry::Decode(*entries.element[i]->element[1], quote, seq) && ++seen > warmUp)
                    latencies.push_back(visible - static_cast<int64_t>(quote.Amount));
            }
            const redisReply& last = *entries.element[entries.elements - 1]->element[0];
            id.assign(last.str, last.len);
        }
    });
    const Clock::time_point start = Clock::now();
    SendInBursts(bridge.Pusher(), warmUp + count, rate);
    const Clock::time_point lastSend = Clock::now();
    const std::unique_ptr<CRedisConnection> reader = redis.Connect();
    while (reader->Run({"XLEN", stream})->integer < static_cast<long long>(warmUp + count) &&
           Clock::now() < lastSend + std::chrono::seconds(120))
        std::this_thread::sleep_for(milliseconds(1));
    const Clock::time_point end = Clock::now();
    consume.join();
    CheckSummary(bridge.Stop(), warmUp + count);
    reader->Run({"FLUSHALL"});
    PacedRun result;
    result.ArrivalRate = double(warmUp + count) / std::chrono::duration<double>(end - start).count();
    result.BehindMs = std::chrono::duration<double, std::milli>(end - lastSend).count();
    if (follow && latencies.size() != count)
        throw std::runtime_error("the consumer saw " + std::to_string(latencies.size()) + " of " +
                                 std::to_string(count) + " entries");
    if (follow)
        result.Latency = LatencySummary::Of(latencies);
    return result;
}

struct Spread
{
    double Median, Min, Max;
};

Spread Of(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
    return Spread{median, values.front(), values.back()};
}

std::string Row(const std::string& name, const std::vector<double>& values, const char* format)
{
    const Spread spread = Of(values);
    char cells[160];
    std::snprintf(cells, sizeof cells, (std::string("| %s | ") + format + " | " + format + " | " + format + " |").c_str(),
                  name.c_str(), spread.Median, spread.Min, spread.Max);
    return cells;
}

}  // namespace

int main(int argc, char** argv)
{
    try
    {
        const Settings settings = Parse(argc, argv);
        bridgetest::RedisServer redis;
        if (!redis.Running())
            throw std::runtime_error("redis-server did not start");
        const std::string loadBefore = LoadAverage();
        std::vector<double> throughput, sustained, sustainedBehind;
        std::map<double, std::vector<double>> p50, p99, p999, max, behind;
        for (int run = 0; run < settings.Runs; ++run)
        {
            const std::string tag = std::to_string(run);
            throughput.push_back(Throughput(redis, settings, run));
            const PacedRun sustain = Paced(redis, settings, settings.Sustain, false, "bench:s" + tag + ":");
            sustained.push_back(sustain.ArrivalRate);
            sustainedBehind.push_back(sustain.BehindMs);
            std::fprintf(stderr, "run %d: %.0f quotes/s; at %.0f/s: %.0f/s, %.1f ms behind", run + 1,
                         throughput.back(), settings.Sustain, sustain.ArrivalRate, sustain.BehindMs);
            for (double rate : settings.Rates)
            {
                const PacedRun paced = Paced(redis, settings, rate, true, "bench:l" + tag + ":");
                p50[rate].push_back(paced.Latency.p50Us);
                p99[rate].push_back(paced.Latency.p99Us);
                p999[rate].push_back(paced.Latency.p999Us);
                max[rate].push_back(paced.Latency.maxUs);
                behind[rate].push_back(paced.BehindMs);
                std::fprintf(stderr, "; at %.0f/s p50 %.0f us, p99 %.0f us, %.1f ms behind", rate,
                             paced.Latency.p50Us, paced.Latency.p99Us, paced.BehindMs);
            }
            std::fprintf(stderr, "\n");
        }
        char sustainName[96];
        std::snprintf(sustainName, sizeof sustainName, "sent at %.0f quotes/s for %g s", settings.Sustain,
                      settings.Seconds);
        std::ostringstream table;
        table << "**Bridge into Redis** (" << settings.Runs << " runs, interleaved)\n\n"
              << "| measure | median | min | max |\n|---|---:|---:|---:|\n"
              << Row("throughput, " + std::to_string(settings.Quotes) + " quotes sent at once, quotes/s", throughput,
                     "%.0f")
              << "\n"
              << Row(std::string(sustainName) + ": arrival rate, quotes/s", sustained, "%.0f") << "\n"
              << Row(std::string(sustainName) + ": behind after the last send, ms", sustainedBehind, "%.1f") << "\n";
        for (double rate : settings.Rates)
        {
            char name[64];
            std::snprintf(name, sizeof name, "latency at %.0f quotes/s", rate);
            table << Row(std::string(name) + ", p50 us", p50[rate], "%.0f") << "\n"
                  << Row(std::string(name) + ", p99 us", p99[rate], "%.0f") << "\n"
                  << Row(std::string(name) + ", p99.9 us", p999[rate], "%.0f") << "\n"
                  << Row(std::string(name) + ", max us", max[rate], "%.0f") << "\n"
                  << Row(std::string(name) + ", behind after the last send, ms", behind[rate], "%.1f") << "\n";
        }
        table << "\nLoad average before: " << loadBefore << "; after: " << LoadAverage() << "\n";
        std::cout << table.str();
        if (!settings.Out.empty())
            std::ofstream(settings.Out) << table.str();
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "bench_bridge: %s\n", error.what());
        return 1;
    }
    return 0;
}
