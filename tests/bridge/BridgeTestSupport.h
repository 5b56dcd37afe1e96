// Helpers of the bridge tests: a quote recording for the simulator to
// replay, the bridge as a process whose log is read line by line, an
// application of the library that receives the same quotes directly, and
// readers of the streams.
#ifndef KELM_TESTS_BRIDGE_BRIDGETESTSUPPORT_H
#define KELM_TESTS_BRIDGE_BRIDGETESTSUPPORT_H

#include <KelmRivoMdApi.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "sim/SimProcess.h"
#include "tools/redis/CQuoteStreamEntry.h"
#include "tools/redis/CRedisConnection.h"
#include "tools/sim/CQuoteCsv.h"

namespace bridgetest
{

using std::chrono::seconds;

// rows quotes, round robin over the instruments, one second apart (the
// replay paces them by their time divided by its speed), every value
// different from the row before.
inline void WriteRecording(const std::string& path, const std::vector<std::string>& instruments, int rows)
{
    std::ofstream out(path);
    out << CQuoteCsv::Header() << '\n';
    for (int i = 0; i < rows; ++i)
    {
        MarketDepthRecord q;
        std::memset(&q, 0, sizeof q);
        const std::string& code = instruments[static_cast<std::size_t>(i) % instruments.size()];
        std::snprintf(q.InstrumentID, sizeof q.InstrumentID, "%s", code.c_str());
        std::snprintf(q.ExchangeID, sizeof q.ExchangeID, "SIMX");
        std::snprintf(q.TradeDate, sizeof q.TradeDate, "20240305");
        std::snprintf(q.ModifyDate, sizeof q.ModifyDate, "20240305");
        const int second = 9 * 3600 + i % (14 * 3600);  // from 09:00:00, within the day
        std::snprintf(q.ModifyTime, sizeof q.ModifyTime, "%02d:%02d:%02d", second / 3600 % 24, second / 60 % 60,
                      second % 60);
        q.Price = q.CurrentPrice = 4000 + 0.25 * i;
        q.BidPrice1 = q.Price - 0.5;
        q.AskPrice1 = q.Price + 0.5;
        q.BidQty1 = 1 + i % 97;
        q.AskQty1 = 2 + i % 89;
        q.QtyTotal = 10 * i;
        q.Amount = 1e6 + 1234.5 * i;
        q.OI = 50000 + i;
        q.PreSettle = 3990;
        out << CQuoteCsv::Format(q) << '\n';
    }
}

// A process whose standard output and error are read as one log.
class LoggedProcess
{
public:
    LoggedProcess(const std::string& path, const std::vector<std::string>& args) : m_process(path, args, true) {}

    // Reads up to the first line holding text; that line, or empty after the
    // timeout or the end of the output.
    std::string WaitFor(const std::string& text, std::chrono::milliseconds timeout = seconds(30))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        while (std::chrono::steady_clock::now() < deadline)
        {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
            // The bridge writes no empty lines: empty means the end or the timeout.
            const std::string line = m_process.ReadLine(left);
            if (line.empty())
                return line;
            m_log += line + "\n";
            if (line.find(text) != std::string::npos)
                return line;
        }
        return std::string();
    }

    // Stops it with SIGTERM; returns its exit status, with the rest of the
    // log read.
    int Stop()
    {
        m_process.Signal(SIGTERM);
        m_log += m_process.ReadAll();
        return m_process.Wait(seconds(30));
    }

    int Wait()
    {
        m_log += m_process.ReadAll();
        return m_process.Wait(seconds(30));
    }

    const std::string& Log() const { return m_log; }

private:
    simtest::Process m_process;
    std::string m_log;
};

// An application of the library: logs in after every connect, subscribes,
// and keeps a byte copy of every quote delivered.
class DirectClient final : public CKelmRivoMdCallback
{
public:
    DirectClient(const std::string& server, const std::vector<std::string>& instruments) : m_instruments(instruments)
    {
        m_api = CKelmRivoMdApi::CreateRivoMdApi();
        m_api->SetCallbackObject(this);
        m_api->AddServerUrl(server.c_str());
        m_api->Launch();
    }
    ~DirectClient() override { m_api->Dispose(); }

