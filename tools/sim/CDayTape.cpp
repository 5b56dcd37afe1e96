#include "CDayTape.h"

#include <algorithm>

void TapeBar::Add(const TapeTrade& trade)
{
    if (Empty())
    {
        Open = High = Low = trade.Price;
    }
    High = std::max(High, trade.Price);
    Low = std::min(Low, trade.Price);
    Close = trade.Price;
    Qty += static_cast<uint64_t>(trade.Qty);
    Amount += trade.Price * trade.Qty;
    OI = trade.OI;
}

void CDayTape::Add(const TapeTrade& trade)
{
    m_minutes[trade.Second / 60].Add(trade);
    m_day.Add(trade);
    if (m_trades.size() == MaxTrades)
        m_trades.pop_front();
    m_trades.push_back(trade);
}
