// Soak: the library against our server through the fault-injecting proxy.
// The server numbers every quote; the proxy injects faults at random from a
// fixed seed; the application checks every quote as it arrives. At the end
// every connection is matched with the proxy's log of what it let through:
// every quote written whole before a fault must have arrived, intact and in
// order, and the library must have come back after every fault.
//
//   KELM_SOAK_SECONDS  run time (default 60, 30 under the sanitizers)
//   KELM_SOAK_SEED     the proxy's seed (default 7)
//   KELM_SOAK_RATE     faults per million frames (default 400)
#include <KelmRivoMdApi.h>
#include "reliability/CFaultProxy.h"
#include "reliability/CSoakApp.h"
#include "reliability/CSoakFeed.h"
#include "reliability/ReliabilitySettings.h"
#include "support/TestPlatform.h"
#include "support/TestSpinning.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

struct SoakFigures
{
    uint64_t quotes = 0;
    uint64_t connections = 0;
    uint64_t faults = 0;
    uint64_t unverified = 0;
    uint64_t rssWarmKiB = 0;
    uint64_t rssEndKiB = 0;
    double seconds = 0;
};

// Matches connection i of the application with connection i of the proxy
// (one library connection at a time, so both see them in the same order)
// and with session i + 1 of the server.
void CheckConnection(std::size_t i, const SoakConnection& seen, const ProxyConnectionLog& log, bool last)
{
    SCOPED_TRACE("connection " + std::to_string(i) + " ended by " + ProxyFaultName(log.Ending));
    const uint64_t written =
        log.FramesIntact > CSoakFeed::kFramesBeforeQuotes ? log.FramesIntact - CSoakFeed::kFramesBeforeQuotes : 0;
    if (seen.Verified > 0)
    {
        EXPECT_EQ(seen.FirstNumber, CSoakFeed::FirstQuoteOf(i + 1));
    }
    EXPECT_FALSE(log.UpstreamClosed);
    if (!last)
    {
        // Only a fault may end a connection, and the library must notice.
        EXPECT_NE(log.Ending, ProxyFault::None) << "the link was lost without a fault";
        EXPECT_TRUE(seen.Lost);
    }
    switch (log.Ending)
    {
    case ProxyFault::Reset:
        // A reset may discard what the client's kernel had not handed on yet.
        EXPECT_LE(seen.Verified, written);
        EXPECT_EQ(seen.Unverified, 0u);
        break;
    case ProxyFault::Corrupt:
        // The damaged frame itself may arrive in any shape (or intact, when
        // the flipped bytes did not matter); everything before it arrived.
        EXPECT_GE(seen.Verified, written);
        EXPECT_LE(seen.Verified, written + 1);
        break;
    case ProxyFault::Oversize:
        EXPECT_TRUE(log.DroppedOnOversize) << "the client kept a link after an oversized prefix";
        EXPECT_EQ(seen.Verified, written);
        EXPECT_EQ(seen.Unverified, 0u);
        break;
    default:
        EXPECT_EQ(seen.Verified, written);
        EXPECT_EQ(seen.Unverified, 0u);
        break;
    }
}

// Waits until the last connection has received everything the proxy let
// through and nothing has moved for a while.
bool WaitUntilDrained(CSoakApp& app, CFaultProxy& proxy)
{
    const auto deadline = Clock::now() + 60s;
    uint64_t before = ~0ull;
    while (Clock::now() < deadline)
    {
        std::this_thread::sleep_for(300ms);
        const auto seen = app.Connections();
        const auto logs = proxy.Logs();
        if (seen.empty() || seen.size() != logs.size() || seen.back().Lost)
            continue;
        const uint64_t frames = logs.back().FramesIntact;
        const bool complete = frames >= CSoakFeed::kFramesBeforeQuotes &&
                              seen.back().Verified == frames - CSoakFeed::kFramesBeforeQuotes;
        if (complete && frames == before)
            return true;
        before = frames;
    }
    return false;
}

