// The general field-map codec with a map of the Quot record's 61 members,
// built binding by binding from the dictionary, in wire order: what the
// quote decoder's fast path must agree with.
#ifndef KELM_TESTS_QUOTE_REFERENCEQUOTE_H
#define KELM_TESTS_QUOTE_REFERENCEQUOTE_H

#include "bml/CBMLFieldMap.h"
#include "quote/CQuotDecoder.h"
#include "quote/FieldBinding.h"
#include "quote/QuotRecord.h"
#include "support/WireBytes.h"

#include <cstring>

class ReferenceQuote
{
public:
    ReferenceQuote()
    {
        std::memset(&record, 0, sizeof record);
        QuotRecord& r = record;
        const BMLFieldBinding bindings[CQuotDecoder::kFieldCount] = {
            BindField(BMLDict::MatchID, r.MatchID), BindField(BMLDict::TradeDate, r.TradeDate),
            BindField(BMLDict::InstrumentID, r.InstrumentID), BindField(BMLDict::Price, r.Price),
            BindField(BMLDict::Qty, r.Qty), BindField(BMLDict::BidPrice, r.BidPrice),
            BindField(BMLDict::BidQty, r.BidQty), BindField(BMLDict::AskPrice, r.AskPrice),
            BindField(BMLDict::AskQty, r.AskQty), BindField(BMLDict::OpenPrice, r.OpenPrice),
            BindField(BMLDict::HighestPrice, r.HighestPrice), BindField(BMLDict::LowestPrice, r.LowestPrice),
            BindField(BMLDict::HighLimit, r.HighLimit), BindField(BMLDict::LowLimit, r.LowLimit),
            BindField(BMLDict::OI, r.OI), BindField(BMLDict::SettlePrice, r.SettlePrice),
            BindField(BMLDict::PreClose, r.PreClose), BindField(BMLDict::PreSettle, r.PreSettle),
            BindField(BMLDict::PreOI, r.PreOI), BindField(BMLDict::QtyTotal, r.QtyTotal),
            BindField(BMLDict::Amount, r.Amount), BindField(BMLDict::ModifyDate, r.ModifyDate),
            BindField(BMLDict::ModifyTime, r.ModifyTime),
            BindField(BMLDict::BidPrice2, r.BidPrice2), BindField(BMLDict::BidQty2, r.BidQty2),
            BindField(BMLDict::AskPrice2, r.AskPrice2), BindField(BMLDict::AskQty2, r.AskQty2),
            BindField(BMLDict::BidPrice3, r.BidPrice3), BindField(BMLDict::BidQty3, r.BidQty3),
            BindField(BMLDict::AskPrice3, r.AskPrice3), BindField(BMLDict::AskQty3, r.AskQty3),
            BindField(BMLDict::BidPrice4, r.BidPrice4), BindField(BMLDict::BidQty4, r.BidQty4),
            BindField(BMLDict::AskPrice4, r.AskPrice4), BindField(BMLDict::AskQty4, r.AskQty4),
            BindField(BMLDict::BidPrice5, r.BidPrice5), BindField(BMLDict::BidQty5, r.BidQty5),
            BindField(BMLDict::AskPrice5, r.AskPrice5), BindField(BMLDict::AskQty5, r.AskQty5),
            BindField(BMLDict::BidPrice6, r.BidPrice6), BindField(BMLDict::BidQty6, r.BidQty6),
            BindField(BMLDict::AskPrice6, r.AskPrice6), BindField(BMLDict::AskQty6, r.AskQty6),
            BindField(BMLDict::BidPrice7, r.BidPrice7), BindField(BMLDict::BidQty7, r.BidQty7),
            BindField(BMLDict::AskPrice7, r.AskPrice7), BindField(BMLDict::AskQty7, r.AskQty7),
            BindField(BMLDict::BidPrice8, r.BidPrice8), BindField(BMLDict::BidQty8, r.BidQty8),
            BindField(BMLDict::AskPrice8, r.AskPrice8), BindField(BMLDict::AskQty8, r.AskQty8),
            BindField(BMLDict::BidPrice9, r.BidPrice9), BindField(BMLDict::BidQty9, r.BidQty9),
            BindField(BMLDict::AskPrice9, r.AskPrice9), BindField(BMLDict::AskQty9, r.AskQty9),
            BindField(BMLDict::BidPrice10, r.BidPrice10), BindField(BMLDict::BidQty10, r.BidQty10),
            BindField(BMLDict::AskPrice10, r.AskPrice10), BindField(BMLDict::AskQty10, r.AskQty10),
            BindField(BMLDict::BSFlag, r.BSFlag), BindField(BMLDict::ExchangeID, r.ExchangeID),
        };
        std::memcpy(m_bindings, bindings, sizeof m_bindings);
    }

    const BMLFieldBinding& Binding(std::size_t i) const { return m_bindings[i]; }

    void Unpack(const wire::Bytes& value) { CBMLFieldMap(m_bindings).Unpack(value.data(), uint32_t(value.size())); }

    QuotRecord record;

private:
    BMLFieldBinding m_bindings[CQuotDecoder::kFieldCount];
};

#endif
