#include "CQuoteStreamEntry.h"

#include <charconv>
#include <cstddef>
#include <cstring>

namespace
{

enum class Kind
{
    Text,
    Price,
    Quantity
};

struct ReadableField
{
    std::string_view Name;
    Kind Type;
    std::size_t Offset;
    std::size_t Size;  // texts: the field's width including the terminator
};

#define KELM_ENTRY_TEXT(name, field) \
    ReadableField{name, Kind::Text, offsetof(MarketDepthRecord, field), sizeof(MarketDepthRecord::field)}
#define KELM_ENTRY_PRICE(name, field) ReadableField{name, Kind::Price, offsetof(MarketDepthRecord, field), sizeof(double)}
#define KELM_ENTRY_QTY(name, field) ReadableField{name, Kind::Quantity, offsetof(MarketDepthRecord, field), sizeof(int)}

const ReadableField Readable[] = {
    KELM_ENTRY_TEXT("date", ModifyDate),   KELM_ENTRY_TEXT("time", ModifyTime),   KELM_ENTRY_TEXT("exchange", ExchangeID),
    KELM_ENTRY_PRICE("price", Price),      KELM_ENTRY_PRICE("bid1", BidPrice1),   KELM_ENTRY_QTY("bidqty1", BidQty1),
    KELM_ENTRY_PRICE("ask1", AskPrice1),   KELM_ENTRY_QTY("askqty1", AskQty1),    KELM_ENTRY_QTY("volume", QtyTotal),
    KELM_ENTRY_PRICE("oi", OI),            KELM_ENTRY_PRICE("amount", Amount),
};

#undef KELM_ENTRY_QTY
#undef KELM_ENTRY_PRICE
#undef KELM_ENTRY_TEXT

std::string_view BoundedText(const char* text, std::size_t size)
{
    return std::string_view(text, strnlen(text, size));
}

}  // namespace

std::string CQuoteStreamEntry::Key(const std::string& prefix, const MarketDepthRecord& quote)
{
    return prefix + std::string(BoundedText(quote.InstrumentID, sizeof quote.InstrumentID));
}

void CQuoteStreamEntry::BeginAdd(CRedisCommand& command, std::string_view prefix, std::string_view name,
                                 uint64_t maxLen)
{
    command.Clear();
    command.Arg("XADD").Arg(prefix, name);
    if (maxLen > 0)
        command.Arg("MAXLEN").Arg("~").Arg(maxLen);
    command.Arg("*");
}

void CQuoteStreamEntry::BuildAdd(CRedisCommand& command, const std::string& prefix, uint64_t maxLen,
                                 const MarketDepthRecord& quote, uint64_t seq)
{
    BeginAdd(command, prefix, BoundedText(quote.InstrumentID, sizeof quote.InstrumentID), maxLen);
    command.Arg(RecordField).Arg(std::string_view(reinterpret_cast<const char*>(&quote), sizeof quote));
    command.Arg(SeqField).Arg(seq);
    const char* base = reinterpret_cast<const char*>(&quote);
    for (const ReadableField& field : Readable)
    {
        command.Arg(field.Name);
        if (field.Type == Kind::Text)
            command.Arg(BoundedText(base + field.Offset, field.Size));
        else if (field.Type == Kind::Price)
        {
            double value = 0;
            std::memcpy(&value, base + field.Offset, sizeof value);
            command.Arg(value);
        }
        else
        {
            int value = 0;
            std::memcpy(&value, base + field.Offset, sizeof value);
            command.Arg(value);
        }
    }
}

const redisReply* CQuoteStreamEntry::Field(const redisReply& fields, std::string_view name)
{
    if (fields.type != REDIS_REPLY_ARRAY)
        return nullptr;
    for (std::size_t i = 0; i + 1 < fields.elements; i += 2)
    {
        const redisReply* key = fields.element[i];
        if (key->type == REDIS_REPLY_STRING && std::string_view(key->str, key->len) == name)
            return fields.element[i + 1];
    }
    return nullptr;
}

bool CQuoteStreamEntry::Decode(const redisReply& fields, MarketDepthRecord& quote, uint64_t& seq)
{
    const redisReply* record = Field(fields, RecordField);
    const redisReply* number = Field(fields, SeqField);
    if (record == nullptr || record->type != REDIS_REPLY_STRING || record->len != sizeof quote || number == nullptr ||
        number->type != REDIS_REPLY_STRING)
        return false;
    const char* end = number->str + number->len;
    const auto parsed = std::from_chars(number->str, end, seq);
    if (parsed.ec != std::errc() || parsed.ptr != end)
        return false;
    std::memcpy(&quote, record->str, sizeof quote);
    return true;
}
