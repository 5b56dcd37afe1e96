// Generated history for the query services: minute bars, day bars and the
// trades of one day. The same query always gives the same records (they
// derive from the seed, the instrument and the dates asked for).
#ifndef KELM_TOOLS_SIM_CHISTORYGENERATOR_H
#define KELM_TOOLS_SIM_CHISTORYGENERATOR_H

#include <cstdint>
#include <string>
#include <vector>

#include "quote/QuotRequests.h"
#include "quote/QuotResponses.h"
#include "QuoteSimSettings.h"

class CHistoryGenerator
{
public:
    // Caps on one answer, so a careless range cannot exhaust the server.
    static constexpr std::size_t MaxMinuteBars = 5000;
    static constexpr std::size_t MaxDayBars = 2000;
    static constexpr std::size_t TradesPerDay = 400;

    // tradeDate: YYYY-MM-DD, the default day of every query.
    CHistoryGenerator(uint64_t seed, const std::string& tradeDate);

    // One bar per minute from DateTimeFrom to DateTimeTo inclusive
    // ("YYYY-MM-DD HH:MM[:SS]"); without a range, 09:00 to 12:59 of the
    // trading day. An inverted range gives no bars.
    std::vector<MinData> Minutes(const SimInstrument& instrument, const MinDataQueryReq& query) const;
    // One bar per weekday from DateFrom to DateTo inclusive; without a
    // range, the 60 weekdays that end with the trading day.
    std::vector<DayData> Days(const SimInstrument& instrument, const DayDataQueryReq& query) const;
    // The trades of TradeDate (or of the trading day), 09:00 to 15:00.
    std::vector<TradeDetailRecord> Trades(const SimInstrument& instrument, const TradeDetailDataQueryReq& query) const;

private:
    uint64_t m_seed;
    int64_t m_tradeDay;
};

#endif
