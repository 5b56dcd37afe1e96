// The Redis stream entry of one quote, written by the bridge and read by the
// watcher: XADD <prefix><InstrumentID> [MAXLEN ~ N] * with the fields
//   record    the 584-byte MarketDepthRecord exactly as the library delivered it
//   seq       the bridge's running number of the quote, 1, 2, ... over all
//             instruments (a gap means quotes were dropped)
//   date time exchange price bid1 bidqty1 ask1 askqty1 volume oi amount
//             readable copies of ModifyDate, ModifyTime, ExchangeID, Price,
//             BidPrice1, BidQty1, AskPrice1, AskQty1, QtyTotal, OI, Amount;
//             numbers in their shortest exact decimal form
#ifndef KELM_TOOLS_REDIS_CQUOTESTREAMENTRY_H
#define KELM_TOOLS_REDIS_CQUOTESTREAMENTRY_H

#include <cstdint>
#include <string>
#include <string_view>

#include <hiredis/hiredis.h>

#include <KelmRivoMdApi.h>
#include "CRedisCommand.h"

class CQuoteStreamEntry
{
public:
    static constexpr std::string_view RecordField = "record";
    static constexpr std::string_view SeqField = "seq";
    // The stream of session events is <prefix>events.
    static constexpr std::string_view EventsStream = "events";

    // The quote's stream: prefix and instrument code.
    static std::string Key(const std::string& prefix, const MarketDepthRecord& quote);
    // Fills command with the XADD of the quote; maxLen 0 does not trim.
    static void BuildAdd(CRedisCommand& command, const std::string& prefix, uint64_t maxLen,
                         const MarketDepthRecord& quote, uint64_t seq);
    // Starts an XADD to the stream <prefix><name> with the trimming and the
    // automatic id; the caller adds the fields.
    static void BeginAdd(CRedisCommand& command, std::string_view prefix, std::string_view name, uint64_t maxLen);

    // Reads an entry's fields (an array reply of field, value, ...): false
    // when there is no record of the right size or no number in seq.
    static bool Decode(const redisReply& fields, MarketDepthRecord& quote, uint64_t& seq);
    // The value of one field, or nullptr.
    static const redisReply* Field(const redisReply& fields, std::string_view name);
};

#endif
