#include "sim/CSimFieldMaps.h"

#include "bml/BMLDictionary.h"

namespace
{

template <typename T>
BMLFieldBinding SimBind(const BMLDictEntry& entry, T& member)
{
    return BMLFieldBinding{&entry, &member, static_cast<uint32_t>(sizeof member), 0, nullptr};
}

}  // namespace

SimBindings<5> CSimFieldMaps::Bind(LoginReq& r)
{
    return {{SimBind(BMLDict::InvestorID, r.InvestorID), SimBind(BMLDict::InvestorPassword, r.InvestorPassword),
             SimBind(BMLDict::IP, r.IP), SimBind(BMLDict::ProductType, r.ProductType),
             SimBind(BMLDict::ProductVersion, r.ProductVersion)}};
}

SimBindings<1> CSimFieldMaps::Bind(LogoutReq& r)
{
    return {{SimBind(BMLDict::InvestorID, r.InvestorID)}};
}

SimBindings<2> CSimFieldMaps::Bind(QuotSubscribeReq& r)
{
    return {{SimBind(BMLDict::InvestorID, r.InvestorID), SimBind(BMLDict::InstrumentID, r.InstrumentID)}};
}

SimBindings<2> CSimFieldMaps::Bind(QuotUnSubscribeReq& r)
{
    return {{SimBind(BMLDict::InvestorID, r.InvestorID), SimBind(BMLDict::InstrumentID, r.InstrumentID)}};
}

SimBindings<4> CSimFieldMaps::Bind(MinDataQueryReq& r)
{
    return {{SimBind(BMLDict::InstrumentID, r.InstrumentID), SimBind(BMLDict::DateTimeFrom, r.DateTimeFrom),
             SimBind(BMLDict::DateTimeTo, r.DateTimeTo), SimBind(BMLDict::ExchangeID, r.ExchangeID)}};
}

SimBindings<4> CSimFieldMaps::Bind(DayDataQueryReq& r)
{
    return {{SimBind(BMLDict::InstrumentID, r.InstrumentID), SimBind(BMLDict::DateFrom, r.DateFrom),
             SimBind(BMLDict::DateTo, r.DateTo), SimBind(BMLDict::ExchangeID, r.ExchangeID)}};
}

SimBindings<3> CSimFieldMaps::Bind(TradeDetailDataQueryReq& r)
{
    return {{SimBind(BMLDict::InstrumentID, r.InstrumentID), SimBind(BMLDict::TradeDate, r.TradeDate),
             SimBind(BMLDict::ExchangeID, r.ExchangeID)}};
}

SimBindings<2> CSimFieldMaps::Bind(RspInfo& r)
{
    return {{SimBind(BMLDict::RspNo, r.RspNo), SimBind(BMLDict::RspDesc, r.RspDesc)}};
}

SimBindings<9> CSimFieldMaps::Bind(LoginRsp& r)
{
    return {{SimBind(BMLDict::InvestorID, r.InvestorID), SimBind(BMLDict::TradeDate, r.TradeDate),
             SimBind(BMLDict::InvestorName, r.InvestorName), SimBind(BMLDict::SysName, r.SysName),
             SimBind(BMLDict::SysMode, r.SysMode), SimBind(BMLDict::PayServerType, r.PayServerType),
             SimBind(BMLDict::AdviserID, r.AdviserID), SimBind(BMLDict::InvestorAdviserFlag, r.InvestorAdviserFlag),
             SimBind(BMLDict::SessionID, r.SessionID)}};
}

SimBindings<1> CSimFieldMaps::Bind(LogoutRsp& r)
{
    return {{SimBind(BMLDict::InvestorID, r.InvestorID)}};
}

SimBindings<1> CSimFieldMaps::Bind(QuotSubscribeRsp& r)
{
    return {{SimBind(BMLDict::InstrumentID, r.InstrumentID)}};
}

SimBindings<1> CSimFieldMaps::Bind(QuotUnSubscribeRsp& r)
{
    return {{SimBind(BMLDict::InstrumentID, r.InstrumentID)}};
}

SimBindings<10> CSimFieldMaps::Bind(MinData& r)
{
    return {{SimBind(BMLDict::InstrumentID, r.InstrumentID), SimBind(BMLDict::DateTime, r.DateTime),
             SimBind(BMLDict::OpenPrice, r.OpenPrice), SimBind(BMLDict::HighestPrice, r.HighestPrice),
             SimBind(BMLDict::LowestPrice, r.LowestPrice), SimBind(BMLDict::ClosePrice, r.ClosePrice),
             SimBind(BMLDict::QtyTotal, r.QtyTotal), SimBind(BMLDict::OI, r.OI),
             SimBind(BMLDict::Amount, r.Amount), SimBind(BMLDict::ExchangeID, r.ExchangeID)}};
}

