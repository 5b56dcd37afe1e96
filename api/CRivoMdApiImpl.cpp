#include "api/CRivoMdApiImpl.h"

#include "api/CRecordConverter.h"
#include "net/Platform.h"

#include <boost/system/system_error.hpp>

#include <cstring>

CRivoMdApiImpl::CRivoMdApiImpl(QuoteApiPtr quoteApi, const CLinkStats* linkStats, CEngineRunner* engine)
    : m_quoteApi(std::move(quoteApi)),
      m_extension(*m_quoteApi, linkStats, engine),
      m_appCallback(nullptr),
      m_launched(false)
{
    m_quoteApi->SetCallback(this);
    std::memset(m_tradeDate, 0, sizeof m_tradeDate);
    std::memset(m_brokerCode, 0, sizeof m_brokerCode);
    std::memset(m_userCode, 0, sizeof m_userCode);
}

CRivoMdApiImpl::~CRivoMdApiImpl() = default;

void CRivoMdApiImpl::Dispose()
{
    // Nothing reaches the application from here on; then the quote client
    // stops (waiting for a running notification to finish, unless this is
    // called from inside one) and is released. The pointer stays set until
    // the client is gone: a notification still running may call a request
    // (reset() would empty it before the wait).
    m_appCallback.store(nullptr);
    m_extension.SetCallbackObject(nullptr);
    m_quoteApi->Destroy();
    m_quoteApi.release();
    delete this;
}

void CRivoMdApiImpl::Launch()
{
    if (m_launched)
        return;  // a second start would create a second connector and leak the first
    m_launched = true;
    if (Platform::ExceptionsReachTheApplication)
    {
        m_quoteApi->Start();
        return;
    }
    try
    {
        m_quoteApi->Start();
    }
    catch (...)
    {
        // Nothing can unwind into the application here. An address that
        // cannot be resolved does not raise on this platform (the connector
        // moves on to the next one); what is left, a network thread that
        // cannot be created, leaves the client idle, still fit for Dispose.
    }
}

int CRivoMdApiImpl::Idle()
{
    return 0;
}

const char* CRivoMdApiImpl::GetTradeDate()
{
    return m_tradeDate;
}

void CRivoMdApiImpl::AddServerUrl(const char* address)
{
    // The first six characters are a scheme marker such as "tcp://". A shorter
    // text has no host part at all and would be read past its end: ignore it.
    if (!address || std::strlen(address) < 6)
        return;
    m_quoteApi->AddServerAddress(address + 6);
}

void CRivoMdApiImpl::ReservedSetting1(void*) {}

void CRivoMdApiImpl::ReservedSetting2(void*) {}

void CRivoMdApiImpl::SetCallbackObject(CKelmRivoMdCallback* callback)
{
    m_appCallback.store(callback);
}

template <class Request>
void CRivoMdApiImpl::SendEachCode(char* codes[], int count,
                                  int (CTarnQuotApi::*send)(const Request*, int))
{
    if (!codes || count <= 0)
        return;  // a negative count would otherwise run through memory
    Request request;
    std::memset(&request, 0, sizeof request);
    for (int i = 0; i < count; ++i)
    {
        if (!codes[i])
            continue;
        CRecordConverter::CopyText(request.InstrumentID, sizeof request.InstrumentID, codes[i]);
        ((*m_quoteApi).*send)(&request, 0);
    }
}

int CRivoMdApiImpl::SubscribeQuotes(char* codes[], int count)
{
    SendEachCode<QuotSubscribeReq>(codes, count, &CTarnQuotApi::Subscribe);
    return 0;
}

int CRivoMdApiImpl::UnsubscribeQuotes(char* codes[], int count)
{
    SendEachCode<QuotUnSubscribeReq>(codes, count, &CTarnQuotApi::Unsubscribe);
    return 0;
}

int CRivoMdApiImpl::ReservedRequest1(int, int)
{
    return -3;
}

int CRivoMdApiImpl::ReservedRequest2(int, int)
{
    return -3;
}

int CRivoMdApiImpl::ReservedRequest3(int, int)
{
    return -3;
}

int CRivoMdApiImpl::SubmitLogin(const LoginRequestRecord* request, int requestId)
{
    if (!request)
        return -1;
    CRecordConverter::CopyText(m_brokerCode, sizeof m_brokerCode, request->BrokerCode);
    CRecordConverter::CopyText(m_userCode, sizeof m_userCode, request->UserCode);
    LoginReq login;
    std::memset(&login, 0, sizeof login);
    CRecordConverter::CopyText(login.InvestorID, sizeof login.InvestorID, request->UserCode);
    CRecordConverter::CopyText(login.InvestorPassword, sizeof login.InvestorPassword,
                               request->Password);
    return m_quoteApi->Login(&login, requestId);
}

int CRivoMdApiImpl::SubmitLogout(const LogoutRequestRecord*, int requestId)
{
    // The logout is always for the user of the last login.
    LogoutReq logout;
    std::memset(&logout, 0, sizeof logout);
    CRecordConverter::CopyText(logout.InvestorID, sizeof logout.InvestorID, m_userCode);
    return m_quoteApi->Logout(&logout, requestId);
}

void CRivoMdApiImpl::OnConnected()
{
    if (CKelmRivoMdCallback* callback = m_appCallback.load())
        callback->NotifyConnected();
}

