#include "CHistoryGenerator.h"

#include <algorithm>
#include <cstdio>
#include <random>

#include "CQuoteRandomWalk.h"
#include "SimCalendar.h"
#include "SimText.h"

namespace
{

// A generator for one thing of one instrument on one day.
std::mt19937_64 DayRandom(const SimInstrument& instrument, uint64_t seed, int64_t day, uint64_t salt)
{
    return std::mt19937_64(CQuoteRandomWalk::InstrumentSeed(instrument.Code, seed) ^
                           (static_cast<uint64_t>(day) * 0x9E3779B97F4A7C15ull) ^ salt);
}

constexpr uint64_t ChainSalt = 0x1;
constexpr uint64_t PathSalt = 0x2;

template <typename Record>
void FillBar(Record& record, const SimInstrument& instrument, const TapeBar& bar)
{
    CopyText(record.InstrumentID, instrument.Code);
    CopyText(record.ExchangeID, instrument.Exchange);
    record.OpenPrice = bar.Open;
    record.HighestPrice = bar.High;
    record.LowestPrice = bar.Low;
    record.ClosePrice = bar.Close;
    record.QtyTotal = bar.Qty;
    record.OI = bar.OI;
    record.Amount = bar.Amount;
}

// A minute range: "YYYY-MM-DD HH:MM[:SS]", or a whole day "YYYY-MM-DD".
void ParseMinute(const char* text, bool end, int64_t& minute)
{
    int64_t day = 0;
    if (!SimCalendar::ParseDateTime(text, minute) && SimCalendar::ParseDate(text, day))
        minute = day * 1440 + (end ? 1439 : 0);
}

}  // namespace

CHistoryGenerator::CHistoryGenerator(uint64_t seed, const std::string& tradeDate, const CQuoteRandomWalk* walk)
    : m_seed(seed), m_tradeDay(0), m_walk(walk)
{
    if (!SimCalendar::ParseDate(tradeDate, m_tradeDay))
        m_tradeDay = SimCalendar::Today();
}

std::vector<CHistoryGenerator::GeneratedDay> CHistoryGenerator::Chain(const SimInstrument& instrument,
                                                                      int64_t earliest) const
{
    // Backwards from the walk's opening: each day closes where the next one
    // opened, give or take a gap, and ends with the open interest the next
    // one started from.
    const CQuoteRandomWalk::Opening opening = CQuoteRandomWalk::OpeningOf(instrument.Code, m_seed);
    const double tick = CQuoteRandomWalk::TickSize(opening.PreSettle);
    const auto round = [tick](double price) { return std::max(10 * tick, CQuoteRandomWalk::RoundToTick(price, tick)); };
    double close = opening.PreClose;
    uint64_t oi = opening.PreOI;
    std::vector<GeneratedDay> chain;
    for (int64_t day = m_tradeDay - 1; day >= earliest && static_cast<int64_t>(chain.size()) < HistoryWeekdays; --day)
    {
        if (SimCalendar::Weekday(day) >= 5)
            continue;
        std::mt19937_64 random = DayRandom(instrument, m_seed, day, ChainSalt);
        GeneratedDay generated{day, TapeBar(), 0};
        TapeBar& bar = generated.Bar;
        const double direction = random() % 2 ? 1.0 : -1.0;
        bar.Close = close;
        bar.Open = round(close - direction * static_cast<double>(2 + random() % 12) * tick);
        bar.High = round(std::max(bar.Open, bar.Close) + static_cast<double>(random() % 6) * tick);
        bar.Low = std::min(std::min(bar.Open, bar.Close),
                           round(std::min(bar.Open, bar.Close) - static_cast<double>(random() % 6) * tick));
        bar.Qty = static_cast<uint64_t>(TradesPerGeneratedDay) * (2 + random() % 8) + random() % TradesPerGeneratedDay;
        bar.OI = oi;
        const int64_t change = static_cast<int64_t>(random() % 2001) - 1000;
        generated.PreviousOI = static_cast<uint64_t>(std::max<int64_t>(0, static_cast<int64_t>(oi) - change));
        chain.push_back(generated);
        close = round(bar.Open + static_cast<double>(static_cast<int>(random() % 5) - 2) * tick);
        oi = generated.PreviousOI;
    }
    return chain;
}

