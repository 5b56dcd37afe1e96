// Request records the quote client takes. Each field is named after its
// dictionary entry; text widths include the terminator. The fields, in
// declaration order, are the elements of the record on the wire.
#ifndef KELM_QUOTE_QUOTREQUESTS_H
#define KELM_QUOTE_QUOTREQUESTS_H

#include <cstdint>

struct LoginReq                    // element 1032, service 116
{
    char InvestorID[16];
    char InvestorPassword[21];
    char IP[101];
    char ProductType;              // single character
    int32_t ProductVersion;
};

struct LogoutReq                   // element 1037, service 118
{
    char InvestorID[16];
};

struct QuotSubscribeReq            // element 1017, service 7
{
    char InvestorID[16];
    char InstrumentID[16];
};

struct QuotUnSubscribeReq          // element 1019, service 9
{
    char InvestorID[16];
    char InstrumentID[16];
};

struct MinDataQueryReq             // element 1277, services 150, 192, 194
{
    char InstrumentID[16];
    char DateTimeFrom[20];
    char DateTimeTo[20];
    char ExchangeID[17];
};

struct DayDataQueryReq             // element 1279, service 152
{
    char InstrumentID[16];
    char DateFrom[11];
    char DateTo[11];
    char ExchangeID[17];
};

struct TradeDetailDataQueryReq     // element 1606, service 211
{
    char InstrumentID[16];
    char TradeDate[11];
    char ExchangeID[17];
};

#endif
