#include "quote/CResponseDecoder.h"

#include "bml/BMLDictionary.h"
#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"
#include "bml/CBMLRecordSet.h"
#include "quote/CTarnQuotSpi.h"
#include "quote/FieldBinding.h"

#include <cstring>

namespace
{

template <class Record>
void Zero(Record& record)
{
    std::memset(&record, 0, sizeof record);
}

// Finds the element and unpacks it. True only when the element was there,
// had a value and unpacked completely.
bool DecodeElement(CAPIPackage& package, uint16_t tag, const CBMLFieldMap& map)
{
    CBMLPackage element;
    if (package.GetPackage(tag, &element) != 0 || element.GetLength() == 0)
        return false;
    return map.Unpack(element.GetBuffer(), element.GetLength()) == 0;
}

// RspInfo, or null when it is missing or malformed.
const RspInfo* DecodeRspInfo(CAPIPackage& package, RspInfo& info)
{
    Zero(info);
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::RspNo, info.RspNo),
        BindField(BMLDict::RspDesc, info.RspDesc),
    };
    return DecodeElement(package, BMLTag::RspInfo, CBMLFieldMap(bindings)) ? &info : nullptr;
}

template <class Response>
const Response* DecodeInstrument(CAPIPackage& package, uint16_t tag, Response& response)
{
    Zero(response);
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::InstrumentID, response.InstrumentID),
    };
    return DecodeElement(package, tag, CBMLFieldMap(bindings)) ? &response : nullptr;
}

// Field maps of the list records.
template <class Record>
struct BarBindings
{
    BMLFieldBinding Bindings[10];
};

BarBindings<MinData> BindRecord(MinData& r)
{
    return {{BindField(BMLDict::InstrumentID, r.InstrumentID),
             BindField(BMLDict::DateTime, r.DateTime), BindField(BMLDict::OpenPrice, r.OpenPrice),
             BindField(BMLDict::HighestPrice, r.HighestPrice),
             BindField(BMLDict::LowestPrice, r.LowestPrice),
             BindField(BMLDict::ClosePrice, r.ClosePrice),
             BindField(BMLDict::QtyTotal, r.QtyTotal), BindField(BMLDict::OI, r.OI),
             BindField(BMLDict::Amount, r.Amount), BindField(BMLDict::ExchangeID, r.ExchangeID)}};
}

BarBindings<DayData> BindRecord(DayData& r)
{
    return {{BindField(BMLDict::InstrumentID, r.InstrumentID), BindField(BMLDict::Date, r.Date),
             BindField(BMLDict::OpenPrice, r.OpenPrice),
             BindField(BMLDict::HighestPrice, r.HighestPrice),
             BindField(BMLDict::LowestPrice, r.LowestPrice),
             BindField(BMLDict::ClosePrice, r.ClosePrice),
             BindField(BMLDict::QtyTotal, r.QtyTotal), BindField(BMLDict::OI, r.OI),
             BindField(BMLDict::Amount, r.Amount), BindField(BMLDict::ExchangeID, r.ExchangeID)}};
}

struct TradeDetailBindings
{
    BMLFieldBinding Bindings[7];
};

TradeDetailBindings BindRecord(TradeDetailRecord& r)
{
    return {{BindField(BMLDict::MatchID, r.MatchID),
             BindField(BMLDict::InstrumentID, r.InstrumentID), BindField(BMLDict::Date, r.Date),
             BindField(BMLDict::Time, r.Time), BindField(BMLDict::Qty, r.Qty),
             BindField(BMLDict::Price, r.Price), BindField(BMLDict::BSFlag, r.BSFlag)}};
}

// Walks a list answer: one call per complete record, flag 1 while bytes of
// the list follow, the package's EndFlag on the record that ends it; one call
// with a null record for an absent or empty list. The record storage is not
// cleared between records, so a member a record lacks keeps the previous value.
template <class Record>
int DecodeList(CAPIPackage& package, uint16_t listTag, CTarnQuotSpi* const& callback,
               void (CTarnQuotSpi::*notify)(const Record*, const RspInfo*, int, int))
{
    RspInfo infoStorage;
    const RspInfo* info = DecodeRspInfo(package, infoStorage);
    Record storage;
    Zero(storage);
    const auto bindings = BindRecord(storage);
    const CBMLFieldMap map(bindings.Bindings);

    CBMLRecordSet list;
    package.GetRecordSet(listTag, &list);
    const int requestId = package.GetRequestId();
    const int endFlag = package.GetEndFlag();
    if (list.CountRecords() == 0)
    {
        if (callback)
            (callback->*notify)(nullptr, info, requestId, endFlag);
        return 0;
    }
    while (list.NextRecord())
    {
        // The record window ends where the next record's length field starts.
        const uint8_t* body = list.GetData();
        const uint32_t length =
            static_cast<uint32_t>(list.GetBuffer() + list.GetNextOffset() - body);
        map.Unpack(body, length);
        const Record copy = storage;
        const int flag = list.HasMoreRecords() ? 1 : endFlag;
        // Read afresh: the previous record's notification may have disposed
        // of the receiver, which clears the slot.
        if (callback)
            (callback->*notify)(&copy, info, requestId, flag);
    }
    return 0;
}

}  // namespace

