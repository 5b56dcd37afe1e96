#include "CQuoteLineWriter.h"

#include <nlohmann/json.hpp>

#include "CQuoteCsv.h"

CQuoteLineWriter::CQuoteLineWriter(std::ostream& out, Style style) : m_out(out), m_style(style) {}

void CQuoteLineWriter::WriteHeader()
{
    if (m_style == Style::Csv && !m_headerWritten)
        m_out << CQuoteCsv::Header() << '\n';
    m_headerWritten = true;
    m_unflushed = true;
}

void CQuoteLineWriter::Write(const MarketDepthRecord& quote)
{
    m_out << (m_style == Style::Csv ? CQuoteCsv::Format(quote) : Json(quote)) << '\n';
    m_unflushed = true;
}

void CQuoteLineWriter::Flush()
{
    if (m_unflushed)
        m_out.flush();
    m_unflushed = false;
}

std::string CQuoteLineWriter::Json(const MarketDepthRecord& q)
{
    nlohmann::json bids = nlohmann::json::array();
    nlohmann::json asks = nlohmann::json::array();
    const double bidPrices[] = {q.BidPrice1, q.BidPrice2, q.BidPrice3, q.BidPrice4, q.BidPrice5};
    const int bidQtys[] = {q.BidQty1, q.BidQty2, q.BidQty3, q.BidQty4, q.BidQty5};
    const double askPrices[] = {q.AskPrice1, q.AskPrice2, q.AskPrice3, q.AskPrice4, q.AskPrice5};
    const int askQtys[] = {q.AskQty1, q.AskQty2, q.AskQty3, q.AskQty4, q.AskQty5};
    for (int level = 0; level < 5; ++level)
    {
        bids.push_back({{"price", bidPrices[level]}, {"qty", bidQtys[level]}});
        asks.push_back({{"price", askPrices[level]}, {"qty", askQtys[level]}});
    }
    // Texts may carry bytes that are not UTF-8 (the server's code page);
    // they are replaced rather than making the dump throw.
    const nlohmann::json line = {
        {"instrument", q.InstrumentID},  {"exchange", q.ExchangeID},   {"tradeDate", q.TradeDate},
        {"date", q.ModifyDate},          {"time", q.ModifyTime},       {"price", q.Price},
        {"preSettle", q.PreSettle},      {"preClose", q.PreClose},     {"preOI", q.PreOI},
        {"open", q.OpenPrice},           {"high", q.HighestPrice},     {"low", q.LowestPrice},
        {"volume", q.QtyTotal},          {"amount", q.Amount},         {"oi", q.OI},
        {"settle", q.SettlePrice},       {"highLimit", q.HighLimit},   {"lowLimit", q.LowLimit},
        {"bids", bids},                  {"asks", asks},
    };
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}
