#include "CHistoryGenerator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "CQuoteRandomWalk.h"
#include "SimCalendar.h"
#include "SimText.h"

namespace
{

// Open, high, low, close of one bar starting at open; the walk continues
// from the close.
struct Bar
{
    double Open, High, Low, Close;
    uint64_t Qty;
};

Bar NextBar(std::mt19937_64& random, double& price, double tick)
{
    Bar bar{price, price, price, price, 0};
    for (int step = 0; step < 4; ++step)
    {
        price = std::max(tick, price + (static_cast<double>(random() % 7) - 3) * tick);
        price = CQuoteRandomWalk::RoundToTick(price, tick);
        bar.High = std::max(bar.High, price);
        bar.Low = std::min(bar.Low, price);
    }
    bar.Close = price;
    bar.Qty = 10 + random() % 500;
    return bar;
}

template <typename Record>
void FillBar(Record& record, const SimInstrument& instrument, const Bar& bar, uint64_t& qtyTotal, uint64_t& oi)
{
    qtyTotal += bar.Qty;
    const uint64_t change = bar.Qty % 11;  // -5 .. +5 around the previous value
    oi = oi + change >= 5 ? oi + change - 5 : 0;
    CopyText(record.InstrumentID, instrument.Code);
    CopyText(record.ExchangeID, instrument.Exchange);
    record.OpenPrice = bar.Open;
    record.HighestPrice = bar.High;
    record.LowestPrice = bar.Low;
    record.ClosePrice = bar.Close;
    record.QtyTotal = qtyTotal;
    record.OI = oi;
    record.Amount = bar.Close * static_cast<double>(qtyTotal);
}

}  // namespace

CHistoryGenerator::CHistoryGenerator(uint64_t seed, const std::string& tradeDate) : m_seed(seed), m_tradeDay(0)
{
    if (!SimCalendar::ParseDate(tradeDate, m_tradeDay))
        m_tradeDay = SimCalendar::Today();
}

std::vector<MinData> CHistoryGenerator::Minutes(const SimInstrument& instrument, const MinDataQueryReq& query) const
{
    int64_t from = m_tradeDay * 1440 + 9 * 60;
    int64_t to = m_tradeDay * 1440 + 12 * 60 + 59;
    SimCalendar::ParseDateTime(query.DateTimeFrom, from);
    SimCalendar::ParseDateTime(query.DateTimeTo, to);

    std::mt19937_64 random(CQuoteRandomWalk::InstrumentSeed(instrument.Code, m_seed) ^ static_cast<uint64_t>(from));
    double price = CQuoteRandomWalk::BasePrice(instrument.Code, m_seed);
    const double tick = CQuoteRandomWalk::TickSize(price);
    uint64_t qtyTotal = 0;
    uint64_t oi = 50000;
    std::vector<MinData> bars;
    for (int64_t minute = from; minute <= to && bars.size() < MaxMinuteBars; ++minute)
    {
        MinData bar{};
        FillBar(bar, instrument, NextBar(random, price, tick), qtyTotal, oi);
        CopyText(bar.DateTime, SimCalendar::FormatDateTime(minute));
        bars.push_back(bar);
    }
    return bars;
}

std::vector<DayData> CHistoryGenerator::Days(const SimInstrument& instrument, const DayDataQueryReq& query) const
{
    int64_t to = m_tradeDay;
    SimCalendar::ParseDate(query.DateTo, to);
    int64_t from = to;
    for (int weekdays = 1; weekdays < 60; --from)
        weekdays += SimCalendar::Weekday(from - 1) < 5;
    SimCalendar::ParseDate(query.DateFrom, from);

    std::mt19937_64 random(CQuoteRandomWalk::InstrumentSeed(instrument.Code, m_seed) ^ static_cast<uint64_t>(from));
    double price = CQuoteRandomWalk::BasePrice(instrument.Code, m_seed);
    const double tick = CQuoteRandomWalk::TickSize(price);
    uint64_t oi = 50000;
    std::vector<DayData> bars;
    for (int64_t day = from; day <= to && bars.size() < MaxDayBars; ++day)
    {
        if (SimCalendar::Weekday(day) >= 5)
            continue;
        uint64_t qtyTotal = 0;
        DayData bar{};
        FillBar(bar, instrument, NextBar(random, price, tick), qtyTotal, oi);
        CopyText(bar.Date, SimCalendar::FormatDate(day));
        bars.push_back(bar);
    }
    return bars;
}

std::vector<TradeDetailRecord> CHistoryGenerator::Trades(const SimInstrument& instrument,
                                                         const TradeDetailDataQueryReq& query) const
{
    int64_t day = m_tradeDay;
    SimCalendar::ParseDate(query.TradeDate, day);
    std::mt19937_64 random(CQuoteRandomWalk::InstrumentSeed(instrument.Code, m_seed) ^ static_cast<uint64_t>(day));
    double price = CQuoteRandomWalk::BasePrice(instrument.Code, m_seed);
    const double tick = CQuoteRandomWalk::TickSize(price);
    const std::string date = SimCalendar::FormatDate(day);
    std::vector<TradeDetailRecord> trades;
    for (std::size_t i = 0; i < TradesPerDay; ++i)
    {
        const Bar bar = NextBar(random, price, tick);
        TradeDetailRecord trade{};
        char match[32];
        std::snprintf(match, sizeof match, "%s-%s-%zu", instrument.Code.c_str(),
                      SimCalendar::FormatDate(day, true).c_str(), i + 1);
        CopyText(trade.MatchID, match);
        CopyText(trade.InstrumentID, instrument.Code);
        CopyText(trade.Date, date);
        CopyText(trade.Time, SimCalendar::FormatTime(9 * 3600 + static_cast<int64_t>(i) * 6 * 3600 / TradesPerDay));
        trade.Qty = static_cast<int32_t>(bar.Qty % 50 + 1);
        trade.Price = bar.Close;
        trade.BSFlag[0] = bar.Close >= bar.Open ? 'B' : 'S';
        trades.push_back(trade);
    }
    return trades;
}