void CRivoMdApiImpl::OnDisconnected()
{
    if (CKelmRivoMdCallback* callback = m_appCallback.load())
        callback->NotifyDisconnected(0);
}

void CRivoMdApiImpl::OnLoginResponse(const LoginRsp* response, const RspInfo* info,
                                     int requestId, int)
{
    CKelmRivoMdCallback* callback = m_appCallback.load();
    if (!callback)
        return;
    ResponseInfoRecord infoRecord;
    ResponseInfoRecord* infoPassed = CRecordConverter::ToResponseInfo(infoRecord, info);
    LoginResultRecord result;
    if (response)
    {
        CRecordConverter::CompactDate(m_tradeDate, response->TradeDate,
                                      sizeof response->TradeDate);
        std::memset(&result, 0, sizeof result);
        std::memcpy(result.TradeDate, m_tradeDate, 8);
        CRecordConverter::CopyText(result.BrokerCode, sizeof result.BrokerCode, m_brokerCode);
        CRecordConverter::CopyText(result.UserCode, sizeof result.UserCode, m_userCode);
        CRecordConverter::FormatLocalTime(result.LoginTime);
        char* copies[5] = {result.LoginTimeCopy1, result.LoginTimeCopy2, result.LoginTimeCopy3,
                           result.LoginTimeCopy4, result.LoginTimeCopy5};
        for (char* copy : copies)
            std::memcpy(copy, result.LoginTime, 8);
        std::memcpy(result.StartReference, "1", 2);
        CRecordConverter::CopyText(result.SysName, sizeof result.SysName, response->SysName);
        result.SessionIDHigh = static_cast<int>(static_cast<uint32_t>(response->SessionID >> 32));
        result.SessionIDLow = static_cast<int>(static_cast<uint32_t>(response->SessionID));
    }
    callback->NotifyLoginResult(response ? &result : nullptr, infoPassed, requestId, true);
}

void CRivoMdApiImpl::OnLogoutResponse(const LogoutRsp* response, const RspInfo* info,
                                      int requestId, int)
{
    CKelmRivoMdCallback* callback = m_appCallback.load();
    if (!callback)
        return;
    ResponseInfoRecord infoRecord;
    ResponseInfoRecord* infoPassed = CRecordConverter::ToResponseInfo(infoRecord, info);
    LogoutResultRecord result;
    if (response)
    {
        std::memset(&result, 0, sizeof result);
        CRecordConverter::CopyText(result.UserCode, sizeof result.UserCode, m_userCode);
    }
    callback->NotifyLogoutResult(response ? &result : nullptr, infoPassed, requestId, true);
}

template <class Response>
void CRivoMdApiImpl::NotifyInstrumentResult(
    const Response* response, const RspInfo* info, int requestId,
    void (CKelmRivoMdCallback::*notify)(InstrumentSpecRecord*, ResponseInfoRecord*, int, bool))
{
    CKelmRivoMdCallback* callback = m_appCallback.load();
    if (!callback)
        return;
    ResponseInfoRecord infoRecord;
    InstrumentSpecRecord instrument;
    if (response)
    {
        std::memset(&instrument, 0, sizeof instrument);
        CRecordConverter::CopyText(instrument.InstrumentID, sizeof instrument.InstrumentID,
                                   response->InstrumentID);
    }
    (callback->*notify)(response ? &instrument : nullptr,
                        CRecordConverter::ToResponseInfo(infoRecord, info), requestId, true);
}

void CRivoMdApiImpl::OnSubscribeResponse(const QuotSubscribeRsp* response, const RspInfo* info,
                                         int requestId, int)
{
    NotifyInstrumentResult(response, info, requestId, &CKelmRivoMdCallback::NotifySubscribeResult);
}

void CRivoMdApiImpl::OnUnsubscribeResponse(const QuotUnSubscribeRsp* response,
                                           const RspInfo* info, int requestId, int)
{
    NotifyInstrumentResult(response, info, requestId,
                           &CKelmRivoMdCallback::NotifyUnsubscribeResult);
}

void CRivoMdApiImpl::OnQuote(const QuotRecord* quote)
{
    CKelmRivoMdCallback* callback = m_appCallback.load();
    if (!callback || !quote)
        return;
    MarketDepthRecord record;
    CRecordConverter::ToMarketDepth(record, *quote);
    callback->NotifyQuote(&record);
}

// History answers go to the extension's own callback object.
void CRivoMdApiImpl::OnMinDataResponse150(const MinData* record, const RspInfo* info, int requestId,
                                          int flag)
{
    m_extension.OnMinuteBar(record, info, requestId, flag);
}

void CRivoMdApiImpl::OnMinDataResponse192(const MinData* record, const RspInfo* info, int requestId,
                                          int flag)
{
    m_extension.OnMinuteBar(record, info, requestId, flag);
}

void CRivoMdApiImpl::OnMinDataResponse194(const MinData* record, const RspInfo* info, int requestId,
                                          int flag)
{
    m_extension.OnMinuteBar(record, info, requestId, flag);
}

void CRivoMdApiImpl::OnDayDataResponse(const DayData* record, const RspInfo* info, int requestId,
                                       int flag)
{
    m_extension.OnDayBar(record, info, requestId, flag);
}

void CRivoMdApiImpl::OnTradeDetailResponse(const TradeDetailRecord* record, const RspInfo* info,
                                           int requestId, int flag)
{
    m_extension.OnTradeTick(record, info, requestId, flag);
}
