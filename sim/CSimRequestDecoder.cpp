#include "sim/CSimRequestDecoder.h"

#include "bml/BMLDictionary.h"
#include "bml/CAPIPackage.h"
#include "sim/CSimFieldMaps.h"

namespace
{

// Finds the record element and unpacks it into a zeroed record.
template <typename Record>
void DecodeRecord(CAPIPackage& package, uint16_t tag, SimRequest& request)
{
    Record record{};
    auto bindings = CSimFieldMaps::Bind(record);
    CBMLPackage element;
    request.RecordComplete = package.GetPackage(tag, &element) == 0 && element.IsAttached() &&
                             SimMap(bindings).Unpack(element.GetData(), element.GetLength()) == 0;
    request.Record = record;
}

}  // namespace

SimRequest CSimRequestDecoder::Decode(const uint8_t* body, uint32_t length)
{
    CAPIPackage package;
    package.AttachReceived(body, length);

    SimRequest request;
    request.ServiceNo = package.GetServiceNo();
    request.RequestID = package.GetRequestId();
    request.EndFlag = package.GetEndFlag();
    switch (request.ServiceNo)
    {
    case SimService::Login:
        DecodeRecord<LoginReq>(package, BMLTag::LoginReq, request);
        break;
    case SimService::Logout:
        DecodeRecord<LogoutReq>(package, BMLTag::LogoutReq, request);
        break;
    case SimService::Subscribe:
        DecodeRecord<QuotSubscribeReq>(package, BMLTag::QuotSubscribeReq, request);
        break;
    case SimService::Unsubscribe:
        DecodeRecord<QuotUnSubscribeReq>(package, BMLTag::QuotUnSubscribeReq, request);
        break;
    case SimService::MinDataQuery150:
    case SimService::MinDataQuery192:
    case SimService::MinDataQuery194:
        DecodeRecord<MinDataQueryReq>(package, BMLTag::MinDataQueryReq, request);
        break;
    case SimService::DayDataQuery:
        DecodeRecord<DayDataQueryReq>(package, BMLTag::DayDataQueryReq, request);
        break;
    case SimService::TradeDetailQuery:
        DecodeRecord<TradeDetailDataQueryReq>(package, BMLTag::TradeDetailDataQueryReq, request);
        break;
    default:
        break;
    }
    return request;
}
