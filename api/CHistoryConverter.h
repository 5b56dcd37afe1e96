// Conversions between the public history and figures records and the quote
// client's internal ones. Dates go the way the quote's do: the server's
// YYYY-MM-DD becomes YYYYMMDD, and a query's YYYYMMDD becomes YYYY-MM-DD.
#ifndef KELM_API_CHISTORYCONVERTER_H
#define KELM_API_CHISTORYCONVERTER_H

#include <KelmRivoMdExtension.h>
#include "net/CLinkStats.h"
#include "quote/QuotRequests.h"
#include "quote/QuotResponses.h"

#include <cstddef>

class CHistoryConverter
{
public:
    static void ToMinuteBar(MinuteBarRecord& target, const MinData& source);
    static void ToDayBar(DayBarRecord& target, const DayData& source);
    static void ToTradeTick(TradeTickRecord& target, const TradeDetailRecord& source);

    static void ToMinuteQuery(MinDataQueryReq& target, const MinuteBarQueryRecord& source);
    static void ToDayQuery(DayDataQueryReq& target, const DayBarQueryRecord& source);
    static void ToTradeQuery(TradeDetailDataQueryReq& target, const TradeQueryRecord& source);

    static void ToLinkStats(LinkStatsRecord& target, const CLinkStats::Snapshot& source);

    /// A query date as the server takes it: eight leading digits YYYYMMDD
    /// become YYYY-MM-DD, whatever follows (" HH:MM:SS") is kept; any other
    /// text, the server's own form included, is copied unchanged. Cut to
    /// size - 1 characters.
    static void ExpandDate(char* target, std::size_t size, const char* source, std::size_t sourceSize);
};

#endif
