#include "api/CRivoMdExtensionImpl.h"

#include "api/CHistoryConverter.h"
#include "api/CRecordConverter.h"

CRivoMdExtensionImpl::CRivoMdExtensionImpl(CTarnQuotApi& quoteApi, const CLinkStats* linkStats,
                                           CEngineRunner* engine)
    : m_quoteApi(quoteApi), m_linkStats(linkStats), m_engine(engine), m_callback(nullptr)
{
}

void CRivoMdExtensionImpl::SetCallbackObject(CKelmRivoMdExtensionCallback* callback)
{
    m_callback.store(callback);
}

int CRivoMdExtensionImpl::QueryMinuteBars(const MinuteBarQueryRecord* query, int requestId)
{
    if (!query)
        return -1;
    MinDataQueryReq request;
    CHistoryConverter::ToMinuteQuery(request, *query);
    // One query, three service numbers that answer alike.
    switch (query->Service)
    {
    case KelmMinuteServiceDefault:
    case KelmMinuteService150:
        return m_quoteApi.QueryMinData150(&request, requestId);
    case KelmMinuteService192:
        return m_quoteApi.QueryMinData192(&request, requestId);
    case KelmMinuteService194:
        return m_quoteApi.QueryMinData194(&request, requestId);
    default:
        return -3;
    }
}

int CRivoMdExtensionImpl::QueryDayBars(const DayBarQueryRecord* query, int requestId)
{
    if (!query)
        return -1;
    DayDataQueryReq request;
    CHistoryConverter::ToDayQuery(request, *query);
    return m_quoteApi.QueryDayData(&request, requestId);
}

int CRivoMdExtensionImpl::QueryTrades(const TradeQueryRecord* query, int requestId)
{
    if (!query)
        return -1;
    TradeDetailDataQueryReq request;
    CHistoryConverter::ToTradeQuery(request, *query);
    return m_quoteApi.QueryTradeDetail(&request, requestId);
}

int CRivoMdExtensionImpl::GetLinkStats(LinkStatsRecord* stats)
{
    if (!stats)
        return -1;
    CLinkStats::Snapshot snapshot{};
    if (m_linkStats)
        m_linkStats->Read(snapshot);
    CHistoryConverter::ToLinkStats(*stats, snapshot);
    return 0;
}

int CRivoMdExtensionImpl::SetSpinning(int microseconds)
{
    if (!m_engine)
        return -3;
    return m_engine->SetSpinning(microseconds) ? 0 : -1;
}

// A package without records ends the answer only when it is the last one or
// a refusal; an empty package in the middle of a list carries nothing to pass
// on. So the application sees a null record once, with isLast true.
template <class Public, class Internal>
void CRivoMdExtensionImpl::Deliver(
    const Internal* record, const RspInfo* info, int requestId, int flag, void (*convert)(Public&, const Internal&),
    void (CKelmRivoMdExtensionCallback::*notify)(const Public*, const ResponseInfoRecord*, int, bool))
{
    CKelmRivoMdExtensionCallback* callback = m_callback.load();
    if (!callback)
        return;
    const bool refused = info && info->RspNo != 0;
    if (!record && flag != 0 && !refused)
        return;
    ResponseInfoRecord infoRecord;
    const ResponseInfoRecord* infoPassed = CRecordConverter::ToResponseInfo(infoRecord, info);
    Public converted;
    if (record)
        convert(converted, *record);
    (callback->*notify)(record ? &converted : nullptr, infoPassed, requestId, !record || flag == 0);
}

void CRivoMdExtensionImpl::OnMinuteBar(const MinData* record, const RspInfo* info, int requestId, int flag)
{
    Deliver(record, info, requestId, flag, &CHistoryConverter::ToMinuteBar,
            &CKelmRivoMdExtensionCallback::NotifyMinuteBar);
}

void CRivoMdExtensionImpl::OnDayBar(const DayData* record, const RspInfo* info, int requestId, int flag)
{
    Deliver(record, info, requestId, flag, &CHistoryConverter::ToDayBar, &CKelmRivoMdExtensionCallback::NotifyDayBar);
}

void CRivoMdExtensionImpl::OnTradeTick(const TradeDetailRecord* record, const RspInfo* info, int requestId, int flag)
{
    Deliver(record, info, requestId, flag, &CHistoryConverter::ToTradeTick,
            &CKelmRivoMdExtensionCallback::NotifyTradeTick);
}
