// The library end to end, through the public API only, against our protocol
// server on loopback.
#include "AppRecorder.h"
#include "net/Platform.h"
#include "net/TestPeer.h"
#include "quote/QuotRecord.h"
#include "quote/QuotResponses.h"
#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "sim/SimService.h"
#include "support/WireBytes.h"
#include "support/TestSpinning.h"

#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include <cstring>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;

class EndToEnd : public ::testing::Test
{
protected:
    ~EndToEnd() override
    {
        if (api)
            api->Dispose();
        server.Stop();
    }

    // Starts the server with the given request handler and connects to it.
    void Connect(CSimServer::RequestHandler handler = nullptr)
    {
        if (handler)
            server.SetRequestHandler(std::move(handler));
        server.Start("127.0.0.1", 0);
        api = testspinning::CreateApi();
        api->SetCallbackObject(&app);
        api->AddServerUrl(Url().c_str());
        api->Launch();
        ASSERT_TRUE(app.Wait([&] { return app.connects == 1; }));
        ASSERT_TRUE(server.WaitFor([&] { return server.SessionCount() == 1; }, 5s));
    }

    std::string Url() const { return "tcp://127.0.0.1:" + std::to_string(server.Port()); }

    uint64_t Session() { return server.SessionIds().at(0); }

    void Push(const wire::Bytes& body) { server.SendTo(Session(), wire::Frame(body)); }

    int Login(const char* user, int requestId = 1)
    {
        LoginRequestRecord login;
        std::memset(&login, 0, sizeof login);
        std::strcpy(login.BrokerCode, "BRK");
        std::strcpy(login.UserCode, user);
        std::strcpy(login.Password, "secret");
        return api->SubmitLogin(&login, requestId);
    }

    std::size_t Results()
    {
        return app.results.size();
    }

    CSimServer server;
    AppRecorder app;
    CKelmRivoMdApi* api = nullptr;
};

TEST_F(EndToEnd, RequestsAsTheServerReceivesThem)
{
    Connect();
    ASSERT_EQ(Login("abc"), 0);
    ASSERT_EQ(api->SubmitLogout(nullptr, 5), 0);
    char a[] = "cu2501", b[] = "ag2506", c[] = "IF2403";
    char* codes[] = {a, b, c};
    ASSERT_EQ(api->SubscribeQuotes(codes, 3), 0);
    ASSERT_TRUE(server.WaitFor([&] { return server.Requests().size() == 5; }, 5s));

    const std::vector<SimFrame> frames = server.ReceivedFrames(Session());
    ASSERT_EQ(frames.size(), 5u);
    // The login carries all five fields, IP, ProductType and ProductVersion empty.
    EXPECT_EQ(frames[0], wire::Frame(wire::Body(
                             116, 1, 0,
                             {wire::Record(1032, {wire::Text(1034, "abc"), wire::Text(1035, "secret"),
                                                  wire::Text(1660, ""), wire::Element(1681, {0}),
                                                  wire::Int32(1682, 0)})})));
    const SimFrame logout = {
        0x00, 0x00, 0x00, 0x45,
        0x03, 0xF1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x22,
        0x03, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x76,
        0x03, 0xEB, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05,
        0x03, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,
        0x03, 0xF2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x13,
        0x04, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0B,
        0x04, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63,
    };
    EXPECT_EQ(frames[1], logout);
    const char* expected[] = {"cu2501", "ag2506", "IF2403"};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(frames[2 + i],
                  wire::Frame(wire::Body(7, 0, 0, {wire::Record(1017, {wire::Text(1034, ""),
                                                                       wire::Text(1046, expected[i])})})));
}

TEST_F(EndToEnd, UnsubscribeRequestsAndTheirAnswerOnTheWire)
{
    Connect();
    char a[] = "ag2506", b[] = "IF2403";
    char* codes[] = {a, b};
    ASSERT_EQ(api->UnsubscribeQuotes(codes, 2), 0);
    ASSERT_TRUE(server.WaitFor([&] { return server.Requests().size() == 2; }, 5s));
    const std::vector<SimFrame> frames = server.ReceivedFrames(Session());
    ASSERT_EQ(frames.size(), 2u);
    // Service 9, RequestID 0, one QuotUnSubscribeReq: InvestorID empty, then InstrumentID.
    EXPECT_EQ(frames[0], wire::Frame(wire::Body(9, 0, 0, {wire::Record(1019, {wire::Text(1034, ""),
                                                                              wire::Text(1046, "ag2506")})})));
    EXPECT_EQ(frames[1], wire::Frame(wire::Body(9, 0, 0, {wire::Record(1019, {wire::Text(1034, ""),
                                                                              wire::Text(1046, "IF2403")})})));

    // The server's answer, service 10: RspInfo, then QuotUnSubscribeRsp.
    Push(wire::Body(10, 44, 0, {wire::Record(1025, {wire::Int16(1026, 7), wire::Text(1027, "not subscribed")}),
                                wire::Record(1020, {wire::Text(1046, "ag2506")})}));
    ASSERT_TRUE(app.Wait([&] { return Results() == 1; }));
    const AppRecorder::Result result = app.Read([&] { return app.results[0]; });
    EXPECT_EQ(result.kind, "unsubscribe");
    EXPECT_TRUE(result.hasRecord);
    EXPECT_TRUE(result.hasInfo);
    EXPECT_EQ(result.info.RspNo, 7);
    EXPECT_STREQ(result.info.RspDesc, "not subscribed");
    EXPECT_EQ(result.requestId, 44);
    EXPECT_TRUE(result.isLast);
    EXPECT_STREQ(app.Read([&] { return app.instrument; }).InstrumentID, "ag2506");
}