    void NotifyConnected() override
    {
        LoginRequestRecord login;
        std::memset(&login, 0, sizeof login);
        std::snprintf(login.UserCode, sizeof login.UserCode, "direct");
        m_api->SubmitLogin(&login, 1);
    }
    void NotifyLoginResult(LoginResultRecord*, ResponseInfoRecord*, int, bool) override
    {
        std::vector<char*> codes;
        for (std::string& code : m_instruments)
            codes.push_back(code.data());
        m_api->SubscribeQuotes(codes.data(), static_cast<int>(codes.size()));
    }
    void NotifyQuote(MarketDepthRecord* quote) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_quotes.emplace_back();
        std::memcpy(&m_quotes.back(), quote, sizeof *quote);
        m_arrived.notify_all();
    }

    std::vector<MarketDepthRecord> WaitQuotes(std::size_t count, std::chrono::milliseconds timeout = seconds(60))
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_arrived.wait_for(lock, timeout, [&] { return m_quotes.size() >= count; });
        return m_quotes;
    }

private:
    std::vector<std::string> m_instruments;
    CKelmRivoMdApi* m_api = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_arrived;
    std::vector<MarketDepthRecord> m_quotes;
};

struct Entry
{
    std::string Stream;
    std::string Id;
    uint64_t Seq = 0;
    MarketDepthRecord Record{};
    bool Decoded = false;
    std::string Price;  // the readable price field
    std::string Time;   // the readable time field
};

inline std::string Text(const redisReply* reply)
{
    return reply != nullptr && reply->type == REDIS_REPLY_STRING ? std::string(reply->str, reply->len) : std::string();
}

// The entries of an array of [id, fields] pairs.
inline void AddEntries(const std::string& stream, const redisReply& entries, std::vector<Entry>& out)
{
    for (std::size_t i = 0; i < entries.elements; ++i)
    {
        const redisReply& pair = *entries.element[i];
        Entry entry;
        entry.Stream = stream;
        entry.Id = Text(pair.element[0]);
        entry.Decoded = CQuoteStreamEntry::Decode(*pair.element[1], entry.Record, entry.Seq);
        entry.Price = Text(CQuoteStreamEntry::Field(*pair.element[1], "price"));
        entry.Time = Text(CQuoteStreamEntry::Field(*pair.element[1], "time"));
        out.push_back(entry);
    }
}

// The whole history of one stream.
inline std::vector<Entry> ReadStream(CRedisConnection& redis, const std::string& stream)
{
    std::vector<Entry> entries;
    const RedisReply reply = redis.Run({"XRANGE", stream, "-", "+"});
    if (reply->type == REDIS_REPLY_ARRAY)
        AddEntries(stream, *reply, entries);
    return entries;
}

// Follows the streams from their start with XREAD BLOCK until count entries
// came in all, or the timeout.
inline std::vector<Entry> Follow(CRedisConnection& redis, const std::vector<std::string>& streams, std::size_t count,
                                 std::chrono::milliseconds timeout = seconds(60))
{
    std::vector<std::string> ids(streams.size(), "0");
    std::vector<Entry> entries;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (entries.size() < count && std::chrono::steady_clock::now() < deadline)
    {
        CRedisCommand read{"XREAD", "COUNT", "500", "BLOCK", "200", "STREAMS"};
        for (const std::string& stream : streams)
            read.Arg(stream);
        for (const std::string& id : ids)
            read.Arg(id);
        const RedisReply reply = redis.Run(read);
        if (reply->type != REDIS_REPLY_ARRAY)
            continue;  // nothing new within the block time
        for (std::size_t s = 0; s < reply->elements; ++s)
        {
            const std::string stream = Text(reply->element[s]->element[0]);
            AddEntries(stream, *reply->element[s]->element[1], entries);
            for (std::size_t k = 0; k < streams.size(); ++k)
                if (streams[k] == stream)
                    ids[k] = entries.back().Id;
        }
    }
    return entries;
}

// The number that follows label in a log line ("dropped 3" -> 3), or -1.
inline long long Count(const std::string& line, const std::string& label)
{
    const auto at = line.find(label + " ");
    return at == std::string::npos ? -1 : std::atoll(line.c_str() + at + label.size() + 1);
}

}  // namespace bridgetest

#endif
