#include "tools/watch/CQuoteTable.h"

#include <cstdio>

namespace
{

constexpr const char* Home = "\x1b[H";
constexpr const char* ClearLine = "\x1b[K";
constexpr const char* ClearBelow = "\x1b[J";

std::string Row(const std::string& code, const CWatchStats::Instrument& instrument, double rate)
{
    char line[256];
    if (instrument.Count == 0)
    {
        std::snprintf(line, sizeof line, "%-16s %12s", code.c_str(), "-");
        return line;
    }
    const MarketDepthRecord& q = instrument.Last;
    // Change against the previous settlement, or the previous close when
    // there is none.
    const double reference = q.PreSettle != 0 ? q.PreSettle : q.PreClose;
    const double change = reference != 0 ? q.Price - reference : 0;
    std::snprintf(line, sizeof line, "%-16s %12.8g %+10.6g %12.8g %7d %12.8g %7d %10d %10.0f %-8s %6.0f", code.c_str(),
                  q.Price, change, q.BidPrice1, q.BidQty1, q.AskPrice1, q.AskQty1, q.QtyTotal, q.OI, q.ModifyTime,
                  rate);
    return line;
}

}  // namespace

std::string CQuoteTable::Render(const CWatchStats& stats, CWatchStats::Clock::time_point now)
{
    char header[256];
    std::snprintf(header, sizeof header, "%-16s %12s %10s %12s %7s %12s %7s %10s %10s %-8s %6s", "INSTRUMENT", "LAST",
                  "CHANGE", "BID", "BIDQTY", "ASK", "ASKQTY", "VOLUME", "OI", "TIME", "Q/S");
    std::string view = std::string(Home) + header + ClearLine + "\n";
    for (const std::string& code : stats.Order())
    {
        const CWatchStats::Instrument& instrument = stats.Get(code);
        view += Row(code, instrument, CWatchStats::Rate(instrument, now)) + ClearLine + "\n";
    }
    return view + ClearBelow;
}