SimBindings<10> CSimFieldMaps::Bind(DayData& r)
{
    return {{SimBind(BMLDict::InstrumentID, r.InstrumentID), SimBind(BMLDict::Date, r.Date),
             SimBind(BMLDict::OpenPrice, r.OpenPrice), SimBind(BMLDict::HighestPrice, r.HighestPrice),
             SimBind(BMLDict::LowestPrice, r.LowestPrice), SimBind(BMLDict::ClosePrice, r.ClosePrice),
             SimBind(BMLDict::QtyTotal, r.QtyTotal), SimBind(BMLDict::OI, r.OI),
             SimBind(BMLDict::Amount, r.Amount), SimBind(BMLDict::ExchangeID, r.ExchangeID)}};
}

SimBindings<7> CSimFieldMaps::Bind(TradeDetailRecord& r)
{
    return {{SimBind(BMLDict::MatchID, r.MatchID), SimBind(BMLDict::InstrumentID, r.InstrumentID),
             SimBind(BMLDict::Date, r.Date), SimBind(BMLDict::Time, r.Time), SimBind(BMLDict::Qty, r.Qty),
             SimBind(BMLDict::Price, r.Price), SimBind(BMLDict::BSFlag, r.BSFlag)}};
}

SimBindings<61> CSimFieldMaps::Bind(QuotRecord& r)
{
    return {{
        SimBind(BMLDict::MatchID, r.MatchID), SimBind(BMLDict::TradeDate, r.TradeDate),
        SimBind(BMLDict::InstrumentID, r.InstrumentID), SimBind(BMLDict::Price, r.Price),
        SimBind(BMLDict::Qty, r.Qty), SimBind(BMLDict::BidPrice, r.BidPrice), SimBind(BMLDict::BidQty, r.BidQty),
        SimBind(BMLDict::AskPrice, r.AskPrice), SimBind(BMLDict::AskQty, r.AskQty),
        SimBind(BMLDict::OpenPrice, r.OpenPrice), SimBind(BMLDict::HighestPrice, r.HighestPrice),
        SimBind(BMLDict::LowestPrice, r.LowestPrice), SimBind(BMLDict::HighLimit, r.HighLimit),
        SimBind(BMLDict::LowLimit, r.LowLimit), SimBind(BMLDict::OI, r.OI),
        SimBind(BMLDict::SettlePrice, r.SettlePrice), SimBind(BMLDict::PreClose, r.PreClose),
        SimBind(BMLDict::PreSettle, r.PreSettle), SimBind(BMLDict::PreOI, r.PreOI),
        SimBind(BMLDict::QtyTotal, r.QtyTotal), SimBind(BMLDict::Amount, r.Amount),
        SimBind(BMLDict::ModifyDate, r.ModifyDate), SimBind(BMLDict::ModifyTime, r.ModifyTime),
        SimBind(BMLDict::BidPrice2, r.BidPrice2), SimBind(BMLDict::BidQty2, r.BidQty2),
        SimBind(BMLDict::AskPrice2, r.AskPrice2), SimBind(BMLDict::AskQty2, r.AskQty2),
        SimBind(BMLDict::BidPrice3, r.BidPrice3), SimBind(BMLDict::BidQty3, r.BidQty3),
        SimBind(BMLDict::AskPrice3, r.AskPrice3), SimBind(BMLDict::AskQty3, r.AskQty3),
        SimBind(BMLDict::BidPrice4, r.BidPrice4), SimBind(BMLDict::BidQty4, r.BidQty4),
        SimBind(BMLDict::AskPrice4, r.AskPrice4), SimBind(BMLDict::AskQty4, r.AskQty4),
        SimBind(BMLDict::BidPrice5, r.BidPrice5), SimBind(BMLDict::BidQty5, r.BidQty5),
        SimBind(BMLDict::AskPrice5, r.AskPrice5), SimBind(BMLDict::AskQty5, r.AskQty5),
        SimBind(BMLDict::BidPrice6, r.BidPrice6), SimBind(BMLDict::BidQty6, r.BidQty6),
        SimBind(BMLDict::AskPrice6, r.AskPrice6), SimBind(BMLDict::AskQty6, r.AskQty6),
        SimBind(BMLDict::BidPrice7, r.BidPrice7), SimBind(BMLDict::BidQty7, r.BidQty7),
        SimBind(BMLDict::AskPrice7, r.AskPrice7), SimBind(BMLDict::AskQty7, r.AskQty7),
        SimBind(BMLDict::BidPrice8, r.BidPrice8), SimBind(BMLDict::BidQty8, r.BidQty8),
        SimBind(BMLDict::AskPrice8, r.AskPrice8), SimBind(BMLDict::AskQty8, r.AskQty8),
        SimBind(BMLDict::BidPrice9, r.BidPrice9), SimBind(BMLDict::BidQty9, r.BidQty9),
        SimBind(BMLDict::AskPrice9, r.AskPrice9), SimBind(BMLDict::AskQty9, r.AskQty9),
        SimBind(BMLDict::BidPrice10, r.BidPrice10), SimBind(BMLDict::BidQty10, r.BidQty10),
        SimBind(BMLDict::AskPrice10, r.AskPrice10), SimBind(BMLDict::AskQty10, r.AskQty10),
        SimBind(BMLDict::BSFlag, r.BSFlag), SimBind(BMLDict::ExchangeID, r.ExchangeID),
    }};
}
