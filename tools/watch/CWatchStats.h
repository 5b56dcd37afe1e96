// Per-instrument bookkeeping of the watch: the answer to its subscription,
// the count of quotes, the latest quote and the connection it came on, and
// the rate over the last second; and the end-of-run summary.
#ifndef KELM_TOOLS_WATCH_CWATCHSTATS_H
#define KELM_TOOLS_WATCH_CWATCHSTATS_H

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <KelmRivoMdApi.h>

class CWatchStats
{
public:
    using Clock = std::chrono::steady_clock;

    struct Instrument
    {
        uint64_t Count = 0;
        MarketDepthRecord Last{};
        unsigned Connection = 0;               // the connection Last came on
        std::string Refusal;                   // the server's answer when it refused the subscription
        std::deque<Clock::time_point> Recent;  // arrivals within the last second
    };

    // What a row of the table says about an instrument.
    enum class State
    {
        Waiting,  // no quote yet
        Live,     // quotes on the current connection
        Stale,    // the latest quote is from a connection that is gone
        Refused,  // the server refused the subscription
    };

    // The instruments asked for, in order: each gets a row even before its
    // first quote.
    explicit CWatchStats(const std::vector<std::string>& instruments, Clock::time_point start = Clock::now());

    void Add(const MarketDepthRecord& quote, unsigned connection = 0, Clock::time_point now = Clock::now());
    // The answer to a subscription; an accepted one clears an earlier refusal.
    void Answer(const std::string& code, int rspNo, const std::string& text);

    uint64_t Total() const { return m_total; }
    std::size_t RefusedCount() const;
    // Quotes of the last second.
    static double Rate(const Instrument& instrument, Clock::time_point now);
    // connection: the current one, when loggedIn.
    static State StateOf(const Instrument& instrument, unsigned connection, bool loggedIn);

    const std::vector<std::string>& Order() const { return m_order; }
    const Instrument& Get(const std::string& code) const { return m_instruments.at(code); }

    // "N quotes in S s (R/s)" and one line per instrument with its count
    // and average rate, or the refusal.
    std::string Summary(Clock::time_point now = Clock::now()) const;

private:
    Instrument& Find(const std::string& code);

    std::vector<std::string> m_order;
    std::map<std::string, Instrument> m_instruments;
    Clock::time_point m_start;
    uint64_t m_total = 0;
};

#endif