int CResponseDecoder::Login(CAPIPackage& package, CTarnQuotSpi* callback)
{
    LoginRsp response;
    Zero(response);
    // SysMode and SessionID share tag 1638: SessionID is expected right after
    // InvestorAdviserFlag.
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::InvestorID, response.InvestorID),
        BindField(BMLDict::TradeDate, response.TradeDate),
        BindField(BMLDict::InvestorName, response.InvestorName),
        BindField(BMLDict::SysName, response.SysName),
        BindField(BMLDict::SysMode, response.SysMode),
        BindField(BMLDict::PayServerType, response.PayServerType),
        BindField(BMLDict::AdviserID, response.AdviserID),
        BindField(BMLDict::InvestorAdviserFlag, response.InvestorAdviserFlag),
        BindField(BMLDict::SessionID, response.SessionID),
    };
    DecodeElement(package, BMLTag::LoginRsp, CBMLFieldMap(bindings));
    RspInfo info;
    DecodeRspInfo(package, info);  // a partly decoded RspInfo is still passed on
    if (callback)
        callback->OnLoginResponse(&response, &info, package.GetRequestId(), package.GetEndFlag());
    return 0;
}

int CResponseDecoder::Logout(CAPIPackage& package, CTarnQuotSpi* callback)
{
    LogoutRsp response;
    Zero(response);
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::InvestorID, response.InvestorID),
    };
    DecodeElement(package, BMLTag::LogoutRsp, CBMLFieldMap(bindings));
    RspInfo info;
    DecodeRspInfo(package, info);
    if (callback)
        callback->OnLogoutResponse(&response, &info, package.GetRequestId(),
                                   package.GetEndFlag());
    return 0;
}

namespace
{

// RspInfo first, then the instrument record; either is passed as null when
// missing or malformed.
template <class Response>
int DecodeInstrumentAnswer(CAPIPackage& package, uint16_t tag, CTarnQuotSpi* callback,
                           void (CTarnQuotSpi::*notify)(const Response*, const RspInfo*, int, int))
{
    RspInfo infoStorage;
    const RspInfo* info = DecodeRspInfo(package, infoStorage);
    Response responseStorage;
    const Response* response = DecodeInstrument(package, tag, responseStorage);
    if (callback)
        (callback->*notify)(response, info, package.GetRequestId(), package.GetEndFlag());
    return 0;
}

}  // namespace

int CResponseDecoder::Subscribe(CAPIPackage& package, CTarnQuotSpi* callback)
{
    return DecodeInstrumentAnswer<QuotSubscribeRsp>(package, BMLTag::QuotSubscribeRsp, callback,
                                                    &CTarnQuotSpi::OnSubscribeResponse);
}

int CResponseDecoder::Unsubscribe(CAPIPackage& package, CTarnQuotSpi* callback)
{
    return DecodeInstrumentAnswer<QuotUnSubscribeRsp>(package, BMLTag::QuotUnSubscribeRsp,
                                                      callback, &CTarnQuotSpi::OnUnsubscribeResponse);
}

int CResponseDecoder::MinData150(CAPIPackage& package, CTarnQuotSpi* const& callback)
{
    return DecodeList<MinData>(package, BMLTag::MinDataList, callback,
                               &CTarnQuotSpi::OnMinDataResponse150);
}

int CResponseDecoder::DayData(CAPIPackage& package, CTarnQuotSpi* const& callback)
{
    return DecodeList<::DayData>(package, BMLTag::DayDataList, callback,
                                 &CTarnQuotSpi::OnDayDataResponse);
}

int CResponseDecoder::MinData192(CAPIPackage& package, CTarnQuotSpi* const& callback)
{
    return DecodeList<MinData>(package, BMLTag::MinDataList, callback,
                               &CTarnQuotSpi::OnMinDataResponse192);
}

int CResponseDecoder::MinData194(CAPIPackage& package, CTarnQuotSpi* const& callback)
{
    return DecodeList<MinData>(package, BMLTag::MinDataList, callback,
                               &CTarnQuotSpi::OnMinDataResponse194);
}

int CResponseDecoder::TradeDetail(CAPIPackage& package, CTarnQuotSpi* const& callback)
{
    return DecodeList<TradeDetailRecord>(package, BMLTag::TradeDetailDataList, callback,
                                         &CTarnQuotSpi::OnTradeDetailResponse);
}
