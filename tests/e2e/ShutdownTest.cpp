// Disposing of the API object while the server pushes quotes as fast as it
// can: from the application's thread, and from inside a notification.
#include <KelmRivoMdApi.h>
#include "quote/QuotRecord.h"
#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "support/TestSpinning.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;

constexpr int kRounds = 150;

class Counter : public CKelmRivoMdCallback
{
public:
    void NotifyConnected() override { connected = true; }
    void NotifyDisconnected(int) override { ++disconnects; }
    void NotifyQuote(MarketDepthRecord* quote) override
    {
        // Touch the record so a dangling one would be noticed by the sanitizers.
        checksum += quote->InstrumentID[0] + static_cast<int>(quote->Price);
        if (disposed.load())
            ++lateQuotes;
        const int seen = ++quotes;
        CKelmRivoMdApi* target = api.load();
        // api is set by the test thread once Launch has returned.
        if (seen >= disposeAfter && target && !disposed.load())
        {
            target->Dispose();
            quotesAtDispose = seen;
            disposed = true;   // no member of the library is touched after this
        }
    }

    std::atomic<bool> connected{false};
    std::atomic<int> disconnects{0};
    std::atomic<int> quotes{0};
    std::atomic<int> lateQuotes{0};
    std::atomic<bool> disposed{false};
    std::atomic<long> checksum{0};
    int disposeAfter = 1 << 30;
    std::atomic<int> quotesAtDispose{0};
    std::atomic<CKelmRivoMdApi*> api{nullptr};
};

class ShutdownUnderLoad : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QuotRecord quote{};
        std::strcpy(quote.InstrumentID, "cu2501");
        std::strcpy(quote.ExchangeID, "SHFE");
        quote.Price = 71230.0;
        frame = CSimEncoder::Quote(quote);
        server.SetSessionOpenedHandler(
            [this](const std::shared_ptr<CSimSession>& session) { session->StartFlood(frame); });
        server.Start("127.0.0.1", 0);
        url = "tcp://127.0.0.1:" + std::to_string(server.Port());
    }

    CKelmRivoMdApi* Launch(Counter& counter)
    {
        CKelmRivoMdApi* api = testspinning::CreateApi();
        api->SetCallbackObject(&counter);
        api->AddServerUrl(url.c_str());
        api->Launch();
        return api;
    }

    static bool WaitUntil(const std::function<bool()>& condition)
    {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (!condition())
        {
            if (std::chrono::steady_clock::now() > deadline)
                return false;
            std::this_thread::sleep_for(100us);
        }
        return true;
    }

    SimFrame frame;
    CSimServer server{SimSessionSettings{std::chrono::milliseconds(0), std::chrono::milliseconds(0), false}};
    std::string url;
};

TEST_F(ShutdownUnderLoad, DisposeFromTheApplicationThread)
{
    for (int round = 0; round < kRounds; ++round)
    {
        std::unique_ptr<Counter> counter(new Counter);
        CKelmRivoMdApi* api = Launch(*counter);
        ASSERT_TRUE(WaitUntil([&] { return counter->quotes > round % 7; })) << round;
        api->Dispose();
        // Once Dispose has returned nothing runs any more: the callback object
        // may go at once, and no disconnect was reported.
        const int seen = counter->quotes;
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        EXPECT_EQ(counter->quotes, seen);
        EXPECT_EQ(counter->disconnects, 0);
    }
}

TEST_F(ShutdownUnderLoad, DisposeFromInsideANotification)
{
    for (int round = 0; round < kRounds; ++round)
    {
        std::unique_ptr<Counter> counter(new Counter);
        counter->disposeAfter = 1 + round % 5;
        counter->api = Launch(*counter);
        ASSERT_TRUE(WaitUntil([&] { return counter->disposed.load(); }))
            << round << " connected " << counter->connected << " quotes " << counter->quotes;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        EXPECT_EQ(counter->lateQuotes, 0) << round;
        EXPECT_EQ(counter->quotes, counter->quotesAtDispose) << round;
        EXPECT_EQ(counter->disconnects, 0);
    }
}

}  // namespace
