// Closing a session while other threads wait in it: every wait ends at
// once, no notification runs once Close has returned, and the session can
// even be destroyed while the threads are still inside.
#include <gtest/gtest.h>

#include <kelmmd/CMdSession.h>

#include <atomic>
#include <future>
#include <memory>
#include <optional>
#include <vector>

#include "CLoopbackQuoteServer.h"
#include "SessionTestSupport.h"
#include "support/TestSpinning.h"

namespace
{

using namespace sessiontest;

// A server that never answers a login and sends nothing unasked.
const CLoopbackQuoteServer::Behaviour Silent{false, false};

TEST(SessionClose, CloseEndsEveryWaitAtOnceAndNoNotificationRunsAfterIt)
{
    CLoopbackQuoteServer server(Silent);
    server.Start();
    std::atomic<bool> closed{false};
    std::atomic<uint64_t> quotes{0};
    std::atomic<uint64_t> late{0};
    kelmmd::SessionSettings settings;
    settings.Addresses = {server.Address()};
    settings.Spinning = testspinning::Setting();
    settings.OnQuote = [&](const MarketDepthRecord&) {
        ++quotes;
        late += closed ? 1 : 0;
    };
    kelmmd::CMdSession session(settings);
    ASSERT_TRUE(session.Connect(10s));
    ASSERT_TRUE(WaitUntil([&] { return server.LastConnection() != nullptr; }, 10s));
    server.Server().FloodTo(server.LastConnection()->Id(), CLoopbackQuoteServer::QuoteFrame("au2406", 1));
    ASSERT_TRUE(WaitUntil([&] { return quotes > 1000; }, 60s));

    // With OnQuote the queue stays empty: this waits until the end.
    auto quoteWaiter = std::async(std::launch::async, [&] {
        MarketDepthRecord quote;
        return session.Quotes().Next(quote, 60s);
    });
    auto loginWaiter = std::async(std::launch::async, [&] {
        try
        {
            session.Login({"demo", "secret", ""}, 60s);
        }
        catch (const kelmmd::CSessionError& error)
        {
            return std::optional<kelmmd::CSessionError::Kind>(error.Type());
        }
        return std::optional<kelmmd::CSessionError::Kind>();
    });
    std::this_thread::sleep_for(300ms);  // into their waits; less only weakens the test
    ASSERT_FALSE(EndsWithin(quoteWaiter, 0ms));
    ASSERT_FALSE(EndsWithin(loginWaiter, 0ms));

    session.Close();
    closed = true;
    const uint64_t quotesAtClose = quotes;
    ASSERT_TRUE(EndsWithin(quoteWaiter, 2s));
    ASSERT_TRUE(EndsWithin(loginWaiter, 2s));
    EXPECT_FALSE(quoteWaiter.get());
    EXPECT_EQ(kelmmd::CSessionError::Kind::Closed, loginWaiter.get());
    std::this_thread::sleep_for(200ms);  // the flood goes on at the server
    EXPECT_EQ(0u, late.load());
    EXPECT_EQ(quotesAtClose, quotes.load());
    EXPECT_FALSE(session.Connected());
}

TEST(SessionClose, TheSessionCanBeDestroyedWhileOtherThreadsWaitInIt)
{
    CLoopbackQuoteServer server(Silent);
    server.Start();
    kelmmd::SessionSettings settings;
    settings.Addresses = {server.Address()};
    settings.Spinning = testspinning::Setting();
    auto session = std::make_unique<kelmmd::CMdSession>(settings);
    ASSERT_TRUE(session->Connect(10s));
    kelmmd::CMdSession* waitedOn = session.get();
    kelmmd::CQuoteQueue& quotes = session->Quotes();
    kelmmd::CEventQueue<kelmmd::SessionEvent>& events = session->Events();
    ASSERT_TRUE(events.Next(10s));  // connected: from here the queue stays empty

    // Several of each, so that some leave their wait only after the
    // destructor has begun.
    std::vector<std::future<bool>> waiters;
    for (int i = 0; i < 6; ++i)
    {
        const int login = session->SubmitLogin({"demo", "secret", ""});
        ASSERT_GT(login, 0);
        waiters.push_back(std::async(std::launch::async, [&quotes] {
            MarketDepthRecord quote;
            return quotes.Next(quote, 60s);
        }));
        waiters.push_back(std::async(std::launch::async, [waitedOn, login] {
            return waitedOn->WaitAnswer(login, 60s).has_value();
        }));
        waiters.push_back(std::async(std::launch::async, [&events] { return events.Next(60s).has_value(); }));
    }
    std::this_thread::sleep_for(300ms);  // into their waits; less only weakens the test

    session.reset();
    for (std::future<bool>& waiter : waiters)
    {
        ASSERT_TRUE(EndsWithin(waiter, 2s));
        EXPECT_FALSE(waiter.get());
    }
}

}  // namespace
