// Notifications of the quote client. All run on its network thread; every
// operation has an empty default body so a subclass overrides what it needs.
#ifndef KELM_QUOTE_CTARNQUOTSPI_H
#define KELM_QUOTE_CTARNQUOTSPI_H

#include "quote/QuotRecord.h"
#include "quote/QuotResponses.h"

class CTarnQuotSpi
{
public:
    virtual void OnConnected() {}                                                  // 0
    virtual void OnDisconnected() {}                                               // 1
    virtual void OnLoginResponse(const LoginRsp*, const RspInfo*, int, int) {}     // 2
    virtual void OnLogoutResponse(const LogoutRsp*, const RspInfo*, int, int) {}   // 3
    virtual void OnSubscribeResponse(const QuotSubscribeRsp*, const RspInfo*, int, int) {}      // 4
    virtual void OnUnsubscribeResponse(const QuotUnSubscribeRsp*, const RspInfo*, int, int) {}  // 5
    virtual void OnQuote(const QuotRecord*) {}                                     // 6
    virtual void OnMinDataResponse150(const MinData*, const RspInfo*, int, int) {} // 7
    virtual void OnDayDataResponse(const DayData*, const RspInfo*, int, int) {}    // 8
    virtual void OnMinDataResponse192(const MinData*, const RspInfo*, int, int) {} // 9
    virtual void OnMinDataResponse194(const MinData*, const RspInfo*, int, int) {} // 10
    virtual void OnTradeDetailResponse(const TradeDetailRecord*, const RspInfo*, int, int) {}   // 11

protected:
    ~CTarnQuotSpi() = default;
};

#endif
