// The history the query services answer with, consistent with the quotes:
// the trading day's minute bars, day bar and trades are made from the trades
// of the random walk (its day tapes), so that history followed by live quotes
// is one continuous series. Earlier weekdays are generated: a chain of day
// bars going back from the walk's previous close and open interest, and for
// each day a path of trades from its open through its high and low to its
// close, whose minutes give that day's minute bars. The same query always
// gives the same earlier days.
#ifndef KELM_TOOLS_SIM_CHISTORYGENERATOR_H
#define KELM_TOOLS_SIM_CHISTORYGENERATOR_H

#include <cstdint>
#include <string>
#include <vector>

#include "quote/QuotRequests.h"
#include "quote/QuotResponses.h"
#include "CDayTape.h"
#include "QuoteSimSettings.h"

class CQuoteRandomWalk;

class CHistoryGenerator
{
public:
    // Caps on one answer, so a careless range cannot exhaust the server.
    static constexpr std::size_t MaxMinuteBars = 5000;
    static constexpr std::size_t MaxDayBars = 2000;
    // Weekdays before the trading day that have history; earlier ones none.
    static constexpr int64_t HistoryWeekdays = 2600;
    // Trades of a generated day: one every 15 seconds from 09:00 to 15:00.
    static constexpr int64_t TradesPerGeneratedDay = 1440;

    // tradeDate: YYYY-MM-DD. walk: the live walk whose day tapes are the
    // trading day's history; null (replay) leaves the trading day empty.
    CHistoryGenerator(uint64_t seed, const std::string& tradeDate, const CQuoteRandomWalk* walk);

    // Bars of the minutes from DateTimeFrom to DateTimeTo inclusive
    // ("YYYY-MM-DD HH:MM[:SS]") that had trades; without a range, the
    // trading day's.
    std::vector<MinData> Minutes(const SimInstrument& instrument, const MinDataQueryReq& query) const;
    // One bar per weekday with trades from DateFrom to DateTo inclusive;
    // without a range, the 60 weekdays that end with the trading day.
    std::vector<DayData> Days(const SimInstrument& instrument, const DayDataQueryReq& query) const;
    // The trades of TradeDate (or of the trading day); on the trading day
    // the latest CDayTape::MaxTrades.
    std::vector<TradeDetailRecord> Trades(const SimInstrument& instrument, const TradeDetailDataQueryReq& query) const;

private:
    struct GeneratedDay
    {
        int64_t Day;
        TapeBar Bar;  // open, high, low, close, quantity and closing OI; no amount
        uint64_t PreviousOI;
    };

    // The generated days from the one before the trading day back to
    // earliest (at most HistoryWeekdays weekdays), latest first.
    std::vector<GeneratedDay> Chain(const SimInstrument& instrument, int64_t earliest) const;
    // The trades of a generated day, or of the trading day; null when the
    // day has none.
    const CDayTape* TapeOf(const SimInstrument& instrument, int64_t day, CDayTape& storage) const;
    std::vector<TapeTrade> Generate(const SimInstrument& instrument, const GeneratedDay& day) const;

    uint64_t m_seed;
    int64_t m_tradeDay;
    const CQuoteRandomWalk* m_walk;
};

#endif
