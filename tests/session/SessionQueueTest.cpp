// A quote queue that nobody reads while the server floods it: every quote
// the server sent is either queued or counted as dropped, the oldest are the
// ones kept, the network thread goes on taking quotes and answers, and the
// memory stays bounded.
#include <gtest/gtest.h>

#include <kelmmd/CMdSession.h>

#include <vector>

#include "CLoopbackQuoteServer.h"
#include "SessionTestSupport.h"
#include "support/TestPlatform.h"
#include "support/TestSpinning.h"

namespace
{

using namespace sessiontest;

// AddressSanitizer holds freed memory back (the server's write blocks among
// it): there the resident set says nothing about the queue.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool ResidentSetTells = false;
#else
constexpr bool ResidentSetTells = true;
#endif

constexpr std::size_t Capacity = 1000;
constexpr uint64_t Flood = 100000;

TEST(SessionQueue, AFloodNobodyReadsIsCountedExactlyAndTheNetworkThreadGoesOn)
{
    CLoopbackQuoteServer server(CLoopbackQuoteServer::Behaviour{true, false});  // the flood alone
    server.Start();
    kelmmd::SessionSettings settings;
    settings.Addresses = {server.Address()};
    settings.Spinning = testspinning::Setting();
    settings.QueueCapacity = Capacity;
    kelmmd::CMdSession session(settings);
    CEventLog events(session);
    ASSERT_TRUE(session.Connect(10s));
    session.Login({"demo", "secret", ""}, 10s);
    session.Subscribe({"au2406"});
    ASSERT_TRUE(events.WaitFor(Kind::Subscribe));
    const std::shared_ptr<CSimSession> connection = server.LastConnection();
    CSimServer& sim = server.Server();
    const uint64_t framesBefore = sim.Call([&] { return connection->FramesQueued(); });
    const uint64_t residentBefore = testplatform::ResidentKiB();

    sim.FloodTo(connection->Id(), CLoopbackQuoteServer::QuoteFrame("au2406", 4321));
    ASSERT_TRUE(WaitUntil([&] { return session.Quotes().Received() >= Flood; }, 120s)) << session.Quotes().Received();
    const uint64_t residentAfter = testplatform::ResidentKiB();
    // Answers still come while the queue is full.
    session.Unsubscribe({"au2406"});
    ASSERT_TRUE(events.WaitFor(Kind::Unsubscribe, 30s));
    sim.StopFlood(connection->Id());
    ASSERT_TRUE(sim.WaitFor([&] { return connection->Backlog() == 0; }, 30s));
    // Every frame queued since, but the unsubscription's answer, was a quote.
    const uint64_t sent = sim.Call([&] { return connection->FramesQueued(); }) - framesBefore - 1;
    ASSERT_TRUE(WaitUntil([&] { return session.Quotes().Received() == sent; }, 30s))
        << session.Quotes().Received() << " of " << sent;

    EXPECT_EQ(Capacity, session.Quotes().Size());
    EXPECT_EQ(sent - Capacity, session.QuotesDropped());
    // The flood's quotes kept would take 57 MiB.
    if (ResidentSetTells)
    {
        EXPECT_LT(residentAfter - residentBefore, 16u * 1024) << residentBefore << " KiB before";
    }
    // The oldest are kept, in order, and can all be taken.
    ASSERT_EQ(Capacity, session.Quotes().Peek(2 * Capacity, 0ms));
    std::size_t outOfPlace = 0;
    for (std::size_t i = 0; i < Capacity; ++i)
        outOfPlace += session.Quotes().At(i).Seq != i + 1;
    EXPECT_EQ(0u, outOfPlace);
    std::vector<MarketDepthRecord> batch;
    EXPECT_EQ(Capacity, session.Quotes().NextBatch(batch, 2 * Capacity, 0ms));
    EXPECT_STREQ("au2406", batch.back().InstrumentID);
    EXPECT_EQ(4321, batch.back().Price);
    EXPECT_EQ(0u, session.Quotes().Size());
}

}  // namespace