TEST_F(EndToEnd, LoginResultAsTheApplicationSeesIt)
{
    Connect([](const std::shared_ptr<CSimSession>& session, const SimRequest& request) {
        if (request.ServiceNo != SimService::Login)
            return;
        RspInfo info{};
        info.RspNo = 0xFFFF;
        std::strcpy(info.RspDesc, "warning");
        LoginRsp rsp{};
        std::strcpy(rsp.TradeDate, "2024-03-05");
        std::memset(rsp.SysName, 'N', 50);
        rsp.SessionID = (1ull << 32) + 2;
        session->Send(CSimEncoder::LoginAnswer(request.RequestID, &info, &rsp));
    });
    ASSERT_EQ(Login("trader", 31), 0);
    ASSERT_TRUE(app.Wait([&] { return Results() == 1; }));
    const AppRecorder::Result result = app.Read([&] { return app.results[0]; });
    EXPECT_EQ(result.kind, "login");
    EXPECT_TRUE(result.hasRecord);
    EXPECT_EQ(result.requestId, 31);
    EXPECT_TRUE(result.isLast);
    EXPECT_EQ(result.info.RspNo, 65535);
    const LoginResultRecord login = app.Read([&] { return app.login; });
    EXPECT_STREQ(login.TradeDate, "20240305");
    EXPECT_STREQ(api->GetTradeDate(), "20240305");
    EXPECT_STREQ(login.UserCode, "trader");
    EXPECT_STREQ(login.BrokerCode, "BRK");
    EXPECT_EQ(std::string(login.SysName), std::string(40, 'N'));
    EXPECT_EQ(login.SessionIDHigh, 1);
    EXPECT_EQ(login.SessionIDLow, 2);
    EXPECT_STREQ(login.StartReference, "1");
    EXPECT_EQ(std::strlen(login.LoginTime), 8u);
}

TEST_F(EndToEnd, FailedLoginSubscribeWithoutRecordAndLogout)
{
    Connect([](const std::shared_ptr<CSimSession>& session, const SimRequest& request) {
        RspInfo info{};
        info.RspNo = 3;
        if (request.ServiceNo == SimService::Login)
        {
            LoginRsp rsp{};   // no trading day
            session->Send(CSimEncoder::LoginAnswer(request.RequestID, &info, &rsp));
        }
        else if (request.ServiceNo == SimService::Subscribe)
            session->Send(CSimEncoder::SubscribeAnswer(request.RequestID, &info, nullptr));
        else if (request.ServiceNo == SimService::Logout)
        {
            LogoutRsp rsp{};
            std::strcpy(rsp.InvestorID, "someone");
            session->Send(CSimEncoder::LogoutAnswer(request.RequestID, nullptr, &rsp));
        }
    });
    Login("first");
    ASSERT_TRUE(app.Wait([&] { return Results() == 1; }));
    EXPECT_STREQ(api->GetTradeDate(), "");
    char code[] = "xx0000";
    char* codes[] = {code};
    api->SubscribeQuotes(codes, 1);
    Login("second");
    api->SubmitLogout(nullptr, 8);
    ASSERT_TRUE(app.Wait([&] { return Results() == 4; }));
    app.Read([&] {
        EXPECT_EQ(app.results[1].kind, "subscribe");
        EXPECT_FALSE(app.results[1].hasRecord);
        EXPECT_EQ(app.results[1].info.RspNo, 3);
        EXPECT_EQ(app.results[3].kind, "logout");
        EXPECT_TRUE(app.results[3].hasRecord);
        // A logout answer always passes its information, zeroed when absent.
        EXPECT_TRUE(app.results[3].hasInfo);
        EXPECT_EQ(app.results[3].info.RspNo, 0);
        EXPECT_EQ(app.results[3].requestId, 8);
        EXPECT_STREQ(app.logout.UserCode, "second");
        return 0;
    });
}

