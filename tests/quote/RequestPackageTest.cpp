// Request packages compared byte for byte with bodies written out by hand.
#include "bml/CAPIPackage.h"
#include "quote/CRequestBuilder.h"
#include "support/WireBytes.h"

#include <gtest/gtest.h>

#include <cstring>

namespace
{

template <class Request>
wire::Bytes Build(uint16_t service, int requestId, const Request& request)
{
    uint8_t buffer[8192];
    std::memset(buffer, 0xCC, sizeof buffer);
    CAPIPackage package;
    package.BeginRequest(service, requestId, buffer + 4);
    EXPECT_GT(CRequestBuilder::AddRecord(package, request), 0);
    EXPECT_EQ(package.GetBuffer(), buffer + 4);
    // Nothing is written in front of the body, where the length prefix goes.
    EXPECT_EQ(buffer[0], 0xCC);
    return wire::Bytes(package.GetBuffer(), package.GetBuffer() + package.GetLength());
}

}  // namespace

TEST(RequestPackage, LogoutWorkedExample)
{
    LogoutReq logout{};
    std::strcpy(logout.InvestorID, "abc");
    const wire::Bytes expected = {
        0x03, 0xF1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x22,                          // ApiHead
        0x03, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x76,              // ServiceNo 118
        0x03, 0xEB, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05,  // RequestID 5
        0x03, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,  // EndFlag 0
        0x03, 0xF2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x13,                          // ApiBody
        0x04, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0B,                          // LogoutReq
        0x04, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63,        // InvestorID
    };
    EXPECT_EQ(Build(118, 5, logout), expected);
}

TEST(RequestPackage, LoginCarriesAllFiveFieldsEvenWhenEmpty)
{
    LoginReq login{};
    std::strcpy(login.InvestorID, "u1");
    std::strcpy(login.InvestorPassword, "pw");
    const wire::Bytes expected = wire::Body(
        116, 9, 0,
        {wire::Record(1032, {wire::Text(1034, "u1"), wire::Text(1035, "pw"), wire::Text(1660, ""),
                             wire::Element(1681, {0x00}), wire::Int32(1682, 0)})});
    EXPECT_EQ(Build(116, 9, login), expected);
}

TEST(RequestPackage, SubscriptionAndMinuteQueries)
{
    QuotSubscribeReq subscribe{};
    std::strcpy(subscribe.InstrumentID, "cu2501");
    EXPECT_EQ(Build(7, 0, subscribe),
              wire::Body(7, 0, 0, {wire::Record(1017, {wire::Text(1034, ""),
                                                       wire::Text(1046, "cu2501")})}));

    MinDataQueryReq query{};
    std::strcpy(query.InstrumentID, "IF2403");
    std::strcpy(query.DateTimeFrom, "2024-03-05 09:30:00");
    std::strcpy(query.DateTimeTo, "2024-03-05 15:00:00");
    std::strcpy(query.ExchangeID, "CFFEX");
    const wire::Bytes a = Build(150, 3, query);
    const wire::Bytes b = Build(192, 3, query);
    const wire::Bytes c = Build(194, 3, query);
    EXPECT_EQ(a, wire::Body(150, 3, 0,
                            {wire::Record(1277, {wire::Text(1046, "IF2403"),
                                                 wire::Text(1283, "2024-03-05 09:30:00"),
                                                 wire::Text(1284, "2024-03-05 15:00:00"),
                                                 wire::Text(1637, "CFFEX")})}));
    // Only the ServiceNo value (bytes 16-17) differs.
    ASSERT_EQ(a.size(), b.size());
    ASSERT_EQ(a.size(), c.size());
    for (std::size_t i = 0; i < a.size(); ++i)
    {
        if (i == 17)
            continue;
        EXPECT_EQ(a[i], b[i]) << i;
        EXPECT_EQ(a[i], c[i]) << i;
    }
    EXPECT_EQ(b[17], 192);
    EXPECT_EQ(c[17], 194);
}

TEST(RequestPackage, TextsLongerThanTheDictionaryAllowsAreCut)
{
    DayDataQueryReq query{};
    std::memset(query.ExchangeID, 'X', 16);   // 16 is the most ExchangeID carries
    std::strcpy(query.InstrumentID, "ag2506");
    std::strcpy(query.DateFrom, "2024-01-01");
    TradeDetailDataQueryReq detail{};
    std::memset(detail.InstrumentID, 'I', 15);
    EXPECT_EQ(Build(152, 1, query),
              wire::Body(152, 1, 0,
                         {wire::Record(1279, {wire::Text(1046, "ag2506"),
                                              wire::Text(1285, "2024-01-01"),
                                              wire::Text(1286, ""),
                                              wire::Text(1637, std::string(16, 'X'))})}));
    EXPECT_EQ(Build(211, 2, detail),
              wire::Body(211, 2, 0,
                         {wire::Record(1606, {wire::Text(1046, std::string(15, 'I')),
                                              wire::Text(1081, ""), wire::Text(1637, "")})}));
}
