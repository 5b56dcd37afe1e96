// Received packages, written out by hand, through the dispatcher and the
// decoders to the quote client's notifications.
#include "bml/CAPIPackage.h"
#include "quote/CPackageDispatcher.h"
#include "quote/RecordingSpi.h"
#include "support/WireBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace
{

using namespace wire;

class Dispatch : public ::testing::Test
{
protected:
    int Deliver(const Bytes& body)
    {
        CAPIPackage package;
        package.AttachReceived(body.data(), static_cast<uint32_t>(body.size()));
        return CPackageDispatcher::Dispatch(package, &spi);
    }

    static Bytes Info(uint16_t code, const std::string& text)
    {
        return Record(1025, {Int16(1026, code), Text(1027, text)});
    }

    static Bytes Day(const std::string& instrument, double close, const std::string& exchange)
    {
        Bytes members = Concat({Text(1046, instrument), Text(1287, "2024-03-05"),
                                Double(1096, close), Int64(1087, 1000)});
        if (!exchange.empty())
            members = Concat({members, Text(1637, exchange)});
        return members;
    }

    RecordingSpi spi;
};

TEST_F(Dispatch, IgnoredServicesAndHeadlessPackages)
{
    EXPECT_EQ(Deliver(Body(0, 0, 0, {})), 0);
    EXPECT_EQ(Deliver(Body(116, 1, 0, {Info(0, "x")})), 0);
    EXPECT_EQ(Deliver(Body(300, 1, 0, {Info(0, "x")})), 0);
    EXPECT_EQ(Deliver(Bytes{}), 0);
    EXPECT_EQ(Deliver(Record(1010, {Info(0, "no head")})), 0);  // ServiceNo 0
    EXPECT_EQ(spi.Total(), 0u);
}

TEST_F(Dispatch, QuoteInTableOrderWithSharedExchangeTag)
{
    Deliver(Body(125, 0, 0,
                 {Record(1141, {Text(1081, "2024-03-05"), Text(1046, "ABCDEFGHIJKLMNOPQRST"),
                                Double(1047, 3512.5), Int64(1087, (1ull << 32) + 5),
                                Int32(1637, 55),            // AskQty5
                                Text(1045, "B"), Text(1637, "SHFE")})}));
    ASSERT_EQ(spi.quotes.size(), 1u);
    const QuotRecord& q = spi.quotes[0];
    EXPECT_STREQ(q.TradeDate, "2024-03-05");
    EXPECT_STREQ(q.InstrumentID, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(q.Price, 3512.5);
    EXPECT_EQ(q.QtyTotal, (1ull << 32) + 5);
    EXPECT_EQ(q.AskQty5, 55);
    EXPECT_EQ(q.BSFlag[0], 'B');
    EXPECT_STREQ(q.ExchangeID, "SHFE");
    EXPECT_EQ(q.BidPrice, 0.0);
}

TEST_F(Dispatch, QuoteWithoutBSFlagTakesAskQty5BytesAsExchange)
{
    Deliver(Body(125, 0, 0,
                 {Record(1141, {Text(1046, "cu2501"), Int32(1637, 0x41424344), Text(1637, "SHFE")})}));
    ASSERT_EQ(spi.quotes.size(), 1u);
    EXPECT_EQ(spi.quotes[0].AskQty5, 0x41424344);
    EXPECT_STREQ(spi.quotes[0].ExchangeID, "ABCD");
}

TEST_F(Dispatch, QuoteWithoutQuotRecordStillArrivesZeroed)
{
    Deliver(Body(125, 0, 0, {}));
    Deliver(Body(125, 0, 0, {Info(0, "not a quote")}));
    ASSERT_EQ(spi.quotes.size(), 2u);
    const QuotRecord zero{};
    EXPECT_EQ(std::memcmp(&spi.quotes[0], &zero, sizeof zero), 0);
    EXPECT_EQ(std::memcmp(&spi.quotes[1], &zero, sizeof zero), 0);
}

TEST_F(Dispatch, LoginAnswerWithSharedSessionTag)
{
    Deliver(Body(117, 12, 0,
                 {Record(1033, {Text(1034, "u1"), Text(1081, "2024-03-05"), Text(1518, "SIM"),
                                Text(1638, "M"), Text(1621, "1"), Int64(1638, (1ull << 32) + 2)}),
                  Info(65535, "bad")}));
    ASSERT_EQ(spi.logins.size(), 1u);
    const auto& call = spi.logins[0];
    EXPECT_TRUE(call.hasRecord);
    EXPECT_TRUE(call.hasInfo);
    EXPECT_EQ(call.requestId, 12);
    EXPECT_STREQ(call.record.TradeDate, "2024-03-05");
    EXPECT_EQ(call.record.SysMode[0], 'M');
    EXPECT_EQ(call.record.InvestorAdviserFlag[0], '1');
    EXPECT_EQ(call.record.SessionID, (1ull << 32) + 2);
    EXPECT_EQ(call.info.RspNo, 65535);
    EXPECT_STREQ(call.info.RspDesc, "bad");

    // Without either record both are still passed, zeroed.
    Deliver(Body(117, 13, 4, {}));
    ASSERT_EQ(spi.logins.size(), 2u);
    EXPECT_TRUE(spi.logins[1].hasRecord);
    EXPECT_TRUE(spi.logins[1].hasInfo);
    EXPECT_EQ(spi.logins[1].info.RspNo, 0);
    EXPECT_EQ(spi.logins[1].flag, 4);
}

TEST_F(Dispatch, SubscribeAnswersPassNullForMissingParts)
{
    Deliver(Body(8, 0, 0, {Record(1018, {Text(1046, "cu2501")}), Info(0, "ok")}));
    Deliver(Body(8, 0, 0, {Info(7, "unknown")}));
    Deliver(Body(10, 3, 0, {Record(1020, {Text(1046, "cu2501")})}));
    ASSERT_EQ(spi.subscribes.size(), 2u);
    EXPECT_TRUE(spi.subscribes[0].hasRecord);
    EXPECT_STREQ(spi.subscribes[0].record.InstrumentID, "cu2501");
    EXPECT_FALSE(spi.subscribes[1].hasRecord);
    EXPECT_EQ(spi.subscribes[1].info.RspNo, 7);
    ASSERT_EQ(spi.unsubscribes.size(), 1u);
    EXPECT_TRUE(spi.unsubscribes[0].hasRecord);
    EXPECT_FALSE(spi.unsubscribes[0].hasInfo);
    EXPECT_EQ(spi.unsubscribes[0].requestId, 3);
}

TEST_F(Dispatch, DayListFlagsAndCarriedOverMembers)
{
    Deliver(Body(153, 21, 0,
                 {Info(0, ""), List(1282, {Day("a", 1.5, "SHFE"), Day("b", 2.5, ""),
                                           Day("c", 3.5, "DCE")})}));
    ASSERT_EQ(spi.dayData.size(), 3u);
    EXPECT_EQ(spi.dayData[0].flag, 1);
    EXPECT_EQ(spi.dayData[1].flag, 1);
    EXPECT_EQ(spi.dayData[2].flag, 0);
    EXPECT_EQ(spi.dayData[2].requestId, 21);
    EXPECT_STREQ(spi.dayData[0].record.InstrumentID, "a");
    EXPECT_EQ(spi.dayData[1].record.ClosePrice, 2.5);
    // The second record has no ExchangeID: the first record's value stays.
    EXPECT_STREQ(spi.dayData[1].record.ExchangeID, "SHFE");
    EXPECT_STREQ(spi.dayData[2].record.ExchangeID, "DCE");
}

TEST_F(Dispatch, EmptyAndTruncatedLists)
{
    Deliver(Body(212, 5, 1, {Info(0, "")}));
    ASSERT_EQ(spi.trades.size(), 1u);
    EXPECT_FALSE(spi.trades[0].hasRecord);
    EXPECT_EQ(spi.trades[0].flag, 1);

    // Two stray bytes after the last complete record: flag 1 there, no more calls.
    Bytes list = List(1281, {Concat({Text(1046, "m1"), Text(1291, "2024-03-05 09:31:00")})});
    list.push_back(0);
    list.push_back(0);
    list[7] = static_cast<uint8_t>(list[7] + 2);   // value length covers the stray bytes
    Deliver(Body(195, 6, 0, {list}));
    ASSERT_EQ(spi.minData.size(), 1u);
    EXPECT_EQ(spi.minData[0].flag, 1);
    EXPECT_EQ(spi.minServices[0], 194);
    EXPECT_STREQ(spi.minData[0].record.DateTime, "2024-03-05 09:31:00");

    // A record whose length runs past the list ends the walk silently.
    Bytes lying = List(1281, {Text(1046, "m2"), Text(1046, "m3")});
    lying[8 + 4 + 10 + 3] = 0x7F;   // second record's length, low byte
    Deliver(Body(151, 7, 0, {lying}));
    ASSERT_EQ(spi.minData.size(), 2u);
    EXPECT_STREQ(spi.minData[1].record.InstrumentID, "m2");
    EXPECT_EQ(spi.minServices[1], 150);
}

}  // namespace
