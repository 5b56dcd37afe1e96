// A callback object for the fuzz targets: reads every byte of every record it
// is handed, checks that every public text is terminated within its array,
// and passes the internal notifications on to the API object so that the
// public conversion runs as well.
#ifndef KELM_FUZZ_CFIELDTOUCHER_H
#define KELM_FUZZ_CFIELDTOUCHER_H

#include <KelmRivoMdApi.h>
#include "quote/CTarnQuotSpi.h"

#include <cstddef>
#include <cstdint>

class CFieldToucher final : public CTarnQuotSpi, public CKelmRivoMdCallback
{
public:
    explicit CFieldToucher(CTarnQuotSpi* next) : m_next(next) {}

    // Internal side.
    void OnConnected() override;
    void OnDisconnected() override;
    void OnLoginResponse(const LoginRsp* r, const RspInfo* i, int id, int last) override;
    void OnLogoutResponse(const LogoutRsp* r, const RspInfo* i, int id, int last) override;
    void OnSubscribeResponse(const QuotSubscribeRsp* r, const RspInfo* i, int id, int last) override;
    void OnUnsubscribeResponse(const QuotUnSubscribeRsp* r, const RspInfo* i, int id, int last) override;
    void OnQuote(const QuotRecord* quote) override;
    void OnMinDataResponse150(const MinData* r, const RspInfo* i, int id, int last) override;
    void OnDayDataResponse(const DayData* r, const RspInfo* i, int id, int last) override;
    void OnMinDataResponse192(const MinData* r, const RspInfo* i, int id, int last) override;
    void OnMinDataResponse194(const MinData* r, const RspInfo* i, int id, int last) override;
    void OnTradeDetailResponse(const TradeDetailRecord* r, const RspInfo* i, int id, int last) override;

    // Public side.
    void NotifyLoginResult(LoginResultRecord* r, ResponseInfoRecord* i, int id, bool last) override;
    void NotifyLogoutResult(LogoutResultRecord* r, ResponseInfoRecord* i, int id, bool last) override;
    void NotifySubscribeResult(InstrumentSpecRecord* r, ResponseInfoRecord* i, int id, bool last) override;
    void NotifyUnsubscribeResult(InstrumentSpecRecord* r, ResponseInfoRecord* i, int id, bool last) override;
    void NotifyQuote(MarketDepthRecord* quote) override;

    uint64_t Notifications() const { return m_notifications; }

private:
    void Touch(const void* record, std::size_t size);
    template <class Record>
    void TouchRecord(const Record* record)
    {
        if (record)
            Touch(record, sizeof *record);
    }
    template <std::size_t N>
    static void CheckTerminated(const char (&text)[N]);
    void CheckInfo(const ResponseInfoRecord* info);

    CTarnQuotSpi* m_next;
    uint64_t m_notifications = 0;
    uint8_t m_sink = 0;
};

#endif
