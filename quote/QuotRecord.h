// The internal quote snapshot: ten price levels per side, filled from the
// Quot record (element 1141) of a service-125 package.
#ifndef KELM_QUOTE_QUOTRECORD_H
#define KELM_QUOTE_QUOTRECORD_H

#include <cstdint>

struct QuotRecord
{
    char MatchID[31];
    char TradeDate[11];            // YYYY-MM-DD
    char InstrumentID[16];
    double Price;
    int32_t Qty;
    double BidPrice;
    int32_t BidQty;
    double AskPrice;
    int32_t AskQty;
    double OpenPrice;
    double HighestPrice;
    double LowestPrice;
    double HighLimit;
    double LowLimit;
    uint64_t OI;
    double SettlePrice;
    double PreClose;
    double PreSettle;
    uint64_t PreOI;
    uint64_t QtyTotal;
    double Amount;
    char ModifyDate[11];           // YYYY-MM-DD
    char ModifyTime[9];            // HH:MM:SS
    double BidPrice2;  int32_t BidQty2;  double AskPrice2;  int32_t AskQty2;
    double BidPrice3;  int32_t BidQty3;  double AskPrice3;  int32_t AskQty3;
    double BidPrice4;  int32_t BidQty4;  double AskPrice4;  int32_t AskQty4;
    double BidPrice5;  int32_t BidQty5;  double AskPrice5;  int32_t AskQty5;
    double BidPrice6;  int32_t BidQty6;  double AskPrice6;  int32_t AskQty6;
    double BidPrice7;  int32_t BidQty7;  double AskPrice7;  int32_t AskQty7;
    double BidPrice8;  int32_t BidQty8;  double AskPrice8;  int32_t AskQty8;
    double BidPrice9;  int32_t BidQty9;  double AskPrice9;  int32_t AskQty9;
    double BidPrice10; int32_t BidQty10; double AskPrice10; int32_t AskQty10;
    char BSFlag[1];                // one character, no terminator
    char ExchangeID[17];
};

#endif
