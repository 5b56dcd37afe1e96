// How the quote client's notifications reach the application: the record
// conversions, the trading day, the null-passing rules.
#include "api/CRivoMdApiImpl.h"
#include "api/RecordingQuoteApi.h"
#include "support/GoldenQuote.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace
{

struct AppCallback : CKelmRivoMdCallback
{
    void NotifyConnected() override { events.push_back("connected"); }
    void NotifyDisconnected(int reason) override
    {
        events.push_back("disconnected " + std::to_string(reason));
    }
    void NotifyLoginResult(LoginResultRecord* result, ResponseInfoRecord* info, int requestId,
                           bool isLast) override
    {
        events.push_back("login");
        hasRecord = result != nullptr;
        hasInfo = info != nullptr;
        if (result)
            login = *result;
        if (info)
            response = *info;
        lastRequestId = requestId;
        last = isLast;
    }
    void NotifyLogoutResult(LogoutResultRecord* result, ResponseInfoRecord* info, int requestId,
                            bool isLast) override
    {
        events.push_back("logout");
        hasRecord = result != nullptr;
        hasInfo = info != nullptr;
        if (result)
            logout = *result;
        lastRequestId = requestId;
        last = isLast;
    }
    void NotifySubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info,
                               int requestId, bool isLast) override
    {
        events.push_back("subscribe");
        hasRecord = instrument != nullptr;
        hasInfo = info != nullptr;
        if (instrument)
            instrumentRecord = *instrument;
        lastRequestId = requestId;
        last = isLast;
    }
    void NotifyQuote(MarketDepthRecord* quote) override
    {
        events.push_back("quote");
        depth = *quote;
    }

    std::vector<std::string> events;
    bool hasRecord = false;
    bool hasInfo = false;
    bool last = false;
    int lastRequestId = -1;
    LoginResultRecord login{};
    LogoutResultRecord logout{};
    ResponseInfoRecord response{};
    InstrumentSpecRecord instrumentRecord{};
    MarketDepthRecord depth{};
};

class CallbackAdaptation : public ::testing::Test
{
protected:
    CallbackAdaptation()
    {
        impl = new CRivoMdApiImpl(CRivoMdApiImpl::QuoteApiPtr(new RecordingQuoteApi(log)));
        impl->SetCallbackObject(&app);
        spi = log.callback;
    }
    ~CallbackAdaptation() override { impl->Dispose(); }

    void Login(const char* broker, const char* user)
    {
        LoginRequestRecord request;
        std::memset(&request, 0, sizeof request);
        std::strcpy(request.BrokerCode, broker);
        std::strcpy(request.UserCode, user);
        impl->SubmitLogin(&request, 1);
    }

    QuoteApiLog log;
    AppCallback app;
    CRivoMdApiImpl* impl;
    CTarnQuotSpi* spi;
};

TEST_F(CallbackAdaptation, LoginResult)
{
    Login("BRK", "trader1");
    LoginRsp rsp{};
    std::strcpy(rsp.TradeDate, "2024-03-05");
    std::strcpy(rsp.InvestorID, "ignored");
    std::memset(rsp.SysName, 'S', 50);
    rsp.SessionID = (1ull << 32) + 2;
    RspInfo info{};
    info.RspNo = 0xFFFF;
    std::memset(info.RspDesc, 'd', 256);
    spi->OnLoginResponse(&rsp, &info, 77, 0);

    ASSERT_EQ(app.events, std::vector<std::string>{"login"});
    EXPECT_TRUE(app.hasRecord);
    EXPECT_TRUE(app.last);
    EXPECT_EQ(app.lastRequestId, 77);
    EXPECT_STREQ(app.login.TradeDate, "20240305");
    EXPECT_STREQ(impl->GetTradeDate(), "20240305");
    EXPECT_STREQ(app.login.BrokerCode, "BRK");
    EXPECT_STREQ(app.login.UserCode, "trader1");
    EXPECT_EQ(std::string(app.login.SysName), std::string(40, 'S'));
    EXPECT_EQ(app.login.SessionIDHigh, 1);
    EXPECT_EQ(app.login.SessionIDLow, 2);
    EXPECT_STREQ(app.login.StartReference, "1");
    // HH:MM:SS, the same in all six places.
    ASSERT_EQ(std::strlen(app.login.LoginTime), 8u);
    EXPECT_EQ(app.login.LoginTime[2], ':');
    EXPECT_EQ(app.login.LoginTime[5], ':');
    for (const char* copy : {app.login.LoginTimeCopy1, app.login.LoginTimeCopy5})
        EXPECT_STREQ(copy, app.login.LoginTime);
    EXPECT_EQ(app.response.RspNo, 65535);
    EXPECT_EQ(std::string(app.response.RspDesc), std::string(80, 'd'));
}

