// The quote client as the exported API sees it. Request operations return
// 0 when the request was queued for the network thread and -1 when the client
// is not started or holds no established connection.
#ifndef KELM_QUOTE_CTARNQUOTAPI_H
#define KELM_QUOTE_CTARNQUOTAPI_H

#include "quote/CTarnQuotSpi.h"
#include "quote/QuotRequests.h"

class CTarnQuotApi
{
public:
    virtual void Destroy() = 0;                                            // 0
    virtual void SetCallback(CTarnQuotSpi* callback) = 0;                  // 1
    virtual int Start() = 0;                                               // 2
    virtual int Stop() = 0;                                                // 3
    virtual int AddServerAddress(const char* address) = 0;                 // 4
    virtual const char* GetErrorText(int code) = 0;                        // 5
    virtual int Login(const LoginReq* request, int requestId) = 0;         // 6
    virtual int Logout(const LogoutReq* request, int requestId) = 0;       // 7
    virtual int Subscribe(const QuotSubscribeReq* request, int requestId) = 0;       // 8
    virtual int Unsubscribe(const QuotUnSubscribeReq* request, int requestId) = 0;   // 9
    virtual int QueryMinData150(const MinDataQueryReq* request, int requestId) = 0;  // 10
    virtual int QueryDayData(const DayDataQueryReq* request, int requestId) = 0;     // 11
    virtual int QueryMinData192(const MinDataQueryReq* request, int requestId) = 0;  // 12
    virtual int QueryMinData194(const MinDataQueryReq* request, int requestId) = 0;  // 13
    virtual int QueryTradeDetail(const TradeDetailDataQueryReq* request, int requestId) = 0;  // 14
    virtual ~CTarnQuotApi() = default;                                     // 15
};

#endif
