// Prints the C++ layout of MarketDepthRecord, one "name offset size" line
// per field after a "size N" line, for the test that checks QUOTE_DTYPE
// against the compiler's view of the public header.
#include <KelmRivoMdApi.h>

#include <cstddef>
#include <cstdio>

#define KELM_FIELD(name) std::printf(#name " %zu %zu\n", offsetof(MarketDepthRecord, name), sizeof(MarketDepthRecord::name))
#define KELM_LEVEL(n) KELM_FIELD(BidPrice##n); KELM_FIELD(BidQty##n); KELM_FIELD(AskPrice##n); KELM_FIELD(AskQty##n)

int main()
{
    std::printf("size %zu\n", sizeof(MarketDepthRecord));
    KELM_FIELD(TradeDate); KELM_FIELD(Reserved1); KELM_FIELD(ExchangeID); KELM_FIELD(Reserved2);
    KELM_FIELD(Price); KELM_FIELD(PreSettle); KELM_FIELD(PreClose); KELM_FIELD(PreOI);
    KELM_FIELD(OpenPrice); KELM_FIELD(HighestPrice); KELM_FIELD(LowestPrice); KELM_FIELD(QtyTotal);
    KELM_FIELD(Amount); KELM_FIELD(OI); KELM_FIELD(CurrentPrice); KELM_FIELD(SettlePrice);
    KELM_FIELD(HighLimit); KELM_FIELD(LowLimit); KELM_FIELD(Reserved3); KELM_FIELD(Reserved4);
    KELM_FIELD(ModifyTime); KELM_FIELD(Reserved5);
    KELM_LEVEL(1); KELM_LEVEL(2); KELM_LEVEL(3); KELM_LEVEL(4); KELM_LEVEL(5);
    KELM_FIELD(Reserved6); KELM_FIELD(ModifyDate); KELM_FIELD(InstrumentID); KELM_FIELD(Reserved7);
    return 0;
}
