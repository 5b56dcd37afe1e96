#include "quote/CRequestBuilder.h"

#include "bml/BMLDictionary.h"
#include "bml/CBMLFieldMap.h"
#include "bml/CBMLPackage.h"
#include "quote/FieldBinding.h"

// Every builder copies the caller's record into a local one that the
// bindings point at, then packs one record element holding one element per
// field, in the record's field order, whatever the values.

int CRequestBuilder::AddRecord(CBMLPackage& package, const LoginReq& request)
{
    LoginReq record = request;
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::InvestorID, record.InvestorID),
        BindField(BMLDict::InvestorPassword, record.InvestorPassword),
        BindField(BMLDict::IP, record.IP),
        BindField(BMLDict::ProductType, record.ProductType),
        BindField(BMLDict::ProductVersion, record.ProductVersion),
    };
    return package.AddRecord(CBMLFieldMap(bindings), BMLTag::LoginReq);
}

int CRequestBuilder::AddRecord(CBMLPackage& package, const LogoutReq& request)
{
    LogoutReq record = request;
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::InvestorID, record.InvestorID),
    };
    return package.AddRecord(CBMLFieldMap(bindings), BMLTag::LogoutReq);
}

namespace
{

template <class Request>
int AddInstrumentRequest(CBMLPackage& package, const Request& request, uint16_t tag)
{
    Request record = request;
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::InvestorID, record.InvestorID),
        BindField(BMLDict::InstrumentID, record.InstrumentID),
    };
    return package.AddRecord(CBMLFieldMap(bindings), tag);
}

}  // namespace

int CRequestBuilder::AddRecord(CBMLPackage& package, const QuotSubscribeReq& request)
{
    return AddInstrumentRequest(package, request, BMLTag::QuotSubscribeReq);
}

int CRequestBuilder::AddRecord(CBMLPackage& package, const QuotUnSubscribeReq& request)
{
    return AddInstrumentRequest(package, request, BMLTag::QuotUnSubscribeReq);
}

int CRequestBuilder::AddRecord(CBMLPackage& package, const MinDataQueryReq& request)
{
    // Shared by the three minute-data services; only the service number differs.
    MinDataQueryReq record = request;
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::InstrumentID, record.InstrumentID),
        BindField(BMLDict::DateTimeFrom, record.DateTimeFrom),
        BindField(BMLDict::DateTimeTo, record.DateTimeTo),
        BindField(BMLDict::ExchangeID, record.ExchangeID),
    };
    return package.AddRecord(CBMLFieldMap(bindings), BMLTag::MinDataQueryReq);
}

int CRequestBuilder::AddRecord(CBMLPackage& package, const DayDataQueryReq& request)
{
    DayDataQueryReq record = request;
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::InstrumentID, record.InstrumentID),
        BindField(BMLDict::DateFrom, record.DateFrom),
        BindField(BMLDict::DateTo, record.DateTo),
        BindField(BMLDict::ExchangeID, record.ExchangeID),
    };
    return package.AddRecord(CBMLFieldMap(bindings), BMLTag::DayDataQueryReq);
}

int CRequestBuilder::AddRecord(CBMLPackage& package, const TradeDetailDataQueryReq& request)
{
    TradeDetailDataQueryReq record = request;
    const BMLFieldBinding bindings[] = {
        BindField(BMLDict::InstrumentID, record.InstrumentID),
        BindField(BMLDict::TradeDate, record.TradeDate),
        BindField(BMLDict::ExchangeID, record.ExchangeID),
    };
    return package.AddRecord(CBMLFieldMap(bindings), BMLTag::TradeDetailDataQueryReq);
}