TEST(Soak, EveryQuoteIntactInOrderAndBackAfterEveryFault)
{
    const uint64_t seconds = reliability::FromEnvironment("KELM_SOAK_SECONDS", reliability::kSanitized ? 30 : 60);
    ProxySettings settings;
    settings.Seed = reliability::FromEnvironment("KELM_SOAK_SEED", 7);
    settings.FaultRate = static_cast<double>(reliability::FromEnvironment("KELM_SOAK_RATE", 400)) / 1e6;

    CSoakFeed feed;
    feed.Start();
    CFaultProxy proxy("127.0.0.1", feed.Port(), settings);
    proxy.Start();

    CSoakApp app;
    CKelmRivoMdApi* api = testspinning::CreateApi();
    app.Attach(api);
    api->SetCallbackObject(&app);
    api->AddServerUrl(("tcp://127.0.0.1:" + std::to_string(proxy.Port())).c_str());
    api->Launch();

    SoakFigures figures;
    const auto start = Clock::now();
    const auto end = start + std::chrono::seconds(seconds);
    const auto warm = start + std::chrono::seconds(seconds / 5);
    while (Clock::now() < end)
    {
        std::this_thread::sleep_for(200ms);
        if (figures.rssWarmKiB == 0 && Clock::now() >= warm)
            figures.rssWarmKiB = testplatform::ResidentKiB();
    }
    proxy.Quiet();
    feed.StopPushing();
    const bool drained = WaitUntilDrained(app, proxy);
    figures.rssEndKiB = testplatform::ResidentKiB();
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();

    const std::vector<SoakConnection> seen = app.Connections();
    const std::vector<ProxyConnectionLog> logs = proxy.Logs();
    const std::vector<uint64_t> counts = proxy.FaultCounts();
    api->Dispose();
    proxy.Stop();
    feed.Stop();

    EXPECT_TRUE(drained) << "the last connection did not receive everything";
    EXPECT_EQ(feed.UnexpectedRequests(), 0u);
    ASSERT_EQ(seen.size(), logs.size());
    uint64_t ended = 0;
    for (std::size_t i = 0; i < seen.size(); ++i)
    {
        CheckConnection(i, seen[i], logs[i], i + 1 == seen.size());
        figures.quotes += seen[i].Verified;
        figures.unverified += seen[i].Unverified;
        ended += logs[i].Ending != ProxyFault::None;
    }
    figures.connections = seen.size();
    for (uint64_t c : counts)
        figures.faults += c;
    // Every fault that ended a connection was followed by a new one.
    EXPECT_EQ(ended + 1, seen.size());
    EXPECT_GT(figures.quotes, 0u);
    EXPECT_GT(ended, 0u);
    if (!reliability::kSanitized)
    {
        // Connections come and go by the thousand; memory must not follow.
        EXPECT_LT(figures.rssEndKiB, figures.rssWarmKiB + 32 * 1024) << "resident set grew";
    }

    std::printf("soak: %.0f s, %llu quotes verified (%.0f/s), %llu connections, %llu faults, "
                "%llu damaged deliveries, RSS %llu KiB after warm-up, %llu KiB at the end\n",
                figures.seconds, static_cast<unsigned long long>(figures.quotes),
                static_cast<double>(figures.quotes) / figures.seconds,
                static_cast<unsigned long long>(figures.connections), static_cast<unsigned long long>(figures.faults),
                static_cast<unsigned long long>(figures.unverified), static_cast<unsigned long long>(figures.rssWarmKiB),
                static_cast<unsigned long long>(figures.rssEndKiB));
    std::printf("soak faults:");
    for (std::size_t f = 1; f < counts.size(); ++f)
        std::printf(" %s %llu", ProxyFaultName(static_cast<ProxyFault>(f)), static_cast<unsigned long long>(counts[f]));
    std::printf("\n");
}

}  // namespace
