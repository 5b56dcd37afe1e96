// History queries and link figures as a Windows application uses them, shared
// by the MinGW application and the Microsoft-ABI one. It uses only the public
// headers and functions both can declare: the includer declares printf,
// strcmp, memset and the kernel32 event functions (CreateEventA, SetEvent,
// WaitForSingleObject, CloseHandle) before including it.
//
// Against kelm-quote-sim (any trading day after March 2024): the week of
// 26 February 2024 has generated history, so its day bars, the trades of
// 1 March and that day's minute bars must agree with each other, and every
// record is read field by field.
#ifndef KELM_TESTS_WINDOWS_HISTORYCHECKS_H
#define KELM_TESTS_WINDOWS_HISTORYCHECKS_H

#include <KelmRivoMdExtension.h>

namespace historychecks
{

struct Checker
{
    int failures = 0;
    void operator()(bool ok, const char* what)
    {
        if (!ok)
        {
            printf("FAILED: %s\n", what);
            ++failures;
        }
    }
};

// One answer at a time: its records, how many said isLast, its result.
class Recorder : public CKelmRivoMdExtensionCallback
{
public:
    // Enough for the answers below; small enough for the stack.
    static const int MaxMinutes = 400;
    static const int MaxDays = 8;
    static const int MaxTrades = 1500;

    Recorder() : m_done(CreateEventA(nullptr, 0, 0, nullptr)) {}
    ~Recorder() { CloseHandle(m_done); }
    Recorder(const Recorder&) = delete;
    Recorder& operator=(const Recorder&) = delete;

    void Expect(int requestId)
    {
        memset(&info, 0, sizeof info);
        m_requestId = requestId;
        count = nulls = lastFlags = wrongId = 0;
        lastOnLast = false;
    }
    bool Wait() { return WaitForSingleObject(m_done, 60000) == 0; }

    void NotifyMinuteBar(const MinuteBarRecord* bar, const ResponseInfoRecord* i, int id, bool last) override
    {
        if (bar && count < MaxMinutes)
            minutes[count] = *bar;
        Note(bar != nullptr, i, id, last);
    }
    void NotifyDayBar(const DayBarRecord* bar, const ResponseInfoRecord* i, int id, bool last) override
    {
        if (bar && count < MaxDays)
            days[count] = *bar;
        Note(bar != nullptr, i, id, last);
    }
    void NotifyTradeTick(const TradeTickRecord* trade, const ResponseInfoRecord* i, int id, bool last) override
    {
        if (trade && count < MaxTrades)
            trades[count] = *trade;
        Note(trade != nullptr, i, id, last);
    }

    MinuteBarRecord minutes[MaxMinutes];
    DayBarRecord days[MaxDays];
    TradeTickRecord trades[MaxTrades];
    ResponseInfoRecord info;
    volatile int count = 0;  // records
    volatile int nulls = 0;
    volatile int lastFlags = 0;
    volatile int wrongId = 0;
    volatile bool lastOnLast = false;

private:
    void Note(bool record, const ResponseInfoRecord* i, int id, bool last)
    {
        if (id != m_requestId)
            ++wrongId;
        if (record)
            ++count;
        else
            ++nulls;
        if (i)
            info = *i;
        lastFlags += last;
        lastOnLast = last;
        if (last)
            SetEvent(m_done);
    }

