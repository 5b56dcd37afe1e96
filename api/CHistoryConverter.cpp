#include "api/CHistoryConverter.h"

#include "api/CRecordConverter.h"

#include <chrono>
#include <cstring>

namespace
{

template <class Record>
void Zero(Record& record)
{
    std::memset(&record, 0, sizeof record);
}

// Instrument and exchange, which bars and queries carry alike.
template <class Target, class Source>
void CopyInstrument(Target& target, const Source& source)
{
    CRecordConverter::CopyText(target.InstrumentID, sizeof target.InstrumentID, source.InstrumentID);
    CRecordConverter::CopyText(target.ExchangeID, sizeof target.ExchangeID, source.ExchangeID);
}

// The fields minute and day bars share.
template <class Bar, class Source>
void CopyPrices(Bar& target, const Source& source)
{
    CopyInstrument(target, source);
    target.OpenPrice = source.OpenPrice;
    target.HighestPrice = source.HighestPrice;
    target.LowestPrice = source.LowestPrice;
    target.ClosePrice = source.ClosePrice;
    target.QtyTotal = static_cast<long long>(source.QtyTotal);
    target.OI = static_cast<long long>(source.OI);
    target.Amount = source.Amount;
}

bool StartsWithEightDigits(const char* text, std::size_t size)
{
    for (std::size_t i = 0; i < 8; ++i)
        if (i >= size || text[i] < '0' || text[i] > '9')
            return false;
    return size == 8 || text[8] < '0' || text[8] > '9';
}

long long Microseconds(std::chrono::nanoseconds duration)
{
    return std::chrono::duration_cast<std::chrono::microseconds>(duration).count();
}

}  // namespace

void CHistoryConverter::ToMinuteBar(MinuteBarRecord& target, const MinData& source)
{
    Zero(target);
    CopyPrices(target, source);
    // "YYYY-MM-DD HH:MM:SS": the date compacted, the time after the blank.
    CRecordConverter::CompactDate(target.Date, source.DateTime, sizeof source.DateTime);
    if (source.DateTime[10] == ' ')
        CRecordConverter::CopyText(target.Time, sizeof target.Time, source.DateTime + 11);
}

void CHistoryConverter::ToDayBar(DayBarRecord& target, const DayData& source)
{
    Zero(target);
    CopyPrices(target, source);
    CRecordConverter::CompactDate(target.Date, source.Date, sizeof source.Date);
}

void CHistoryConverter::ToTradeTick(TradeTickRecord& target, const TradeDetailRecord& source)
{
    Zero(target);
    CRecordConverter::CopyText(target.MatchID, sizeof target.MatchID, source.MatchID);
    CRecordConverter::CopyText(target.InstrumentID, sizeof target.InstrumentID, source.InstrumentID);
    CRecordConverter::CompactDate(target.Date, source.Date, sizeof source.Date);
    CRecordConverter::CopyText(target.Time, sizeof target.Time, source.Time);
    target.BSFlag = source.BSFlag[0];
    target.Qty = source.Qty;
    target.Price = source.Price;
}

void CHistoryConverter::ExpandDate(char* target, std::size_t size, const char* source, std::size_t sourceSize)
{
    std::size_t length = 0;
    while (length < sourceSize && source[length] != '\0')
        ++length;
    if (!StartsWithEightDigits(source, length))
    {
        CRecordConverter::CopyText(target, size, source);
        return;
    }
    char expanded[64] = {};
    std::memcpy(expanded, source, 4);
    expanded[4] = '-';
    std::memcpy(expanded + 5, source + 4, 2);
    expanded[7] = '-';
    std::memcpy(expanded + 8, source + 6, 2);
    const std::size_t rest = length - 8 < sizeof expanded - 11 ? length - 8 : sizeof expanded - 11;
    std::memcpy(expanded + 10, source + 8, rest);
    CRecordConverter::CopyText(target, size, expanded);
}

void CHistoryConverter::ToMinuteQuery(MinDataQueryReq& target, const MinuteBarQueryRecord& source)
{
    Zero(target);
    CopyInstrument(target, source);
    ExpandDate(target.DateTimeFrom, sizeof target.DateTimeFrom, source.DateTimeFrom, sizeof source.DateTimeFrom);
    ExpandDate(target.DateTimeTo, sizeof target.DateTimeTo, source.DateTimeTo, sizeof source.DateTimeTo);
}

void CHistoryConverter::ToDayQuery(DayDataQueryReq& target, const DayBarQueryRecord& source)
{
    Zero(target);
    CopyInstrument(target, source);
    ExpandDate(target.DateFrom, sizeof target.DateFrom, source.DateFrom, sizeof source.DateFrom);
    ExpandDate(target.DateTo, sizeof target.DateTo, source.DateTo, sizeof source.DateTo);
}

void CHistoryConverter::ToTradeQuery(TradeDetailDataQueryReq& target, const TradeQueryRecord& source)
{
    Zero(target);
    CopyInstrument(target, source);
    ExpandDate(target.TradeDate, sizeof target.TradeDate, source.TradeDate, sizeof source.TradeDate);
}

void CHistoryConverter::ToLinkStats(LinkStatsRecord& target, const CLinkStats::Snapshot& source)
{
    Zero(target);
    target.QuotesReceived = static_cast<long long>(source.QuotesReceived);
    target.PackagesReceived = static_cast<long long>(source.PackagesReceived);
    target.BytesReceived = static_cast<long long>(source.BytesReceived);
    target.ConnectionsMade = static_cast<long long>(source.ConnectionsMade);
    target.LinksLost = static_cast<long long>(source.LinksLost);
    target.HeartbeatsSent = static_cast<long long>(source.HeartbeatsSent);
    target.LastReceiveTime = source.HasReceived ? Microseconds(source.LastReceiveTime.time_since_epoch()) : 0;
    target.LastReceiveAge = source.HasReceived ? Microseconds(source.LastReceiveAge) : -1;
    static_assert(sizeof target.ServerAddress == CLinkStats::AddressSize, "one address size");
    CRecordConverter::CopyText(target.ServerAddress, sizeof target.ServerAddress, source.ServerAddress);
    target.Connected = target.ServerAddress[0] != '\0' ? 1 : 0;
}
