// Internal response records, filled from the ApiBody of the server's answers.
#ifndef KELM_QUOTE_QUOTRESPONSES_H
#define KELM_QUOTE_QUOTRESPONSES_H

#include <cstdint>

struct RspInfo                     // element 1025, in every answer
{
    uint16_t RspNo;                // 0 = success
    char RspDesc[257];
};

struct LoginRsp                    // element 1033, service 117
{
    char InvestorID[16];
    char TradeDate[11];            // YYYY-MM-DD
    char InvestorName[51];
    char SysName[51];
    char SysMode[1];
    char PayServerType[1];
    char AdviserID[16];
    char InvestorAdviserFlag[1];
    uint64_t SessionID;
};

struct LogoutRsp                   // element 1038, service 119
{
    char InvestorID[16];
};

struct QuotSubscribeRsp            // element 1018, service 8
{
    char InstrumentID[16];
};

struct QuotUnSubscribeRsp          // element 1020, service 10
{
    char InstrumentID[16];
};

struct MinData                     // records of MinDataList (1281)
{
    char InstrumentID[16];
    char DateTime[20];
    double OpenPrice;
    double HighestPrice;
    double LowestPrice;
    double ClosePrice;
    uint64_t QtyTotal;
    uint64_t OI;
    double Amount;
    char ExchangeID[17];
};

struct DayData                     // records of DayDataList (1282)
{
    char InstrumentID[16];
    char Date[11];
    double OpenPrice;
    double HighestPrice;
    double LowestPrice;
    double ClosePrice;
    uint64_t QtyTotal;
    uint64_t OI;
    double Amount;
    char ExchangeID[17];
};

struct TradeDetailRecord           // records of TradeDetailDataList (1608)
{
    char MatchID[31];
    char InstrumentID[16];
    char Date[11];
    char Time[9];
    int32_t Qty;
    double Price;
    char BSFlag[1];
};

#endif
