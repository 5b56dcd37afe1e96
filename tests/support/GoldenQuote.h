// One quote written out by hand from the quote record's table: every member
// of the Quot record (element 1141) under its own tag number, each value
// different from every other, and the record that a correct decoder makes of
// it. Nothing here comes from the library's dictionary or field maps.
#ifndef KELM_TESTS_SUPPORT_GOLDENQUOTE_H
#define KELM_TESTS_SUPPORT_GOLDENQUOTE_H

#include "quote/QuotRecord.h"
#include "support/WireBytes.h"

#include <cstring>
#include <vector>

namespace golden
{

/// The 61 member elements, in the order of the table.
inline std::vector<wire::Bytes> QuotMembers()
{
    using namespace wire;
    return {
        Text(1072, "M240305-093015-000000000000042"),  // MatchID, 30 characters
        Text(1081, "2024-03-05"),                      // TradeDate
        Text(1046, "cu2501"),                          // InstrumentID
        Double(1047, 71230.5),                         // Price
        Int32(1048, 17),                               // Qty
        Double(1083, 71220.25),                        // BidPrice
        Int32(1099, 31),                               // BidQty
        Double(1084, 71240.75),                        // AskPrice
        Int32(1100, 43),                               // AskQty
        Double(1093, 70010.5),                         // OpenPrice
        Double(1094, 71990.5),                         // HighestPrice
        Double(1095, 69880.5),                         // LowestPrice
        Double(1214, 75300.5),                         // HighLimit
        Double(1215, 66100.5),                         // LowLimit
        Int64(1088, 0x0000000500000009ull),            // OI
        Double(1091, 71111.5),                         // SettlePrice
        Double(1092, 70555.5),                         // PreClose
        Double(1085, 70666.5),                         // PreSettle
        Int64(1086, 0x0000000600000011ull),            // PreOI
        Int64(1087, 0x000000070000000Dull),            // QtyTotal
        Double(1089, 1234567890.5),                    // Amount
        Text(1062, "2024-03-06"),                      // ModifyDate
        Text(1063, "09:30:15"),                        // ModifyTime
        Double(1622, 71210.25), Int32(1624, 201), Double(1623, 71250.75), Int32(1625, 202),   // level 2
        Double(1626, 71200.25), Int32(1628, 301), Double(1627, 71260.75), Int32(1629, 302),   // level 3
        Double(1630, 71190.25), Int32(1632, 401), Double(1631, 71270.75), Int32(1633, 402),   // level 4
        Double(1634, 71180.25), Int32(1636, 501), Double(1635, 71280.75), Int32(1637, 502),   // level 5
        Double(1640, 71170.25), Int32(1642, 601), Double(1641, 71290.75), Int32(1643, 602),   // level 6
        Double(1644, 71160.25), Int32(1646, 701), Double(1645, 71300.75), Int32(1647, 702),   // level 7
        Double(1648, 71150.25), Int32(1650, 801), Double(1649, 71310.75), Int32(1651, 802),   // level 8
        Double(1652, 71140.25), Int32(1654, 901), Double(1653, 71320.75), Int32(1655, 902),   // level 9
        Double(1656, 71130.25), Int32(1658, 1001), Double(1657, 71330.75), Int32(1659, 1002), // level 10
        Text(1045, "B"),                               // BSFlag
        Text(1637, "EXCH-SIXTEEN-16C"),                // ExchangeID, 16 characters
    };
}

/// The members one after another: the value of a Quot element.
inline wire::Bytes Joined(const std::vector<wire::Bytes>& members)
{
    wire::Bytes value;
    for (const wire::Bytes& member : members)
        value.insert(value.end(), member.begin(), member.end());
    return value;
}

/// The Quot record element holding all of QuotMembers, in table order.
inline wire::Bytes QuotElement()
{
    return wire::Element(1141, Joined(QuotMembers()));
}

/// What the quote record holds after decoding QuotElement.
inline QuotRecord DecodedQuot()
{
    QuotRecord r;
    std::memset(&r, 0, sizeof r);
    std::strcpy(r.MatchID, "M240305-093015-000000000000042");
    std::strcpy(r.TradeDate, "2024-03-05");
    std::strcpy(r.InstrumentID, "cu2501");
    r.Price = 71230.5;
    r.Qty = 17;
    r.BidPrice = 71220.25;
    r.BidQty = 31;
    r.AskPrice = 71240.75;
    r.AskQty = 43;
    r.OpenPrice = 70010.5;
    r.HighestPrice = 71990.5;
    r.LowestPrice = 69880.5;
    r.HighLimit = 75300.5;
    r.LowLimit = 66100.5;
    r.OI = 0x0000000500000009ull;
    r.SettlePrice = 71111.5;
    r.PreClose = 70555.5;
    r.PreSettle = 70666.5;
    r.PreOI = 0x0000000600000011ull;
    r.QtyTotal = 0x000000070000000Dull;
    r.Amount = 1234567890.5;
    std::strcpy(r.ModifyDate, "2024-03-06");
    std::strcpy(r.ModifyTime, "09:30:15");
    r.BidPrice2 = 71210.25;  r.BidQty2 = 201;   r.AskPrice2 = 71250.75;  r.AskQty2 = 202;
    r.BidPrice3 = 71200.25;  r.BidQty3 = 301;   r.AskPrice3 = 71260.75;  r.AskQty3 = 302;
    r.BidPrice4 = 71190.25;  r.BidQty4 = 401;   r.AskPrice4 = 71270.75;  r.AskQty4 = 402;
    r.BidPrice5 = 71180.25;  r.BidQty5 = 501;   r.AskPrice5 = 71280.75;  r.AskQty5 = 502;
    r.BidPrice6 = 71170.25;  r.BidQty6 = 601;   r.AskPrice6 = 71290.75;  r.AskQty6 = 602;
    r.BidPrice7 = 71160.25;  r.BidQty7 = 701;   r.AskPrice7 = 71300.75;  r.AskQty7 = 702;
    r.BidPrice8 = 71150.25;  r.BidQty8 = 801;   r.AskPrice8 = 71310.75;  r.AskQty8 = 802;
    r.BidPrice9 = 71140.25;  r.BidQty9 = 901;   r.AskPrice9 = 71320.75;  r.AskQty9 = 902;
    r.BidPrice10 = 71130.25; r.BidQty10 = 1001; r.AskPrice10 = 71330.75; r.AskQty10 = 1002;
    r.BSFlag[0] = 'B';
    std::strcpy(r.ExchangeID, "EXCH-SIXTEEN-16C");
    return r;
}

} // namespace golden

#endif
