// Adds the one record of a request package to an API package opened with
// BeginRequest, through the record's field map.
#ifndef KELM_QUOTE_CREQUESTBUILDER_H
#define KELM_QUOTE_CREQUESTBUILDER_H

#include "quote/QuotRequests.h"

class CBMLPackage;

class CRequestBuilder
{
public:
    static int AddRecord(CBMLPackage& package, const LoginReq& request);
    static int AddRecord(CBMLPackage& package, const LogoutReq& request);
    static int AddRecord(CBMLPackage& package, const QuotSubscribeReq& request);
    static int AddRecord(CBMLPackage& package, const QuotUnSubscribeReq& request);
    static int AddRecord(CBMLPackage& package, const MinDataQueryReq& request);
    static int AddRecord(CBMLPackage& package, const DayDataQueryReq& request);
    static int AddRecord(CBMLPackage& package, const TradeDetailDataQueryReq& request);
};

#endif
