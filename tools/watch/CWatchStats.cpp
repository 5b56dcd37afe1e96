#include "CWatchStats.h"

#include <algorithm>
#include <cstdio>

CWatchStats::CWatchStats(const std::vector<std::string>& instruments, Clock::time_point start)
    : m_order(instruments), m_start(start)
{
    for (const std::string& code : instruments)
        m_instruments[code];
}

CWatchStats::Instrument& CWatchStats::Find(const std::string& code)
{
    if (m_instruments.count(code) == 0)
        m_order.push_back(code);  // the server named a code it was not asked for
    return m_instruments[code];
}

void CWatchStats::Add(const MarketDepthRecord& quote, unsigned connection, Clock::time_point now)
{
    Instrument& instrument = Find(quote.InstrumentID);
    ++instrument.Count;
    ++m_total;
    instrument.Last = quote;
    instrument.Connection = connection;
    instrument.Recent.push_back(now);
    while (now - instrument.Recent.front() > std::chrono::seconds(1))
        instrument.Recent.pop_front();
}

void CWatchStats::Answer(const std::string& code, int rspNo, const std::string& text)
{
    Find(code).Refusal = rspNo == 0 ? std::string() : std::to_string(rspNo) + " " + text;
}

std::size_t CWatchStats::RefusedCount() const
{
    return static_cast<std::size_t>(std::count_if(m_instruments.begin(), m_instruments.end(),
                                                  [](const auto& entry) { return !entry.second.Refusal.empty(); }));
}

double CWatchStats::Rate(const Instrument& instrument, Clock::time_point now)
{
    return static_cast<double>(std::count_if(instrument.Recent.begin(), instrument.Recent.end(),
                                             [now](Clock::time_point t) { return now - t <= std::chrono::seconds(1); }));
}

CWatchStats::State CWatchStats::StateOf(const Instrument& instrument, unsigned connection, bool loggedIn)
{
    if (!instrument.Refusal.empty())
        return State::Refused;
    if (instrument.Count == 0)
        return State::Waiting;
    return loggedIn && instrument.Connection == connection ? State::Live : State::Stale;
}

std::string CWatchStats::Summary(Clock::time_point now) const
{
    const double seconds = std::max(1e-3, std::chrono::duration<double>(now - m_start).count());
    char line[200];
    std::snprintf(line, sizeof line, "summary: %llu quotes in %.1f s (%.1f/s)\n",
                  static_cast<unsigned long long>(m_total), seconds, static_cast<double>(m_total) / seconds);
    std::string text = line;
    for (const std::string& code : m_order)
    {
        const Instrument& instrument = m_instruments.at(code);
        if (!instrument.Refusal.empty())
            std::snprintf(line, sizeof line, "  %-16s refused: %s\n", code.c_str(), instrument.Refusal.c_str());
        else
            std::snprintf(line, sizeof line, "  %-16s %8llu quotes %8.1f/s\n", code.c_str(),
                          static_cast<unsigned long long>(instrument.Count),
                          static_cast<double>(instrument.Count) / seconds);
        text += line;
    }
    return text;
}
