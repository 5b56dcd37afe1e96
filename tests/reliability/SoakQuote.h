// The numbered quotes of the reliability tests: every member of quote n is
// derived from n, so a receiver can tell from any record which quote it
// claims to be (Amount carries n) and whether every other member is exactly
// what the sender sent. Within a quote no two members hold the same value,
// so a member filled from the wrong source shows.
#ifndef KELM_TESTS_RELIABILITY_SOAKQUOTE_H
#define KELM_TESTS_RELIABILITY_SOAKQUOTE_H

#include <KelmRivoMdApi.h>
#include "quote/QuotRecord.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace soak
{

// Exact in a double and never a whole number. Each price member is p plus
// its own multiple of 1/8, so prices differ from each other and from the
// whole-number members (Amount, OI, PreOI).
inline double BasePrice(uint64_t n)
{
    return 1000.0625 + static_cast<double>(n % 9973) * 0.125;
}

// Each quantity of a quote in its own range: slots 1-10 are the bid levels,
// 11-20 the ask levels, 21 is Qty; QtyTotal lies above them all.
inline int32_t Quantity(uint64_t n, int32_t slot)
{
    return static_cast<int32_t>(slot * 1000003 + static_cast<int32_t>(n * 7 % 1000003));
}

struct Level
{
    double bidPrice;
    int32_t bidQty;
    double askPrice;
    int32_t askQty;
};

inline Level LevelOf(uint64_t n, int32_t level)
{
    const double p = BasePrice(n);
    return {p - 0.25 * level, Quantity(n, level), p + 0.25 * level, Quantity(n, 10 + level)};
}

inline void TimeOf(uint64_t n, char (&text)[9])
{
    const unsigned s = static_cast<unsigned>(n % 86400);
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", s / 3600, s / 60 % 60, s % 60);
}

template <std::size_t N>
void InstrumentOf(uint64_t n, char (&text)[N])
{
    std::snprintf(text, sizeof text, "SK%llu", static_cast<unsigned long long>(n % 100000));
}

inline QuotRecord MakeQuote(uint64_t n)
{
    QuotRecord q;
    std::memset(&q, 0, sizeof q);
    const double p = BasePrice(n);
    std::snprintf(q.MatchID, sizeof q.MatchID, "%llu", static_cast<unsigned long long>(n));
    std::strcpy(q.TradeDate, "2026-12-08");
    InstrumentOf(n, q.InstrumentID);
    q.Price = p;
    q.Qty = Quantity(n, 21);
    q.OpenPrice = p + 0.375;
    q.HighestPrice = p + 3;
    q.LowestPrice = p - 3;
    q.HighLimit = p + 100;
    q.LowLimit = p - 100;
    q.OI = n * 5 + 1;
    q.SettlePrice = p + 0.125;
    q.PreClose = p - 2.125;
    q.PreSettle = p - 1.125;
    q.PreOI = n * 2 + 2;
    q.QtyTotal = n * 3 + 30000000;
    q.Amount = static_cast<double>(n);
    std::strcpy(q.ModifyDate, "2026-12-07");
    TimeOf(n, q.ModifyTime);
    double* bidPrices[10] = {&q.BidPrice, &q.BidPrice2, &q.BidPrice3, &q.BidPrice4, &q.BidPrice5,
                             &q.BidPrice6, &q.BidPrice7, &q.BidPrice8, &q.BidPrice9, &q.BidPrice10};
    int32_t* bidQtys[10] = {&q.BidQty, &q.BidQty2, &q.BidQty3, &q.BidQty4, &q.BidQty5,
                            &q.BidQty6, &q.BidQty7, &q.BidQty8, &q.BidQty9, &q.BidQty10};
    double* askPrices[10] = {&q.AskPrice, &q.AskPrice2, &q.AskPrice3, &q.AskPrice4, &q.AskPrice5,
                             &q.AskPrice6, &q.AskPrice7, &q.AskPrice8, &q.AskPrice9, &q.AskPrice10};
    int32_t* askQtys[10] = {&q.AskQty, &q.AskQty2, &q.AskQty3, &q.AskQty4, &q.AskQty5,
                            &q.AskQty6, &q.AskQty7, &q.AskQty8, &q.AskQty9, &q.AskQty10};
    for (int32_t i = 0; i < 10; ++i)
    {
        const Level l = LevelOf(n, i + 1);
        *bidPrices[i] = l.bidPrice;
        *bidQtys[i] = l.bidQty;
        *askPrices[i] = l.askPrice;
        *askQtys[i] = l.askQty;
    }
    q.BSFlag[0] = n % 2 ? 'B' : 'S';
    std::strcpy(q.ExchangeID, "KEX");
    return q;
}

// The public record the application must receive for quote n, built from the
// record layout alone (five levels, compact dates, 32-bit volume).
inline MarketDepthRecord ExpectedDepth(uint64_t n)
{
    MarketDepthRecord d;
    std::memset(&d, 0, sizeof d);
    const double p = BasePrice(n);
    std::strcpy(d.TradeDate, "20261208");
    std::strcpy(d.ExchangeID, "KEX");
    d.Price = p;
    d.PreSettle = p - 1.125;
    d.PreClose = p - 2.125;
    d.PreOI = static_cast<double>(n * 2 + 2);
    d.OpenPrice = p + 0.375;
    d.HighestPrice = p + 3;
    d.LowestPrice = p - 3;
    d.QtyTotal = static_cast<int>(static_cast<uint32_t>(n * 3 + 30000000));
    d.Amount = static_cast<double>(n);
    d.OI = static_cast<double>(n * 5 + 1);
    d.CurrentPrice = p;
    d.SettlePrice = p + 0.125;
    d.HighLimit = p + 100;
    d.LowLimit = p - 100;
    TimeOf(n, d.ModifyTime);
    double* bidPrices[5] = {&d.BidPrice1, &d.BidPrice2, &d.BidPrice3, &d.BidPrice4, &d.BidPrice5};
    int* bidQtys[5] = {&d.BidQty1, &d.BidQty2, &d.BidQty3, &d.BidQty4, &d.BidQty5};
    double* askPrices[5] = {&d.AskPrice1, &d.AskPrice2, &d.AskPrice3, &d.AskPrice4, &d.AskPrice5};
    int* askQtys[5] = {&d.AskQty1, &d.AskQty2, &d.AskQty3, &d.AskQty4, &d.AskQty5};
    for (int32_t i = 0; i < 5; ++i)
    {
        const Level l = LevelOf(n, i + 1);
        *bidPrices[i] = l.bidPrice;
        *bidQtys[i] = l.bidQty;
        *askPrices[i] = l.askPrice;
        *askQtys[i] = l.askQty;
    }
    std::strcpy(d.ModifyDate, "20261207");
    InstrumentOf(n, d.InstrumentID);
    return d;
}

// The number a received record claims (its Amount), and whether the whole
// record, padding included, is exactly that quote's.
inline uint64_t NumberOf(const MarketDepthRecord& d)
{
    return static_cast<uint64_t>(d.Amount);
}

inline bool IsIntact(const MarketDepthRecord& d)
{
    if (!(d.Amount >= 0) || d.Amount > 1e15)
        return false;
    const MarketDepthRecord expected = ExpectedDepth(NumberOf(d));
    return std::memcmp(&expected, &d, sizeof d) == 0;
}

}  // namespace soak

#endif
