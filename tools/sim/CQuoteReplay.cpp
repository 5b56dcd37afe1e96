#include "CQuoteReplay.h"

#include <cstring>
#include <fstream>
#include <set>
#include <stdexcept>

#include "CQuoteCsv.h"
#include "SimCalendar.h"
#include "SimText.h"

namespace
{

// YYYYMMDD -> YYYY-MM-DD; anything else is kept as it is.
std::string DashedDate(const char* date)
{
    int64_t days = 0;
    return SimCalendar::ParseDate(date, days, true) ? SimCalendar::FormatDate(days) : std::string(date);
}

int64_t SecondOf(const MarketDepthRecord& depth)
{
    int64_t days = 0;
    int64_t second = 0;
    if (!SimCalendar::ParseDate(depth.ModifyDate, days, true) || !SimCalendar::ParseTime(depth.ModifyTime, second))
        return 0;
    return days * 86400 + second;
}

}  // namespace

QuotRecord CQuoteReplay::ToQuote(const MarketDepthRecord& d)
{
    QuotRecord q;
    std::memset(&q, 0, sizeof q);
    CopyText(q.TradeDate, DashedDate(d.TradeDate));
    CopyText(q.InstrumentID, d.InstrumentID);
    CopyText(q.ExchangeID, d.ExchangeID);
    CopyText(q.ModifyDate, DashedDate(d.ModifyDate));
    CopyText(q.ModifyTime, d.ModifyTime);
    q.Price = d.Price;
    q.PreSettle = d.PreSettle;
    q.PreClose = d.PreClose;
    q.PreOI = static_cast<uint64_t>(d.PreOI);
    q.OpenPrice = d.OpenPrice;
    q.HighestPrice = d.HighestPrice;
    q.LowestPrice = d.LowestPrice;
    q.QtyTotal = static_cast<uint32_t>(d.QtyTotal);
    q.Amount = d.Amount;
    q.OI = static_cast<uint64_t>(d.OI);
    q.SettlePrice = d.SettlePrice;
    q.HighLimit = d.HighLimit;
    q.LowLimit = d.LowLimit;
    q.BidPrice = d.BidPrice1, q.BidQty = d.BidQty1, q.AskPrice = d.AskPrice1, q.AskQty = d.AskQty1;
    q.BidPrice2 = d.BidPrice2, q.BidQty2 = d.BidQty2, q.AskPrice2 = d.AskPrice2, q.AskQty2 = d.AskQty2;
    q.BidPrice3 = d.BidPrice3, q.BidQty3 = d.BidQty3, q.AskPrice3 = d.AskPrice3, q.AskQty3 = d.AskQty3;
    q.BidPrice4 = d.BidPrice4, q.BidQty4 = d.BidQty4, q.AskPrice4 = d.AskPrice4, q.AskQty4 = d.AskQty4;
    q.BidPrice5 = d.BidPrice5, q.BidQty5 = d.BidQty5, q.AskPrice5 = d.AskPrice5, q.AskQty5 = d.AskQty5;
    return q;
}

CQuoteReplay CQuoteReplay::Load(const std::string& path)
{
    std::ifstream in(path);
    if (!in)
        throw std::runtime_error(path + ": cannot open for reading");
    std::string line;
    const bool hasHeader = static_cast<bool>(std::getline(in, line));
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (!hasHeader || line != CQuoteCsv::Header())
        throw std::runtime_error(path + ":1: not a quote recording (header line differs)");

    CQuoteReplay replay;
    std::set<std::string> seen;
    for (std::size_t number = 2; std::getline(in, line); ++number)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.empty())
            continue;
        MarketDepthRecord depth;
        std::string error;
        if (!CQuoteCsv::Parse(line, depth, error))
            throw std::runtime_error(path + ":" + std::to_string(number) + ": " + error);
        replay.m_quotes.push_back(ReplayQuote{ToQuote(depth), SecondOf(depth)});
        if (seen.insert(depth.InstrumentID).second)
            replay.m_instruments.push_back(SimInstrument{depth.InstrumentID, depth.ExchangeID});
    }
    return replay;
}
