// The history query records of the library, filled from texts: codes and
// dates cut to their fields' widths, everything else zero.
//
//   session.DayBars(kelmmd::DayBarQuery("au2406", "20261201", "20261208"), timeout)
//
// Dates are YYYYMMDD; minute queries take YYYYMMDD followed by " HH:MM" or
// " HH:MM:SS". An empty date leaves that end of the range to the server.
#ifndef KELMMD_HISTORYQUERIES_H
#define KELMMD_HISTORYQUERIES_H

#include <KelmRivoMdExtension.h>

#include <cstring>
#include <string>

#include "RecordText.h"

namespace kelmmd
{

/// Minute bars from the minute of from to the minute of to, inclusive.
/// service: which of the server's three minute-data services answers
/// (150, 192 or 194; they answer alike).
inline MinuteBarQueryRecord MinuteBarQuery(const std::string& instrument, const std::string& from,
                                           const std::string& to, int service = KelmMinuteService150,
                                           const std::string& exchange = std::string())
{
    MinuteBarQueryRecord query;
    std::memset(&query, 0, sizeof query);
    CopyText(query.InstrumentID, instrument);
    CopyText(query.ExchangeID, exchange);
    CopyText(query.DateTimeFrom, from);
    CopyText(query.DateTimeTo, to);
    query.Service = service;
    return query;
}

/// Day bars from one day to another, inclusive.
inline DayBarQueryRecord DayBarQuery(const std::string& instrument, const std::string& from, const std::string& to,
                                     const std::string& exchange = std::string())
{
    DayBarQueryRecord query;
    std::memset(&query, 0, sizeof query);
    CopyText(query.InstrumentID, instrument);
    CopyText(query.ExchangeID, exchange);
    CopyText(query.DateFrom, from);
    CopyText(query.DateTo, to);
    return query;
}

/// The trades of one day (empty: the server's trading day).
inline TradeQueryRecord TradeQuery(const std::string& instrument, const std::string& date,
                                   const std::string& exchange = std::string())
{
    TradeQueryRecord query;
    std::memset(&query, 0, sizeof query);
    CopyText(query.InstrumentID, instrument);
    CopyText(query.ExchangeID, exchange);
    CopyText(query.TradeDate, date);
    return query;
}

}  // namespace kelmmd

#endif
