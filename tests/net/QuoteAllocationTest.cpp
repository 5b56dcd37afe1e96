// Heap allocations per quote through the whole library over a real loopback
// socket: the peer writes one quote frame, waits until the application has
// been handed it, then writes the next, so that every read carries exactly
// one frame. Once warmed up, receiving, framing, decoding, converting and
// delivering a quote must not allocate.
#include <KelmRivoMdApi.h>
#include "net/HeapCounter.h"
#include "net/TestPeer.h"
#include "support/GoldenQuote.h"
#include "support/TestSpinning.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>

namespace
{

using namespace std::chrono_literals;

class QuoteCounter final : public CKelmRivoMdCallback
{
public:
    void NotifyConnected() override { Bump(m_connects); }
    void NotifyQuote(MarketDepthRecord*) override { Bump(m_quotes); }

    bool WaitForConnects(uint64_t count) { return WaitFor(m_connects, count); }
    bool WaitForQuotes(uint64_t count) { return WaitFor(m_quotes, count); }

private:
    // Neither locking nor notifying allocates.
    void Bump(uint64_t& counter)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++counter;
        m_changed.notify_all();
    }

    bool WaitFor(const uint64_t& counter, uint64_t count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 20s, [&] { return counter >= count; });
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    uint64_t m_connects = 0;
    uint64_t m_quotes = 0;
};

// A full quote: every member the server sends.
std::string QuoteFrame()
{
    const wire::Bytes frame = wire::Frame(wire::Body(125, 0, 0, {golden::QuotElement()}));
    return std::string(frame.begin(), frame.end());
}

TEST(QuoteAllocation, NonePerQuoteAtOneFramePerRead)
{
    TestPeer peer;
    QuoteCounter app;
    CKelmRivoMdApi* api = testspinning::CreateApi();
    api->SetCallbackObject(&app);
    api->AddServerUrl(("tcp://" + peer.Address()).c_str());
    api->Launch();
    ASSERT_TRUE(app.WaitForConnects(1));
    ASSERT_TRUE(peer.WaitForAccepted(1, 20s));

    const std::string frame = QuoteFrame();
    uint64_t sent = 0;
    // Returns false when the application did not get a quote in time.
    auto push = [&](uint64_t count) {
        for (uint64_t i = 0; i < count; ++i)
        {
            peer.Send(frame);
            if (!app.WaitForQuotes(++sent))
                return false;
        }
        return true;
    };
    ASSERT_TRUE(push(200));  // warm-up: the engine's caches fill once
    constexpr uint64_t Quotes = 1000;
    const uint64_t before = HeapCounter::Count();
    const bool delivered = push(Quotes);
    const uint64_t allocations = HeapCounter::Count() - before;
    api->Dispose();
    ASSERT_TRUE(delivered);
    EXPECT_EQ(0u, allocations) << static_cast<double>(allocations) / Quotes << " allocations per quote";
}

} // namespace
