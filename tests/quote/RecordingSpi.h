// A CTarnQuotSpi that keeps a copy of everything it is told.
#ifndef KELM_TESTS_QUOTE_RECORDINGSPI_H
#define KELM_TESTS_QUOTE_RECORDINGSPI_H

#include "quote/CTarnQuotSpi.h"

#include <string>
#include <vector>

struct RecordingSpi : CTarnQuotSpi
{
    template <class Record>
    struct Call
    {
        bool hasRecord;
        Record record;
        bool hasInfo;
        RspInfo info;
        int requestId;
        int flag;
    };

    template <class Record>
    static Call<Record> Make(const Record* record, const RspInfo* info, int requestId, int flag)
    {
        Call<Record> call{record != nullptr, Record{}, info != nullptr, RspInfo{}, requestId, flag};
        if (record)
            call.record = *record;
        if (info)
            call.info = *info;
        return call;
    }

    void OnLoginResponse(const LoginRsp* r, const RspInfo* i, int id, int f) override
    {
        logins.push_back(Make(r, i, id, f));
    }
    void OnLogoutResponse(const LogoutRsp* r, const RspInfo* i, int id, int f) override
    {
        logouts.push_back(Make(r, i, id, f));
    }
    void OnSubscribeResponse(const QuotSubscribeRsp* r, const RspInfo* i, int id, int f) override
    {
        subscribes.push_back(Make(r, i, id, f));
    }
    void OnUnsubscribeResponse(const QuotUnSubscribeRsp* r, const RspInfo* i, int id, int f) override
    {
        unsubscribes.push_back(Make(r, i, id, f));
    }
    void OnQuote(const QuotRecord* quote) override { quotes.push_back(*quote); }
    void OnMinDataResponse150(const MinData* r, const RspInfo* i, int id, int f) override
    {
        minData.push_back(Make(r, i, id, f));
        minServices.push_back(150);
    }
    void OnMinDataResponse192(const MinData* r, const RspInfo* i, int id, int f) override
    {
        minData.push_back(Make(r, i, id, f));
        minServices.push_back(192);
    }
    void OnMinDataResponse194(const MinData* r, const RspInfo* i, int id, int f) override
    {
        minData.push_back(Make(r, i, id, f));
        minServices.push_back(194);
    }
    void OnDayDataResponse(const DayData* r, const RspInfo* i, int id, int f) override
    {
        dayData.push_back(Make(r, i, id, f));
    }
    void OnTradeDetailResponse(const TradeDetailRecord* r, const RspInfo* i, int id, int f) override
    {
        trades.push_back(Make(r, i, id, f));
    }

    std::size_t Total() const
    {
        return logins.size() + logouts.size() + subscribes.size() + unsubscribes.size() +
               quotes.size() + minData.size() + dayData.size() + trades.size();
    }

    std::vector<Call<LoginRsp>> logins;
    std::vector<Call<LogoutRsp>> logouts;
    std::vector<Call<QuotSubscribeRsp>> subscribes;
    std::vector<Call<QuotUnSubscribeRsp>> unsubscribes;
    std::vector<QuotRecord> quotes;
    std::vector<Call<MinData>> minData;
    std::vector<int> minServices;
    std::vector<Call<DayData>> dayData;
    std::vector<Call<TradeDetailRecord>> trades;
};

#endif
