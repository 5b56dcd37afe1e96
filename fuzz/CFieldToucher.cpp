#include "fuzz/CFieldToucher.h"

#include <cstdlib>
#include <cstring>

void CFieldToucher::Touch(const void* record, std::size_t size)
{
    // Every byte is read, so the sanitizers see any access past the record.
    const uint8_t* bytes = static_cast<const uint8_t*>(record);
    for (std::size_t i = 0; i < size; ++i)
        m_sink ^= bytes[i];
    ++m_notifications;
}

template <std::size_t N>
void CFieldToucher::CheckTerminated(const char (&text)[N])
{
    if (std::memchr(text, 0, N) == nullptr)
        std::abort();
}

void CFieldToucher::CheckInfo(const ResponseInfoRecord* info)
{
    if (!info)
        return;
    Touch(info, sizeof *info);
    CheckTerminated(info->RspDesc);
}

void CFieldToucher::OnConnected()
{
    m_next->OnConnected();
}

void CFieldToucher::OnDisconnected()
{
    m_next->OnDisconnected();
}

void CFieldToucher::OnLoginResponse(const LoginRsp* r, const RspInfo* i, int id, int last)
{
    TouchRecord(r);
    TouchRecord(i);
    m_next->OnLoginResponse(r, i, id, last);
}

void CFieldToucher::OnLogoutResponse(const LogoutRsp* r, const RspInfo* i, int id, int last)
{
    TouchRecord(r);
    TouchRecord(i);
    m_next->OnLogoutResponse(r, i, id, last);
}

void CFieldToucher::OnSubscribeResponse(const QuotSubscribeRsp* r, const RspInfo* i, int id, int last)
{
    TouchRecord(r);
    TouchRecord(i);
    m_next->OnSubscribeResponse(r, i, id, last);
}

void CFieldToucher::OnUnsubscribeResponse(const QuotUnSubscribeRsp* r, const RspInfo* i, int id, int last)
{
    TouchRecord(r);
    TouchRecord(i);
    m_next->OnUnsubscribeResponse(r, i, id, last);
}

void CFieldToucher::OnQuote(const QuotRecord* quote)
{
    TouchRecord(quote);
    m_next->OnQuote(quote);
}

void CFieldToucher::OnMinDataResponse150(const MinData* r, const RspInfo* i, int, int)
{
    TouchRecord(r);
    TouchRecord(i);
}

void CFieldToucher::OnDayDataResponse(const DayData* r, const RspInfo* i, int, int)
{
    TouchRecord(r);
    TouchRecord(i);
}

void CFieldToucher::OnMinDataResponse192(const MinData* r, const RspInfo* i, int, int)
{
    TouchRecord(r);
    TouchRecord(i);
}

void CFieldToucher::OnMinDataResponse194(const MinData* r, const RspInfo* i, int, int)
{
    TouchRecord(r);
    TouchRecord(i);
}

void CFieldToucher::OnTradeDetailResponse(const TradeDetailRecord* r, const RspInfo* i, int, int)
{
    TouchRecord(r);
    TouchRecord(i);
}

void CFieldToucher::NotifyLoginResult(LoginResultRecord* r, ResponseInfoRecord* i, int, bool)
{
    CheckInfo(i);
    if (!r)
        return;
    Touch(r, sizeof *r);
    CheckTerminated(r->TradeDate);
    CheckTerminated(r->LoginTime);
    CheckTerminated(r->BrokerCode);
    CheckTerminated(r->UserCode);
    CheckTerminated(r->SysName);
}

void CFieldToucher::NotifyLogoutResult(LogoutResultRecord* r, ResponseInfoRecord* i, int, bool)
{
    CheckInfo(i);
    if (!r)
        return;
    Touch(r, sizeof *r);
    CheckTerminated(r->UserCode);
}

void CFieldToucher::NotifySubscribeResult(InstrumentSpecRecord* r, ResponseInfoRecord* i, int, bool)
{
    CheckInfo(i);
    if (!r)
        return;
    Touch(r, sizeof *r);
    CheckTerminated(r->InstrumentID);
}

void CFieldToucher::NotifyUnsubscribeResult(InstrumentSpecRecord* r, ResponseInfoRecord* i, int id, bool last)
{
    NotifySubscribeResult(r, i, id, last);
}

void CFieldToucher::NotifyQuote(MarketDepthRecord* quote)
{
    Touch(quote, sizeof *quote);
    CheckTerminated(quote->TradeDate);
    CheckTerminated(quote->ExchangeID);
    CheckTerminated(quote->ModifyTime);
    CheckTerminated(quote->ModifyDate);
    CheckTerminated(quote->InstrumentID);
}
