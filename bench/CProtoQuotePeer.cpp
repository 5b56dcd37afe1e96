#include "CProtoQuotePeer.h"

#include <cstring>
#include <string>

#include "api/CRecordConverter.h"
#include "bml/BMLByteOrder.h"

namespace
{

using kelmbench::PeerQuote;

// Text to a fixed member: cut to the member's width, NUL-terminated.
void CopyText(char* target, std::size_t size, const std::string& source)
{
    const std::size_t n = source.size() < size - 1 ? source.size() : size - 1;
    std::memcpy(target, source.data(), n);
    target[n] = '\0';
}

// Levels 2 to 10, member by member through the accessors of each side.
#define KELM_PEER_SET_LEVEL(n)                \
    m.set_bid_price##n(q.BidPrice##n);    \
    m.set_bid_qty##n(q.BidQty##n);        \
    m.set_ask_price##n(q.AskPrice##n);    \
    m.set_ask_qty##n(q.AskQty##n)
#define KELM_PEER_GET_LEVEL(n)                \
    q.BidPrice##n = m.bid_price##n();     \
    q.BidQty##n = m.bid_qty##n();         \
    q.AskPrice##n = m.ask_price##n();     \
    q.AskQty##n = m.ask_qty##n()

}  // namespace

std::vector<uint8_t> CProtoQuotePeer::Frame(const QuotRecord& q)
{
    PeerQuote m;
    m.set_match_id(q.MatchID);
    m.set_trade_date(q.TradeDate);
    m.set_instrument_id(q.InstrumentID);
    m.set_price(q.Price);
    m.set_qty(q.Qty);
    m.set_bid_price(q.BidPrice);
    m.set_bid_qty(q.BidQty);
    m.set_ask_price(q.AskPrice);
    m.set_ask_qty(q.AskQty);
    m.set_open_price(q.OpenPrice);
    m.set_highest_price(q.HighestPrice);
    m.set_lowest_price(q.LowestPrice);
    m.set_high_limit(q.HighLimit);
    m.set_low_limit(q.LowLimit);
    m.set_oi(q.OI);
    m.set_settle_price(q.SettlePrice);
    m.set_pre_close(q.PreClose);
    m.set_pre_settle(q.PreSettle);
    m.set_pre_oi(q.PreOI);
    m.set_qty_total(q.QtyTotal);
    m.set_amount(q.Amount);
    m.set_modify_date(q.ModifyDate);
    m.set_modify_time(q.ModifyTime);
    KELM_PEER_SET_LEVEL(2);
    KELM_PEER_SET_LEVEL(3);
    KELM_PEER_SET_LEVEL(4);
    KELM_PEER_SET_LEVEL(5);
    KELM_PEER_SET_LEVEL(6);
    KELM_PEER_SET_LEVEL(7);
    KELM_PEER_SET_LEVEL(8);
    KELM_PEER_SET_LEVEL(9);
    KELM_PEER_SET_LEVEL(10);
    m.set_bs_flag(std::string(q.BSFlag, 1));
    m.set_exchange_id(q.ExchangeID);
    const std::string body = m.SerializeAsString();
    std::vector<uint8_t> frame(4 + body.size());
    BMLByteOrder::Write32(frame.data(), static_cast<uint32_t>(body.size()));
    std::memcpy(frame.data() + 4, body.data(), body.size());
    return frame;
}

int CProtoQuotePeer::Receive(const uint8_t* data, uint32_t length)
{
    m_lastReceipt = std::chrono::steady_clock::now();
    while (length >= 4)
    {
        const uint32_t bodyLength = BMLByteOrder::Read32(data);
        if (bodyLength > MaxBodyLength)
            return -1;
        if (length - 4 < bodyLength)
            break;
        if (Deliver(data + 4, bodyLength) < 0)
            return -1;
        data += 4 + bodyLength;
        length -= 4 + bodyLength;
    }
    return 0;
}

int CProtoQuotePeer::Deliver(const uint8_t* body, uint32_t length)
{
    if (!m_message.ParseFromArray(body, static_cast<int>(length)))
        return -1;
    QuotRecord record;
    std::memset(&record, 0, sizeof record);
    CopyInto(record);
    MarketDepthRecord depth;
    CRecordConverter::ToMarketDepth(depth, record);
    m_app.NotifyQuote(&depth);
    return 0;
}

void CProtoQuotePeer::CopyInto(QuotRecord& q) const
{
    const PeerQuote& m = m_message;
    CopyText(q.MatchID, sizeof q.MatchID, m.match_id());
    CopyText(q.TradeDate, sizeof q.TradeDate, m.trade_date());
    CopyText(q.InstrumentID, sizeof q.InstrumentID, m.instrument_id());
    q.Price = m.price();
    q.Qty = m.qty();
    q.BidPrice = m.bid_price();
    q.BidQty = m.bid_qty();
    q.AskPrice = m.ask_price();
    q.AskQty = m.ask_qty();
    q.OpenPrice = m.open_price();
    q.HighestPrice = m.highest_price();
    q.LowestPrice = m.lowest_price();
    q.HighLimit = m.high_limit();
    q.LowLimit = m.low_limit();
    q.OI = m.oi();
    q.SettlePrice = m.settle_price();
    q.PreClose = m.pre_close();
    q.PreSettle = m.pre_settle();
    q.PreOI = m.pre_oi();
    q.QtyTotal = m.qty_total();
    q.Amount = m.amount();
    CopyText(q.ModifyDate, sizeof q.ModifyDate, m.modify_date());
    CopyText(q.ModifyTime, sizeof q.ModifyTime, m.modify_time());
    KELM_PEER_GET_LEVEL(2);
    KELM_PEER_GET_LEVEL(3);
    KELM_PEER_GET_LEVEL(4);
    KELM_PEER_GET_LEVEL(5);
    KELM_PEER_GET_LEVEL(6);
    KELM_PEER_GET_LEVEL(7);
    KELM_PEER_GET_LEVEL(8);
    KELM_PEER_GET_LEVEL(9);
    KELM_PEER_GET_LEVEL(10);
    if (!m.bs_flag().empty())
        q.BSFlag[0] = m.bs_flag()[0];
    CopyText(q.ExchangeID, sizeof q.ExchangeID, m.exchange_id());
}

#undef KELM_PEER_SET_LEVEL
#undef KELM_PEER_GET_LEVEL
