// The protocol server over real loopback connections.
#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "sim/SimTestSupport.h"

using simtest::Bytes;
using simtest::Hex;
using simtest::TestClient;

namespace
{

const Bytes LogoutFrame = Hex(
    "00000045 03F1 0000 00000022 03F0 0000 00000002 0076 03EB 0000 00000004 00000005"
    "03EC 0000 00000004 00000000 03F2 0000 00000013 040D 0000 0000000B 040A 0000 00000003 616263");

constexpr std::chrono::seconds Patience(20);

}  // namespace

TEST(SimServer, DecodesFramesSplitOverChunksAndKeepsTheRawBytes)
{
    CSimServer server;
    server.SetRequestHandler([](const std::shared_ptr<CSimSession>& session, const SimRequest& request) {
        if (request.ServiceNo != SimService::Logout)
            return;
        RspInfo info{};
        LogoutRsp rsp{};
        std::strcpy(rsp.InvestorID, std::get<LogoutReq>(request.Record).InvestorID);
        session->Send(CSimEncoder::LogoutAnswer(request.RequestID, &info, &rsp));
    });
    server.Start();
    ASSERT_NE(0, server.Port());

    TestClient client(server.Port());
    // The first frame in three pieces (inside the prefix, inside the body),
    // the second glued to the end of the first.
    const Bytes stream = simtest::Cat(LogoutFrame, LogoutFrame);
    client.Write(Bytes(stream.begin(), stream.begin() + 2));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    client.Write(Bytes(stream.begin() + 2, stream.begin() + 40));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    client.Write(Bytes(stream.begin() + 40, stream.end()));

    ASSERT_TRUE(server.WaitFor([&] { return server.Requests().size() == 2; }, Patience));
    const std::vector<SimRequest> requests = server.Requests();
    for (const SimRequest& request : requests)
    {
        EXPECT_EQ(118, request.ServiceNo);
        EXPECT_EQ(5, request.RequestID);
        EXPECT_STREQ("abc", std::get<LogoutReq>(request.Record).InvestorID);
    }
    const std::vector<SimFrame> frames = server.ReceivedFrames(requests[0].SessionId);
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ(LogoutFrame, frames[0]);
    EXPECT_EQ(LogoutFrame, frames[1]);

    // Both answers: service 119, request 5, "abc".
    for (int i = 0; i < 2; ++i)
    {
        const Bytes answer = client.ReadFrame();
        EXPECT_EQ(Hex("0077"), Bytes(answer.begin() + 20, answer.begin() + 22));
        EXPECT_EQ(Hex("040A 0000 00000003 616263"), Bytes(answer.end() - 11, answer.end()));
    }
}

TEST(SimServer, SendsToOneOrAllAndCountsSessions)
{
    CSimServer server;
    server.Start();
    TestClient first(server.Port());
    TestClient second(server.Port());
    ASSERT_TRUE(server.WaitFor([&] { return server.SessionCount() == 2; }, Patience));
    const std::vector<uint64_t> ids = server.SessionIds();

    server.SendTo(ids[1], Hex("00000000"));
    EXPECT_EQ(Hex("00000000"), second.Read(4));
    // Arbitrary bytes go out as they are, framed or not.
    server.SendToAll(Hex("DEADBEEF01"));
    EXPECT_EQ(Hex("DEADBEEF01"), first.Read(5));
    EXPECT_EQ(Hex("DEADBEEF01"), second.Read(5));

    server.CloseSession(ids[0]);
    EXPECT_TRUE(first.WaitClosed());
    server.ResetSession(ids[1]);
    EXPECT_TRUE(second.WaitClosed());
    EXPECT_TRUE(server.WaitFor([&] { return server.SessionCount() == 0; }, Patience));
    EXPECT_EQ(2u, server.ConnectionCount());
}

TEST(SimServer, ClosesAClientThatAnnouncesAnOversizedPackage)
{
    CSimServer server;
    server.Start();
    TestClient client(server.Port());
    client.Write(Hex("00001FFD"));
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_TRUE(server.WaitFor([&] { return server.SessionCount() == 0; }, Patience));
    EXPECT_TRUE(server.Requests().empty());
}

TEST(SimServer, HeartbeatsAnIdleLinkAndDropsASilentClient)
{
    using Clock = std::chrono::steady_clock;
    SimSessionSettings settings;
    settings.HeartbeatIdle = std::chrono::milliseconds(100);
    settings.SilenceTimeout = std::chrono::milliseconds(1000);
    CSimServer server(settings);
    server.Start();
    TestClient client(server.Port(), 20000);

    EXPECT_EQ(CSimEncoder::Heartbeat(), client.ReadFrame());
    EXPECT_EQ(CSimEncoder::Heartbeat(), client.ReadFrame());
    // Client traffic 200 ms apart keeps it alive past the silence limit...
    Clock::time_point lastWrite = Clock::now();
    Clock::duration longestGap{};
    for (int i = 0; i < 8; ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        const Clock::time_point now = Clock::now();
        longestGap = std::max(longestGap, now - lastWrite);
        lastWrite = now;
        client.Write(LogoutFrame);
    }
    ASSERT_LT(longestGap, std::chrono::milliseconds(900)) << "the test paused too long between writes to judge";
    EXPECT_TRUE(server.WaitFor([&] { return server.Requests().size() == 8; }, Patience));
    EXPECT_EQ(1u, server.SessionCount());
    // ...and silence ends it, not before the limit has passed.
    EXPECT_TRUE(client.WaitClosed());
    EXPECT_GE(Clock::now() - lastWrite, settings.SilenceTimeout);
}

TEST(SimServer, StopsWhileFloodingAClientThatDoesNotRead)
{
    auto server = std::make_unique<CSimServer>();
    server->Start();
    TestClient reader(server->Port());
    TestClient stalled(server->Port());
    ASSERT_TRUE(server->WaitFor([&] { return server->SessionCount() == 2; }, Patience));
    server->FloodAll(CSimEncoder::Heartbeat());
    // The reader sees back-to-back heartbeats.
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(CSimEncoder::Heartbeat(), reader.ReadFrame());
    const auto start = std::chrono::steady_clock::now();
    server.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, Patience);
    EXPECT_TRUE(reader.WaitClosed());
}