TEST_F(CallbackAdaptation, FailedLoginWithoutDateEmptiesTradingDay)
{
    LoginRsp rsp{};
    std::strcpy(rsp.TradeDate, "2024-03-05");
    RspInfo info{};
    spi->OnLoginResponse(&rsp, &info, 1, 0);
    ASSERT_STREQ(impl->GetTradeDate(), "20240305");
    LoginRsp failed{};
    info.RspNo = 12;
    spi->OnLoginResponse(&failed, &info, 2, 0);
    EXPECT_STREQ(impl->GetTradeDate(), "");
    EXPECT_EQ(app.response.RspNo, 12);
    // Without a record or information, the application gets null pointers.
    spi->OnLoginResponse(nullptr, nullptr, 3, 0);
    EXPECT_FALSE(app.hasRecord);
    EXPECT_FALSE(app.hasInfo);
}

TEST_F(CallbackAdaptation, LogoutAndSubscribeResults)
{
    Login("BRK", "abc");
    LogoutRsp logout{};
    std::strcpy(logout.InvestorID, "server_user");
    spi->OnLogoutResponse(&logout, nullptr, 9, 1);
    EXPECT_STREQ(app.logout.UserCode, "abc");
    EXPECT_STREQ(app.logout.BrokerCode, "");
    EXPECT_FALSE(app.hasInfo);
    EXPECT_TRUE(app.last);

    RspInfo info{};
    QuotSubscribeRsp subscribed{};
    std::strcpy(subscribed.InstrumentID, "cu2501");
    spi->OnSubscribeResponse(&subscribed, &info, 0, 0);
    EXPECT_TRUE(app.hasRecord);
    EXPECT_STREQ(app.instrumentRecord.InstrumentID, "cu2501");
    spi->OnSubscribeResponse(nullptr, &info, 0, 0);
    EXPECT_FALSE(app.hasRecord);
    EXPECT_TRUE(app.hasInfo);
}

TEST_F(CallbackAdaptation, QuoteConversion)
{
    QuotRecord quote{};
    std::strcpy(quote.TradeDate, "2024-03-05");
    std::strcpy(quote.ModifyDate, "2024-03-06");
    std::strcpy(quote.ModifyTime, "09:30:01");
    std::strcpy(quote.InstrumentID, "IF2403");
    std::strcpy(quote.ExchangeID, "EXCHANGE10");
    quote.Price = 3512.5;
    quote.QtyTotal = (1ull << 32) + 5;
    quote.OI = 0x8000000000000000ull;
    quote.PreOI = 12345;
    quote.BidPrice = 3512.0;
    quote.BidQty = 7;
    quote.AskPrice5 = 3520.0;
    quote.AskQty5 = 9;
    quote.BidPrice6 = 1.0;  // level 6 is not passed on
    spi->OnQuote(&quote);

    const MarketDepthRecord& d = app.depth;
    EXPECT_STREQ(d.TradeDate, "20240305");
    EXPECT_STREQ(d.ModifyDate, "20240306");
    EXPECT_STREQ(d.ModifyTime, "09:30:01");
    EXPECT_STREQ(d.InstrumentID, "IF2403");
    EXPECT_STREQ(d.ExchangeID, "EXCHANGE");
    EXPECT_EQ(d.Price, 3512.5);
    EXPECT_EQ(d.CurrentPrice, 3512.5);
    EXPECT_EQ(d.QtyTotal, 5);
    EXPECT_EQ(d.OI, 9223372036854775808.0);
    EXPECT_EQ(d.PreOI, 12345.0);
    EXPECT_EQ(d.BidPrice1, 3512.0);
    EXPECT_EQ(d.BidQty1, 7);
    EXPECT_EQ(d.AskPrice5, 3520.0);
    EXPECT_EQ(d.AskQty5, 9);
    EXPECT_EQ(d.Reserved6, 0.0);
    const char zeros[102] = {};
    EXPECT_EQ(std::memcmp(d.Reserved7, zeros, sizeof d.Reserved7), 0);
}