    void* m_done;
    int m_requestId = 0;
};

inline void SetText(char* field, int size, const char* text)
{
    int i = 0;
    for (; i + 1 < size && text[i]; ++i)
        field[i] = text[i];
    for (; i < size; ++i)
        field[i] = '\0';
}

// The layout as this compiler sees it.
inline void CheckLayout(Checker& check)
{
    check(sizeof(MinuteBarQueryRecord) == 80 && sizeof(DayBarQueryRecord) == 56 && sizeof(TradeQueryRecord) == 44,
          "query record sizes");
    check(sizeof(MinuteBarRecord) == 112 && sizeof(DayBarRecord) == 104 && sizeof(TradeTickRecord) == 80,
          "answer record sizes");
    check(sizeof(LinkStatsRecord) == 256 && __builtin_offsetof(LinkStatsRecord, ServerAddress) == 72,
          "LinkStatsRecord layout");
    check(__builtin_offsetof(MinuteBarRecord, OpenPrice) == 56 && __builtin_offsetof(TradeTickRecord, Price) == 72,
          "8-byte members on 8");
}

// Runs the queries on a launched, logged-in API object whose server listens
// on address ("host:port") and knows the instrument code.
inline void Run(CKelmRivoMdApi* api, const char* address, const char* code, Checker& check)
{
    CheckLayout(check);
    check(CKelmRivoMdExtension::GetExtensionVersion() == KELM_MD_EXTENSION_VERSION, "GetExtensionVersion");
    check(CKelmRivoMdExtension::FromApi(nullptr) == nullptr, "FromApi(null)");
    CKelmRivoMdExtension* extension = CKelmRivoMdExtension::FromApi(api);
    check(extension != nullptr, "FromApi");
    if (!extension)
        return;
    Recorder recorder;
    extension->SetCallbackObject(&recorder);
    // The queries below are answered to a network thread that polls.
    check(extension->SetSpinning(-2) == -1, "SetSpinning refuses -2");
    check(extension->SetSpinning(-1) == 0, "SetSpinning(-1)");

    // Day bars of the week: five weekdays in order, each bar consistent.
    DayBarQueryRecord days;
    memset(&days, 0, sizeof days);
    SetText(days.InstrumentID, sizeof days.InstrumentID, code);
    SetText(days.DateFrom, sizeof days.DateFrom, "20240226");
    SetText(days.DateTo, sizeof days.DateTo, "20240301");
    recorder.Expect(51);
    check(extension->QueryDayBars(&days, 51) == 0, "day bars queued");
    check(recorder.Wait(), "day bars answered");
    const char* dates[] = {"20240226", "20240227", "20240228", "20240229", "20240301"};
    check(recorder.count == 5 && recorder.lastFlags == 1 && recorder.lastOnLast && recorder.wrongId == 0,
          "five day bars, the last one flagged");
    check(recorder.info.RspNo == 0, "day bars RspNo");
    for (int i = 0; i < recorder.count && i < 5; ++i)
    {
        const DayBarRecord& bar = recorder.days[i];
        check(strcmp(bar.Date, dates[i]) == 0, "day bar date");
        check(strcmp(bar.InstrumentID, code) == 0 && bar.ExchangeID[0] != '\0', "day bar instrument and exchange");
        check(bar.LowestPrice <= bar.OpenPrice && bar.OpenPrice <= bar.HighestPrice &&
                  bar.LowestPrice <= bar.ClosePrice && bar.ClosePrice <= bar.HighestPrice,
              "day bar prices");
        check(bar.QtyTotal > 0 && bar.OI > 0 && bar.Amount > 0, "day bar quantities");
    }
    const DayBarRecord friday = recorder.days[4];

    // The trades of that Friday add up to its bar.
    TradeQueryRecord trades;
    memset(&trades, 0, sizeof trades);
    SetText(trades.InstrumentID, sizeof trades.InstrumentID, code);
    SetText(trades.TradeDate, sizeof trades.TradeDate, "20240301");
    recorder.Expect(52);
    check(extension->QueryTrades(&trades, 52) == 0, "trades queued");
    check(recorder.Wait(), "trades answered");
    check(recorder.count == 1440 && recorder.lastFlags == 1 && recorder.lastOnLast, "1440 trades, the last flagged");
    long long traded = 0;
    for (int i = 0; i < recorder.count && i < Recorder::MaxTrades; ++i)
    {
        const TradeTickRecord& trade = recorder.trades[i];
        traded += trade.Qty;
        check(strcmp(trade.Date, "20240301") == 0 && strcmp(trade.InstrumentID, code) == 0, "trade date and code");
        check(trade.BSFlag == 'B' || trade.BSFlag == 'S', "trade side");
        check(trade.Time[2] == ':' && trade.Time[5] == ':' && trade.Time[8] == '\0', "trade time");
    }
    check(traded == friday.QtyTotal, "the trades add up to the day's quantity");
    check(recorder.trades[0].Price == friday.OpenPrice && strcmp(recorder.trades[0].Time, "09:00:00") == 0,
          "the first trade opens the day");
    check(recorder.trades[1439].Price == friday.ClosePrice, "the last trade closes the day");

    // Its minute bars, from another of the three minute services.
    MinuteBarQueryRecord minutes;
    memset(&minutes, 0, sizeof minutes);
    SetText(minutes.InstrumentID, sizeof minutes.InstrumentID, code);
    SetText(minutes.DateTimeFrom, sizeof minutes.DateTimeFrom, "20240301 09:00:00");
    SetText(minutes.DateTimeTo, sizeof minutes.DateTimeTo, "20240301 14:59:59");
    minutes.Service = KelmMinuteService192;
    recorder.Expect(53);
    check(extension->QueryMinuteBars(&minutes, 53) == 0, "minute bars queued");
    check(recorder.Wait(), "minute bars answered");
    check(recorder.count == 360 && recorder.lastFlags == 1 && recorder.lastOnLast, "360 minute bars, the last flagged");
    long long minuteQty = 0;
    double high = 0;
    for (int i = 0; i < recorder.count && i < Recorder::MaxMinutes; ++i)
    {
        minuteQty += recorder.minutes[i].QtyTotal;
        high = recorder.minutes[i].HighestPrice > high ? recorder.minutes[i].HighestPrice : high;
    }
    check(minuteQty == friday.QtyTotal && high == friday.HighestPrice, "the minutes add up to the day");
    check(strcmp(recorder.minutes[0].Date, "20240301") == 0 && strcmp(recorder.minutes[0].Time, "09:00:00") == 0 &&
              strcmp(recorder.minutes[359].Time, "14:59:00") == 0,
          "minute bar date and times");
    check(recorder.minutes[359].ClosePrice == friday.ClosePrice && recorder.minutes[359].OI == friday.OI,
          "the last minute closes the day");

    // A refusal comes once, without a record.
    SetText(days.InstrumentID, sizeof days.InstrumentID, "nope");
    recorder.Expect(54);
    check(extension->QueryDayBars(&days, 54) == 0, "refused query queued");
    check(recorder.Wait(), "refusal answered");
    check(recorder.count == 0 && recorder.nulls == 1 && recorder.lastFlags == 1 && recorder.info.RspNo == 2,
          "a refusal is one null record with its RspNo");
    minutes.Service = 193;
    check(extension->QueryMinuteBars(&minutes, 56) == -3, "an unknown minute service is refused here");

    // The link's figures.
    LinkStatsRecord stats;
    memset(&stats, 0xAB, sizeof stats);
    check(extension->GetLinkStats(&stats) == 0, "GetLinkStats");
    check(stats.Connected == 1 && strcmp(stats.ServerAddress, address) == 0, "connected, to the address given");
    check(stats.ConnectionsMade == 1 && stats.LinksLost == 0, "one connection, no loss");
    check(stats.PackagesReceived >= 40 && stats.BytesReceived > 1440 * 40, "packages and bytes received");
    check(stats.LastReceiveTime > 0 && stats.LastReceiveAge >= 0, "time of the last byte");
    check(extension->SetSpinning(0) == 0, "SetSpinning(0)");
    extension->SetCallbackObject(nullptr);
    printf("history, to a polling network thread: day bars, trades, minute bars and a refusal checked field "
           "by field; %d packages, %d bytes received\n",
           static_cast<int>(stats.PackagesReceived), static_cast<int>(stats.BytesReceived));
}

}  // namespace historychecks

#endif
