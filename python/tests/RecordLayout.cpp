// Prints the C++ layout of a public record, one "name offset size" line per
// field after a "size N" line, for the test that checks the package's dtypes
// against the compiler's view of the public headers. The argument names the
// record: quote (the default), minute, day or trade.
#include <KelmRivoMdExtension.h>

#include <cstddef>
#include <cstdio>
#include <cstring>

#define KELM_FIELD(record, name) std::printf(#name " %zu %zu\n", offsetof(record, name), sizeof(record::name))
#define KELM_QUOTE(name) KELM_FIELD(MarketDepthRecord, name)
#define KELM_LEVEL(n) KELM_QUOTE(BidPrice##n); KELM_QUOTE(BidQty##n); KELM_QUOTE(AskPrice##n); KELM_QUOTE(AskQty##n)
#define KELM_BAR(record)                                                                           \
    KELM_FIELD(record, OpenPrice); KELM_FIELD(record, HighestPrice); KELM_FIELD(record, LowestPrice); \
    KELM_FIELD(record, ClosePrice); KELM_FIELD(record, QtyTotal); KELM_FIELD(record, OI); KELM_FIELD(record, Amount)

int main(int argc, char** argv)
{
    const char* record = argc > 1 ? argv[1] : "quote";
    if (std::strcmp(record, "minute") == 0)
    {
        std::printf("size %zu\n", sizeof(MinuteBarRecord));
        KELM_FIELD(MinuteBarRecord, InstrumentID); KELM_FIELD(MinuteBarRecord, ExchangeID);
        KELM_FIELD(MinuteBarRecord, Date); KELM_FIELD(MinuteBarRecord, Time); KELM_FIELD(MinuteBarRecord, Padding1);
        KELM_BAR(MinuteBarRecord);
        return 0;
    }
    if (std::strcmp(record, "day") == 0)
    {
        std::printf("size %zu\n", sizeof(DayBarRecord));
        KELM_FIELD(DayBarRecord, InstrumentID); KELM_FIELD(DayBarRecord, ExchangeID);
        KELM_FIELD(DayBarRecord, Date); KELM_FIELD(DayBarRecord, Padding1);
        KELM_BAR(DayBarRecord);
        return 0;
    }
    if (std::strcmp(record, "trade") == 0)
    {
        std::printf("size %zu\n", sizeof(TradeTickRecord));
        KELM_FIELD(TradeTickRecord, MatchID); KELM_FIELD(TradeTickRecord, InstrumentID);
        KELM_FIELD(TradeTickRecord, Date); KELM_FIELD(TradeTickRecord, Time); KELM_FIELD(TradeTickRecord, BSFlag);
        KELM_FIELD(TradeTickRecord, Padding1); KELM_FIELD(TradeTickRecord, Qty); KELM_FIELD(TradeTickRecord, Price);
        return 0;
    }
    std::printf("size %zu\n", sizeof(MarketDepthRecord));
    KELM_QUOTE(TradeDate); KELM_QUOTE(Reserved1); KELM_QUOTE(ExchangeID); KELM_QUOTE(Reserved2);
    KELM_QUOTE(Price); KELM_QUOTE(PreSettle); KELM_QUOTE(PreClose); KELM_QUOTE(PreOI);
    KELM_QUOTE(OpenPrice); KELM_QUOTE(HighestPrice); KELM_QUOTE(LowestPrice); KELM_QUOTE(QtyTotal);
    KELM_QUOTE(Amount); KELM_QUOTE(OI); KELM_QUOTE(CurrentPrice); KELM_QUOTE(SettlePrice);
    KELM_QUOTE(HighLimit); KELM_QUOTE(LowLimit); KELM_QUOTE(Reserved3); KELM_QUOTE(Reserved4);
    KELM_QUOTE(ModifyTime); KELM_QUOTE(Reserved5);
    KELM_LEVEL(1); KELM_LEVEL(2); KELM_LEVEL(3); KELM_LEVEL(4); KELM_LEVEL(5);
    KELM_QUOTE(Reserved6); KELM_QUOTE(ModifyDate); KELM_QUOTE(InstrumentID); KELM_QUOTE(Reserved7);
    return 0;
}