// Open, then the high and the low (in an order of the day's choosing) a third
// and two thirds into the session, then the close; in between the price
// moves towards the next of them with a little noise, inside the day's range.
// Quantities add up to the day's, open interest moves from the previous
// day's to the day's close.
std::vector<TapeTrade> CHistoryGenerator::Generate(const SimInstrument& instrument, const GeneratedDay& day) const
{
    std::vector<TapeTrade> trades;
    trades.reserve(static_cast<std::size_t>(TradesPerGeneratedDay));
    const TapeBar& bar = day.Bar;
    const double tick = CQuoteRandomWalk::TickSize(CQuoteRandomWalk::OpeningOf(instrument.Code, m_seed).PreSettle);
    std::mt19937_64 random = DayRandom(instrument, m_seed, day.Day, PathSalt);
    const bool highFirst = random() % 2 == 0;
    const int64_t n = TradesPerGeneratedDay;
    const int64_t at[4] = {0, n / 3, 2 * n / 3, n - 1};
    const double through[4] = {bar.Open, highFirst ? bar.High : bar.Low, highFirst ? bar.Low : bar.High, bar.Close};
    double previous = bar.Open;
    for (int64_t i = 0, leg = 0; i < n; ++i)
    {
        while (leg < 2 && i > at[leg + 1])
            ++leg;
        double price = through[leg + 1];
        if (i != at[leg] && i != at[leg + 1])
        {
            const double share = static_cast<double>(i - at[leg]) / static_cast<double>(at[leg + 1] - at[leg]);
            const double noise = static_cast<double>(static_cast<int>(random() % 5) - 2) * tick;
            price = std::clamp(CQuoteRandomWalk::RoundToTick(
                                   through[leg] + (through[leg + 1] - through[leg]) * share + noise, tick),
                               bar.Low, bar.High);
        }
        else if (i == at[leg])
            price = through[leg];
        const uint64_t qty = bar.Qty / static_cast<uint64_t>(n) + (static_cast<uint64_t>(i) < bar.Qty % static_cast<uint64_t>(n) ? 1 : 0);
        const int64_t oiMove = (static_cast<int64_t>(bar.OI) - static_cast<int64_t>(day.PreviousOI)) * (i + 1) / n;
        trades.push_back({CQuoteRandomWalk::SessionStart + i * (6 * 3600 / n), price, static_cast<int32_t>(qty),
                  price >= previous ? 'B' : 'S', static_cast<uint64_t>(i + 1),
                  static_cast<uint64_t>(static_cast<int64_t>(day.PreviousOI) + oiMove)});
        previous = price;
    }
    return trades;
}

const CDayTape* CHistoryGenerator::TapeOf(const SimInstrument& instrument, int64_t day, CDayTape& storage) const
{
    if (day == m_tradeDay)
    {
        const CDayTape* tape = m_walk ? m_walk->Tape(instrument.Code) : nullptr;
        return tape && !tape->Day().Empty() ? tape : nullptr;
    }
    if (day > m_tradeDay || SimCalendar::Weekday(day) >= 5)
        return nullptr;
    const std::vector<GeneratedDay> chain = Chain(instrument, day);
    if (chain.empty() || chain.back().Day != day)
        return nullptr;
    for (const TapeTrade& trade : Generate(instrument, chain.back()))
        storage.Add(trade);
    return &storage;
}

