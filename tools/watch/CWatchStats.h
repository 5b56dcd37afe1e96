// Per-instrument bookkeeping of the quotes received: the count, the latest
// quote, and the rate over the last second; and the end-of-run summary.
#ifndef KELM_TOOLS_WATCH_CWATCHSTATS_H
#define KELM_TOOLS_WATCH_CWATCHSTATS_H

#include <chrono>
#include <cstdint>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include "api/KelmRivoMdApi.h"

class CWatchStats
{
public:
    using Clock = std::chrono::steady_clock;

    struct Instrument
    {
        uint64_t Count = 0;
        MarketDepthRecord Last{};
        std::deque<Clock::time_point> Recent;  // arrivals within the last second
    };

    // The instruments asked for, in order: each gets a row even before its
    // first quote.
    explicit CWatchStats(const std::vector<std::string>& instruments, Clock::time_point start = Clock::now());

    void Add(const MarketDepthRecord& quote, Clock::time_point now = Clock::now());
    uint64_t Total() const { return m_total; }
    // Quotes of the last second.
    static double Rate(const Instrument& instrument, Clock::time_point now);

    const std::vector<std::string>& Order() const { return m_order; }
    const Instrument& Get(const std::string& code) const { return m_instruments.at(code); }

    // "N quotes in S s (R/s)" and one line per instrument with its count
    // and average rate.
    std::string Summary(Clock::time_point now = Clock::now()) const;

private:
    std::vector<std::string> m_order;
    std::map<std::string, Instrument> m_instruments;
    Clock::time_point m_start;
    uint64_t m_total = 0;
};

#endif