// Texts end at their first NUL, whatever the source holds after it: the
// public text is padded with NUL from there on.
TEST_F(CallbackAdaptation, QuoteTextsEndAtTheirFirstNul)
{
    QuotRecord quote;
    std::memset(&quote, 'x', sizeof quote);
    std::memcpy(quote.TradeDate, "2024-03-05", 11);
    std::memcpy(quote.ModifyDate, "2024-03-06", 11);
    std::memcpy(quote.ExchangeID, "AB", 3);
    quote.ModifyTime[0] = '\0';
    std::memcpy(quote.InstrumentID, "IF2403-ABC", 11);  // the NUL in the second word
    spi->OnQuote(&quote);

    const MarketDepthRecord& d = app.depth;
    const char exchange[9] = "AB";
    EXPECT_EQ(0, std::memcmp(d.ExchangeID, exchange, sizeof exchange));
    const char time[9] = {};
    EXPECT_EQ(0, std::memcmp(d.ModifyTime, time, sizeof time));
    const char instrument[81] = "IF2403-ABC";
    EXPECT_EQ(0, std::memcmp(d.InstrumentID, instrument, sizeof instrument));
}

// Every member of the quote distinct (the golden quote), against the public
// record written out field by field from the record table.
TEST_F(CallbackAdaptation, QuoteConversionOfEveryMember)
{
    const QuotRecord quote = golden::DecodedQuot();
    spi->OnQuote(&quote);

    MarketDepthRecord e;
    std::memset(&e, 0, sizeof e);
    std::strcpy(e.TradeDate, "20240305");
    std::strcpy(e.ExchangeID, "EXCH-SIX");  // first 8 characters
    e.Price = 71230.5;
    e.PreSettle = 70666.5;
    e.PreClose = 70555.5;
    e.PreOI = 25769803793.0;  // 0x0000000600000011
    e.OpenPrice = 70010.5;
    e.HighestPrice = 71990.5;
    e.LowestPrice = 69880.5;
    e.QtyTotal = 13;  // low 32 bits of 0x000000070000000D
    e.Amount = 1234567890.5;
    e.OI = 21474836489.0;  // 0x0000000500000009
    e.CurrentPrice = 71230.5;
    e.SettlePrice = 71111.5;
    e.HighLimit = 75300.5;
    e.LowLimit = 66100.5;
    std::strcpy(e.ModifyTime, "09:30:15");
    e.BidPrice1 = 71220.25;  e.BidQty1 = 31;  e.AskPrice1 = 71240.75;  e.AskQty1 = 43;
    e.BidPrice2 = 71210.25;  e.BidQty2 = 201; e.AskPrice2 = 71250.75;  e.AskQty2 = 202;
    e.BidPrice3 = 71200.25;  e.BidQty3 = 301; e.AskPrice3 = 71260.75;  e.AskQty3 = 302;
    e.BidPrice4 = 71190.25;  e.BidQty4 = 401; e.AskPrice4 = 71270.75;  e.AskQty4 = 402;
    e.BidPrice5 = 71180.25;  e.BidQty5 = 501; e.AskPrice5 = 71280.75;  e.AskQty5 = 502;
    std::strcpy(e.ModifyDate, "20240306");
    std::strcpy(e.InstrumentID, "cu2501");

    ASSERT_EQ(app.events, std::vector<std::string>{"quote"});
    const unsigned char* actual = reinterpret_cast<const unsigned char*>(&app.depth);
    const unsigned char* expected = reinterpret_cast<const unsigned char*>(&e);
    for (std::size_t i = 0; i < sizeof e; ++i)
        ASSERT_EQ(expected[i], actual[i]) << "first difference at byte " << i << " of MarketDepthRecord";
}

TEST_F(CallbackAdaptation, NoCallbackObjectMeansNoEffect)
{
    impl->SetCallbackObject(nullptr);
    LoginRsp rsp{};
    std::strcpy(rsp.TradeDate, "2024-03-05");
    spi->OnLoginResponse(&rsp, nullptr, 1, 0);
    spi->OnConnected();
    EXPECT_STREQ(impl->GetTradeDate(), "");
    EXPECT_TRUE(app.events.empty());
    impl->SetCallbackObject(&app);
    spi->OnConnected();
    spi->OnDisconnected();
    EXPECT_EQ(app.events, (std::vector<std::string>{"connected", "disconnected 0"}));
}

}  // namespace
