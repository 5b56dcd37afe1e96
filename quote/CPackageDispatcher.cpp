#include "quote/CPackageDispatcher.h"

#include "bml/CAPIPackage.h"
#include "quote/CQuotDecoder.h"
#include "quote/CResponseDecoder.h"

int CPackageDispatcher::Dispatch(CAPIPackage& package, CTarnQuotSpi* const& callback)
{
    switch (package.GetServiceNo())
    {
    case 8:
        return CResponseDecoder::Subscribe(package, callback);
    case 10:
        return CResponseDecoder::Unsubscribe(package, callback);
    case 117:
        return CResponseDecoder::Login(package, callback);
    case 119:
        return CResponseDecoder::Logout(package, callback);
    case QuoteService:
        return CQuotDecoder::Dispatch(package, callback);
    case 151:
        return CResponseDecoder::MinData150(package, callback);
    case 153:
        return CResponseDecoder::DayData(package, callback);
    case 193:
        return CResponseDecoder::MinData192(package, callback);
    case 195:
        return CResponseDecoder::MinData194(package, callback);
    case 212:
        return CResponseDecoder::TradeDetail(package, callback);
    default:
        return 0;  // heartbeats (0) and services this client does not handle
    }
}