TEST_F(EndToEnd, QuotesAsTheApplicationSeesThem)
{
    Connect();
    QuotRecord quote{};
    std::strcpy(quote.TradeDate, "2024-03-05");
    std::strcpy(quote.ModifyDate, "2024-03-05");
    std::strcpy(quote.ModifyTime, "10:15:30");
    std::strcpy(quote.InstrumentID, "cu2501");
    std::strcpy(quote.ExchangeID, "EXCHANGE10");
    quote.Price = 71230.0;
    quote.QtyTotal = (1ull << 32) + 5;
    quote.OI = 0x8000000000000001ull;
    quote.AskQty5 = 17;
    quote.BSFlag[0] = 'S';
    server.SendTo(Session(), CSimEncoder::Quote(quote));
    // Without BSFlag the exchange code comes from the AskQty5 element's bytes.
    Push(wire::Body(125, 0, 0, {wire::Record(1141, {wire::Text(1046, "ag2506"),
                                                    wire::Int32(1637, 0x53484645),
                                                    wire::Text(1637, "SHFE")})}));
    Push(wire::Body(125, 0, 0, {}));
    ASSERT_TRUE(app.Wait([&] { return app.quotes.size() == 3; }));
    const std::vector<MarketDepthRecord> quotes = app.Read([&] { return app.quotes; });
    EXPECT_STREQ(quotes[0].InstrumentID, "cu2501");
    EXPECT_STREQ(quotes[0].TradeDate, "20240305");
    EXPECT_STREQ(quotes[0].ExchangeID, "EXCHANGE");
    EXPECT_EQ(quotes[0].QtyTotal, 5);
    EXPECT_GT(quotes[0].OI, 9.2e18);
    EXPECT_EQ(quotes[0].AskQty5, 17);
    EXPECT_EQ(quotes[0].CurrentPrice, 71230.0);
    EXPECT_STREQ(quotes[1].ExchangeID, "SHFE");
    EXPECT_EQ(quotes[1].AskQty5, 0x53484645);
    const MarketDepthRecord zero{};
    EXPECT_EQ(std::memcmp(&quotes[2], &zero, sizeof zero), 0);
}

TEST_F(EndToEnd, RequestsBeforeLaunchAndWithoutConnection)
{
    api = testspinning::CreateApi();
    api->SetCallbackObject(&app);
    EXPECT_EQ(Login("u"), -1);
    EXPECT_EQ(api->SubmitLogout(nullptr, 1), -1);
    // Nobody listens on the address (a port held, refusing): the client keeps
    // trying, requests fail.
    TestPeer refusing(TestPeer::Refusing());
    api->AddServerUrl(("tcp://" + refusing.Address()).c_str());
    api->Launch();
    EXPECT_EQ(Login("u"), -1);
    char code[] = "cu2501";
    char* codes[] = {code};
    EXPECT_EQ(api->SubscribeQuotes(codes, 1), 0);
    EXPECT_EQ(app.Read([&] { return app.connects; }), 0);
    // Disposed while the port is still held, so that no other test's server
    // can get this client's next attempt.
    api->Dispose();
    api = nullptr;
}

TEST_F(EndToEnd, ServerCloseGivesOneDisconnectThenReconnect)
{
    Connect();
    server.CloseSession(Session());
    ASSERT_TRUE(app.Wait([&] { return app.connects == 2; }));
    EXPECT_EQ(app.Read([&] { return app.disconnects; }), 1);
    EXPECT_EQ(app.Read([&] { return app.lastReason; }), 0);
    EXPECT_EQ(Login("again"), 0);
}

TEST_F(EndToEnd, DisposeWhileConnectedGivesNoDisconnect)
{
    Connect();
    api->Dispose();
    api = nullptr;
    ASSERT_TRUE(server.WaitFor([&] { return server.SessionCount() == 0; }, 5s));
    EXPECT_EQ(app.Read([&] { return app.disconnects; }), 0);
}

// Where an exception can reach the application, Launch raises "resolve" and
// nothing runs; where it cannot (the Windows DLL), the address counts as a
// failed attempt and the next one is tried.
TEST_F(EndToEnd, UnresolvableFirstAddressRaisesResolveOrMovesOn)
{
    server.Start("127.0.0.1", 0);
    api = testspinning::CreateApi();
    api->SetCallbackObject(&app);
    // A host over 127 characters is refused without asking a name server.
    api->AddServerUrl(("tcp://" + std::string(128, 'h') + ":7000").c_str());
    api->AddServerUrl(Url().c_str());
    try
    {
        api->Launch();
        EXPECT_FALSE(Platform::ExceptionsReachTheApplication) << "Launch did not raise";
    }
    catch (const boost::system::system_error& error)
    {
        EXPECT_NE(std::string(error.what()).find("resolve"), std::string::npos) << error.what();
    }
    if (Platform::ExceptionsReachTheApplication)
    {
        std::this_thread::sleep_for(1500ms);  // past the first retry, had there been one
        EXPECT_EQ(server.SessionCount(), 0u);
    }
    else
    {
        EXPECT_TRUE(app.Wait([&] { return app.connects == 1; }));
    }
    api->Dispose();
    api = nullptr;
    EXPECT_EQ(app.Read([&] { return app.disconnects; }), 0);
}

TEST_F(EndToEnd, LaunchWithoutAddressGivesNoCallback)
{
    api = testspinning::CreateApi();
    api->SetCallbackObject(&app);
    api->Launch();
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(Login("u"), -1);
    api->Dispose();
    api = nullptr;
    EXPECT_EQ(app.Read([&] { return app.connects; }), 0);
}

}  // namespace
