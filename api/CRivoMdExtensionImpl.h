// The history and figures interface of one API object: turns the public
// queries into quote-client requests, and the quote client's list records
// into the application's notifications, each telling whether it ends the
// whole answer.
#ifndef KELM_API_CRIVOMDEXTENSIONIMPL_H
#define KELM_API_CRIVOMDEXTENSIONIMPL_H

#include <KelmRivoMdExtension.h>
#include "net/CEngineRunner.h"
#include "net/CLinkStats.h"
#include "quote/CTarnQuotApi.h"

#include <atomic>

class CRivoMdExtensionImpl final : public CKelmRivoMdExtension
{
public:
    /// linkStats may be null (a quote client without figures): they then read
    /// 0; engine may be null (a quote client without a network thread of its
    /// own): SetSpinning then returns -3.
    CRivoMdExtensionImpl(CTarnQuotApi& quoteApi, const CLinkStats* linkStats, CEngineRunner* engine);
    ~CRivoMdExtensionImpl() = default;
    CRivoMdExtensionImpl(const CRivoMdExtensionImpl&) = delete;
    CRivoMdExtensionImpl& operator=(const CRivoMdExtensionImpl&) = delete;

    void SetCallbackObject(CKelmRivoMdExtensionCallback* callback) override;
    int QueryMinuteBars(const MinuteBarQueryRecord* query, int requestId) override;
    int QueryDayBars(const DayBarQueryRecord* query, int requestId) override;
    int QueryTrades(const TradeQueryRecord* query, int requestId) override;
    int GetLinkStats(LinkStatsRecord* stats) override;
    int SetSpinning(int microseconds) override;

    // The quote client's list records, on the network thread. flag is 1
    // while more of the answer follows (in this package or, with EndFlag 1,
    // in a later one) and 0 on the record that ends it. Each ends with the
    // call to the application and touches nothing after it.
    void OnMinuteBar(const MinData* record, const RspInfo* info, int requestId, int flag);
    void OnDayBar(const DayData* record, const RspInfo* info, int requestId, int flag);
    void OnTradeTick(const TradeDetailRecord* record, const RspInfo* info, int requestId, int flag);

private:
    template <class Public, class Internal>
    void Deliver(const Internal* record, const RspInfo* info, int requestId, int flag,
                 void (*convert)(Public&, const Internal&),
                 void (CKelmRivoMdExtensionCallback::*notify)(const Public*, const ResponseInfoRecord*, int,
                                                              bool));

    CTarnQuotApi& m_quoteApi;
    const CLinkStats* m_linkStats;
    CEngineRunner* m_engine;
    // Read on the network thread while the application sets or clears it.
    std::atomic<CKelmRivoMdExtensionCallback*> m_callback;
};

#endif
