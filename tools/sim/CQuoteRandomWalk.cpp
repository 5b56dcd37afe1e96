#include "CQuoteRandomWalk.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "SimCalendar.h"
#include "SimText.h"

namespace
{

constexpr double LimitFraction = 0.10;


}  // namespace

// Fractional ticks divide by their inverse so that the result is the double
// nearest the decimal price (it prints as 123.45, not 123.45000000000002).
double CQuoteRandomWalk::RoundToTick(double price, double tick)
{
    const double ticks = std::round(price / tick);
    return tick >= 1 ? ticks * tick : ticks / std::round(1 / tick);
}

uint64_t CQuoteRandomWalk::InstrumentSeed(const std::string& code, uint64_t seed)
{
    uint64_t hash = 1469598103934665603ull ^ seed;
    for (unsigned char c : code)
        hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

double CQuoteRandomWalk::TickSize(double price)
{
    return price >= 5000 ? 5.0 : price >= 1000 ? 1.0 : price >= 100 ? 0.2 : 0.01;
}

double CQuoteRandomWalk::BasePrice(const std::string& code, uint64_t seed)
{
    const double raw = 50.0 + static_cast<double>(InstrumentSeed(code, seed) % 800000) / 100.0;
    return RoundToTick(raw, TickSize(raw));
}

// The first draws of the instrument's generator; the walk goes on with it.
CQuoteRandomWalk::Opening CQuoteRandomWalk::DrawOpening(std::mt19937_64& random, const std::string& code,
                                                        uint64_t seed)
{
    Opening opening;
    opening.PreSettle = BasePrice(code, seed);
    const double tick = TickSize(opening.PreSettle);
    opening.PreClose = RoundToTick(opening.PreSettle * (1 + (double(random() % 41) - 20) / 2000), tick);
    opening.PreOI = 20000 + random() % 200000;
    return opening;
}

CQuoteRandomWalk::Opening CQuoteRandomWalk::OpeningOf(const std::string& code, uint64_t seed)
{
    std::mt19937_64 random(InstrumentSeed(code, seed));
    return DrawOpening(random, code, seed);
}

CQuoteRandomWalk::CQuoteRandomWalk(const std::vector<SimInstrument>& instruments, uint64_t seed,
                                   const std::string& tradeDate)
    : m_tradeDate(tradeDate)
{
    for (const SimInstrument& instrument : instruments)
    {
        Book book;
        book.Instrument = instrument;
        book.Random.seed(InstrumentSeed(instrument.Code, seed));
        const Opening opening = DrawOpening(book.Random, instrument.Code, seed);
        book.PreSettle = opening.PreSettle;
        book.Tick = TickSize(book.PreSettle);
        book.PreClose = opening.PreClose;
        book.Price = book.Open = book.High = book.Low = book.PreClose;
        book.PreOI = opening.PreOI;
        book.OI = book.PreOI;
        for (auto& side : book.Depth)
            for (int32_t& qty : side)
                qty = static_cast<int32_t>(1 + book.Random() % 200);
        m_books.emplace(instrument.Code, std::move(book));
    }
}

void CQuoteRandomWalk::WarmUp(int64_t secondOfDay)
{
    const int64_t interval = 60 / WarmUpStepsPerMinute;
    for (auto& entry : m_books)
        for (int64_t second = SessionStart; second < secondOfDay; second += interval)
            Move(entry.second, second);
}

bool CQuoteRandomWalk::Step(const std::string& code, QuotRecord& quote)
{
    auto found = m_books.find(code);
    if (found == m_books.end())
        return false;
    // One reading of the clock: the trade and the quote carry the same time.
    const int64_t now = SimCalendar::SecondOfDayNow();
    Move(found->second, now);
    Fill(found->second, quote, now);
    return true;
}

bool CQuoteRandomWalk::Snapshot(const std::string& code, QuotRecord& quote) const
{
    auto found = m_books.find(code);
    if (found == m_books.end())
        return false;
    Fill(found->second, quote, SimCalendar::SecondOfDayNow());
    return true;
}

const CDayTape* CQuoteRandomWalk::Tape(const std::string& code) const
{
    auto found = m_books.find(code);
    return found == m_books.end() ? nullptr : &found->second.Tape;
}

void CQuoteRandomWalk::Move(Book& book, int64_t secondOfDay)
{
    const double high = RoundToTick(book.PreSettle * (1 + LimitFraction), book.Tick);
    const double low = RoundToTick(book.PreSettle * (1 - LimitFraction), book.Tick);
    std::normal_distribution<double> step(0.0, 1.5);
    const double ticks = std::round(step(book.Random));
    book.Price = std::clamp(RoundToTick(book.Price + ticks * book.Tick, book.Tick), low, high);
    // The day opens with its first trade.
    if (book.Matches == 0)
        book.Open = book.High = book.Low = book.Price;
    book.High = std::max(book.High, book.Price);
    book.Low = std::min(book.Low, book.Price);
    book.Side = ticks > 0 ? 'B' : ticks < 0 ? 'S' : (book.Random() % 2 ? 'B' : 'S');
    book.LastQty = static_cast<int32_t>(1 + book.Random() % 50);
    book.QtyTotal += static_cast<uint64_t>(book.LastQty);
    book.Amount += book.Price * book.LastQty;
    const int64_t oiChange = static_cast<int64_t>(book.Random() % 21) - 10;
    book.OI = static_cast<uint64_t>(std::max<int64_t>(0, static_cast<int64_t>(book.OI) + oiChange));
    ++book.Matches;
    book.Tape.Add({secondOfDay, book.Price, book.LastQty, book.Side, book.Matches, book.OI});
    for (auto& side : book.Depth)
        for (int32_t& qty : side)
            qty = std::max<int32_t>(1, qty + static_cast<int32_t>(book.Random() % 21) - 10);
}

void CQuoteRandomWalk::Fill(const Book& book, QuotRecord& quote, int64_t secondOfDay) const
{
    std::memset(&quote, 0, sizeof quote);
    char match[32];
    std::snprintf(match, sizeof match, "%s-%llu", book.Instrument.Code.c_str(),
                  static_cast<unsigned long long>(book.Matches));
    CopyText(quote.MatchID, match);
    CopyText(quote.TradeDate, m_tradeDate);
    CopyText(quote.InstrumentID, book.Instrument.Code);
    CopyText(quote.ExchangeID, book.Instrument.Exchange);
    CopyText(quote.ModifyDate, m_tradeDate);
    CopyText(quote.ModifyTime, SimCalendar::FormatTime(secondOfDay));
    quote.Price = book.Price;
    quote.Qty = book.LastQty;
    quote.OpenPrice = book.Open;
    quote.HighestPrice = book.High;
    quote.LowestPrice = book.Low;
    quote.HighLimit = RoundToTick(book.PreSettle * (1 + LimitFraction), book.Tick);
    quote.LowLimit = RoundToTick(book.PreSettle * (1 - LimitFraction), book.Tick);
    quote.OI = book.OI;
    quote.PreClose = book.PreClose;
    quote.PreSettle = book.PreSettle;
    quote.PreOI = book.PreOI;
    quote.QtyTotal = book.QtyTotal;
    quote.Amount = book.Amount;
    quote.BSFlag[0] = book.Side;

    // Best bid at or just below the last price, the ask one tick above it.
    const double bid = book.Side == 'B' ? book.Price - book.Tick : book.Price;
    double* bidPrices[10] = {&quote.BidPrice, &quote.BidPrice2, &quote.BidPrice3, &quote.BidPrice4,
                             &quote.BidPrice5, &quote.BidPrice6, &quote.BidPrice7, &quote.BidPrice8,
                             &quote.BidPrice9, &quote.BidPrice10};
    double* askPrices[10] = {&quote.AskPrice, &quote.AskPrice2, &quote.AskPrice3, &quote.AskPrice4,
                             &quote.AskPrice5, &quote.AskPrice6, &quote.AskPrice7, &quote.AskPrice8,
                             &quote.AskPrice9, &quote.AskPrice10};
    int32_t* bidQtys[10] = {&quote.BidQty, &quote.BidQty2, &quote.BidQty3, &quote.BidQty4, &quote.BidQty5,
                            &quote.BidQty6, &quote.BidQty7, &quote.BidQty8, &quote.BidQty9, &quote.BidQty10};
    int32_t* askQtys[10] = {&quote.AskQty, &quote.AskQty2, &quote.AskQty3, &quote.AskQty4, &quote.AskQty5,
                            &quote.AskQty6, &quote.AskQty7, &quote.AskQty8, &quote.AskQty9, &quote.AskQty10};
    for (int level = 0; level < 10; ++level)
    {
        *bidPrices[level] = RoundToTick(bid - level * book.Tick, book.Tick);
        *askPrices[level] = RoundToTick(bid + (level + 1) * book.Tick, book.Tick);
        *bidQtys[level] = book.Depth[0][level];
        *askQtys[level] = book.Depth[1][level];
    }
}
