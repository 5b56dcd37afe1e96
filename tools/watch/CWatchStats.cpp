#include "tools/watch/CWatchStats.h"

#include <algorithm>
#include <cstdio>

CWatchStats::CWatchStats(const std::vector<std::string>& instruments, Clock::time_point start)
    : m_order(instruments), m_start(start)
{
    for (const std::string& code : instruments)
        m_instruments[code];
}

void CWatchStats::Add(const MarketDepthRecord& quote, Clock::time_point now)
{
    const std::string code = quote.InstrumentID;
    if (m_instruments.count(code) == 0)
        m_order.push_back(code);  // the server sent a code it was not asked for
    Instrument& instrument = m_instruments[code];
    ++instrument.Count;
    ++m_total;
    instrument.Last = quote;
    instrument.Recent.push_back(now);
    while (now - instrument.Recent.front() > std::chrono::seconds(1))
        instrument.Recent.pop_front();
}

double CWatchStats::Rate(const Instrument& instrument, Clock::time_point now)
{
    return static_cast<double>(std::count_if(instrument.Recent.begin(), instrument.Recent.end(),
                                             [now](Clock::time_point t) { return now - t <= std::chrono::seconds(1); }));
}

std::string CWatchStats::Summary(Clock::time_point now) const
{
    const double seconds = std::max(1e-3, std::chrono::duration<double>(now - m_start).count());
    char line[160];
    std::snprintf(line, sizeof line, "summary: %llu quotes in %.1f s (%.1f/s)\n",
                  static_cast<unsigned long long>(m_total), seconds, static_cast<double>(m_total) / seconds);
    std::string text = line;
    for (const std::string& code : m_order)
    {
        const uint64_t count = m_instruments.at(code).Count;
        std::snprintf(line, sizeof line, "  %-16s %8llu quotes %8.1f/s\n", code.c_str(),
                      static_cast<unsigned long long>(count), static_cast<double>(count) / seconds);
        text += line;
    }
    return text;
}
