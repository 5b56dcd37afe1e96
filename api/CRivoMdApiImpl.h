// The exported API object: translates the application's requests into calls
// on the quote client, and the quote client's notifications into calls on the
// application's callback object.
#ifndef KELM_API_CRIVOMDAPIIMPL_H
#define KELM_API_CRIVOMDAPIIMPL_H

#include <KelmRivoMdApi.h>
#include "api/CRivoMdExtensionImpl.h"
#include "quote/CTarnQuotApi.h"
#include "quote/CTarnQuotSpi.h"

#include <atomic>
#include <memory>

class CRivoMdApiImpl final : public CKelmRivoMdApi, public CTarnQuotSpi
{
public:
    /// Releases a quote client through its own Destroy.
    struct QuoteApiDestroyer
    {
        void operator()(CTarnQuotApi* quoteApi) const { quoteApi->Destroy(); }
    };
    using QuoteApiPtr = std::unique_ptr<CTarnQuotApi, QuoteApiDestroyer>;

    /// Takes ownership of quoteApi and registers itself as its callback.
    /// linkStats and engine, when given, are the quote client's figures and
    /// the runner of its network thread.
    explicit CRivoMdApiImpl(QuoteApiPtr quoteApi, const CLinkStats* linkStats = nullptr,
                            CEngineRunner* engine = nullptr);

    /// The history and figures interface of this object.
    CRivoMdExtensionImpl& Extension() { return m_extension; }

    // Request side.
    void Dispose() override;
    void Launch() override;
    int Idle() override;
    const char* GetTradeDate() override;
    void AddServerUrl(const char* address) override;
    void ReservedSetting1(void* reserved) override;
    void ReservedSetting2(void* reserved) override;
    void SetCallbackObject(CKelmRivoMdCallback* callback) override;
    int SubscribeQuotes(char* codes[], int count) override;
    int UnsubscribeQuotes(char* codes[], int count) override;
    int ReservedRequest1(int reserved1, int reserved2) override;
    int ReservedRequest2(int reserved1, int reserved2) override;
    int SubmitLogin(const LoginRequestRecord* request, int requestId) override;
    int SubmitLogout(const LogoutRequestRecord* request, int requestId) override;
    int ReservedRequest3(int reserved1, int reserved2) override;

    // Callback side, on the quote client's network thread. Each handler ends
    // with the call to the application and touches nothing after it, because
    // the application may dispose of this object from inside the call.
    void OnConnected() override;
    void OnDisconnected() override;
    void OnLoginResponse(const LoginRsp* response, const RspInfo* info, int requestId,
                         int endFlag) override;
    void OnLogoutResponse(const LogoutRsp* response, const RspInfo* info, int requestId,
                          int endFlag) override;
    void OnSubscribeResponse(const QuotSubscribeRsp* response, const RspInfo* info,
                             int requestId, int endFlag) override;
    void OnUnsubscribeResponse(const QuotUnSubscribeRsp* response, const RspInfo* info,
                               int requestId, int endFlag) override;
    void OnQuote(const QuotRecord* quote) override;
    void OnMinDataResponse150(const MinData* record, const RspInfo* info, int requestId,
                              int flag) override;
    void OnDayDataResponse(const DayData* record, const RspInfo* info, int requestId,
                           int flag) override;
    void OnMinDataResponse192(const MinData* record, const RspInfo* info, int requestId,
                              int flag) override;
    void OnMinDataResponse194(const MinData* record, const RspInfo* info, int requestId,
                              int flag) override;
    void OnTradeDetailResponse(const TradeDetailRecord* record, const RspInfo* info, int requestId,
                               int flag) override;

private:
    ~CRivoMdApiImpl();

    template <class Response>
    void NotifyInstrumentResult(
        const Response* response, const RspInfo* info, int requestId,
        void (CKelmRivoMdCallback::*notify)(InstrumentSpecRecord*, ResponseInfoRecord*, int, bool));
    template <class Request>
    void SendEachCode(char* codes[], int count,
                      int (CTarnQuotApi::*send)(const Request*, int));

    char m_userCode[16];
    char m_brokerCode[11];
    char m_tradeDate[9];
    QuoteApiPtr m_quoteApi;
    CRivoMdExtensionImpl m_extension;  // refers to *m_quoteApi
    // Read on the network thread while the application sets or clears it.
    std::atomic<CKelmRivoMdCallback*> m_appCallback;
    bool m_launched;
};

#endif
