// The trades of one instrument on one day and what the history answers make
// of them: minute bars and the day's bar aggregate the same trades, so bars,
// trades and the quotes they came from agree.
#ifndef KELM_TOOLS_SIM_CDAYTAPE_H
#define KELM_TOOLS_SIM_CDAYTAPE_H

#include <cstddef>
#include <cstdint>
#include <deque>
#include <map>

struct TapeTrade
{
    int64_t Second;   // of the day
    double Price;
    int32_t Qty;
    char Side;        // 'B' or 'S'
    uint64_t Match;   // trade number of the day, from 1
    uint64_t OI;      // open interest after the trade
};

// Open, high, low, close, quantity, amount and closing open interest of the
// trades of a span (a minute, or the whole day).
struct TapeBar
{
    double Open = 0;
    double High = 0;
    double Low = 0;
    double Close = 0;
    uint64_t Qty = 0;
    double Amount = 0;
    uint64_t OI = 0;

    void Add(const TapeTrade& trade);
    bool Empty() const { return Qty == 0; }
};

class CDayTape
{
public:
    // Trades kept for the trade-detail answer; the bars keep counting past it.
    static constexpr std::size_t MaxTrades = 20000;

    void Add(const TapeTrade& trade);

    // Bars by minute of the day.
    const std::map<int64_t, TapeBar>& Minutes() const { return m_minutes; }
    const TapeBar& Day() const { return m_day; }
    // The latest MaxTrades trades, oldest first.
    const std::deque<TapeTrade>& Trades() const { return m_trades; }

private:
    std::map<int64_t, TapeBar> m_minutes;
    TapeBar m_day;
    std::deque<TapeTrade> m_trades;
};

#endif