std::vector<MinData> CHistoryGenerator::Minutes(const SimInstrument& instrument, const MinDataQueryReq& query) const
{
    int64_t from = m_tradeDay * 1440;
    int64_t to = m_tradeDay * 1440 + 1439;
    ParseMinute(query.DateTimeFrom, false, from);
    ParseMinute(query.DateTimeTo, true, to);
    // Days before the chain's reach have no history: do not walk them one by one.
    const int64_t firstDay = std::max(from / 1440, m_tradeDay - HistoryWeekdays * 7 / 5 - 7);
    std::vector<MinData> bars;
    for (int64_t day = firstDay; day <= std::min(to / 1440, m_tradeDay) && bars.size() < MaxMinuteBars; ++day)
    {
        CDayTape storage;
        const CDayTape* tape = TapeOf(instrument, day, storage);
        if (!tape)
            continue;
        for (const auto& entry : tape->Minutes())
        {
            const int64_t minute = day * 1440 + entry.first;
            if (minute < from || minute > to || bars.size() >= MaxMinuteBars)
                continue;
            MinData bar{};
            FillBar(bar, instrument, entry.second);
            CopyText(bar.DateTime, SimCalendar::FormatDateTime(minute));
            bars.push_back(bar);
        }
    }
    return bars;
}

std::vector<DayData> CHistoryGenerator::Days(const SimInstrument& instrument, const DayDataQueryReq& query) const
{
    int64_t to = m_tradeDay;
    SimCalendar::ParseDate(query.DateTo, to);
    int64_t from = to;
    for (int weekdays = 1; weekdays < 60; --from)
        weekdays += SimCalendar::Weekday(from - 1) < 5;
    SimCalendar::ParseDate(query.DateFrom, from);

    const std::vector<GeneratedDay> chain = Chain(instrument, from);
    std::vector<DayData> bars;
    // The chain runs latest first.
    for (auto day = chain.rbegin(); day != chain.rend() && bars.size() < MaxDayBars; ++day)
    {
        if (day->Day < from || day->Day > to)
            continue;
        TapeBar whole;
        for (const TapeTrade& trade : Generate(instrument, *day))
            whole.Add(trade);
        DayData bar{};
        FillBar(bar, instrument, whole);
        CopyText(bar.Date, SimCalendar::FormatDate(day->Day));
        bars.push_back(bar);
    }
    CDayTape unused;
    const CDayTape* today = from <= m_tradeDay && m_tradeDay <= to ? TapeOf(instrument, m_tradeDay, unused) : nullptr;
    if (today && bars.size() < MaxDayBars)
    {
        DayData bar{};
        FillBar(bar, instrument, today->Day());
        CopyText(bar.Date, SimCalendar::FormatDate(m_tradeDay));
        bars.push_back(bar);
    }
    return bars;
}

std::vector<TradeDetailRecord> CHistoryGenerator::Trades(const SimInstrument& instrument,
                                                         const TradeDetailDataQueryReq& query) const
{
    int64_t day = m_tradeDay;
    SimCalendar::ParseDate(query.TradeDate, day);
    CDayTape storage;
    const CDayTape* tape = TapeOf(instrument, day, storage);
    std::vector<TradeDetailRecord> trades;
    if (!tape)
        return trades;
    // The trading day's numbers are the quotes' MatchID; earlier days carry their date.
    const std::string prefix =
        instrument.Code + "-" + (day == m_tradeDay ? std::string() : SimCalendar::FormatDate(day, true) + "-");
    const std::string date = SimCalendar::FormatDate(day);
    for (const TapeTrade& source : tape->Trades())
    {
        TradeDetailRecord trade{};
        CopyText(trade.MatchID, prefix + std::to_string(source.Match));
        CopyText(trade.InstrumentID, instrument.Code);
        CopyText(trade.Date, date);
        CopyText(trade.Time, SimCalendar::FormatTime(source.Second));
        trade.Qty = source.Qty;
        trade.Price = source.Price;
        trade.BSFlag[0] = source.Side;
        trades.push_back(trade);
    }
    return trades;
}
