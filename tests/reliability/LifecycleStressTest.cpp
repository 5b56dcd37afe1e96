// Lifecycle stress: thousands of create, launch, login, subscribe, dispose
// cycles while the server floods every subscribed session, with the dispose
// at every stage: right after Launch, once connected, after quotes from the
// application's thread, and from inside the connect, subscribe and quote
// notifications. Run under the sanitizers this is where races, leaks and
// use-after-free in start and stop show up.
//
//   KELM_STRESS_CYCLES  number of cycles (default 5000, 1000 under the sanitizers)
#include <KelmRivoMdApi.h>
#include "reliability/ReliabilitySettings.h"
#include "reliability/SoakQuote.h"
#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "sim/SimService.h"
#include "support/TestPlatform.h"
#include "support/TestSpinning.h"

#include <gtest/gtest.h>


#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace std::chrono_literals;

enum class DisposePoint
{
    AfterLaunch,
    AfterConnect,
    AfterQuotes,
    InConnected,
    InSubscribeResult,
    InQuote,
    Count
};

// One cycle's callback object. Kept alive until the end of the test, so that
// a notification after Dispose would be counted instead of touching freed
// memory.
class CycleApp final : public CKelmRivoMdCallback
{
public:
    CycleApp(DisposePoint point, int quotesBeforeDispose) : m_point(point), m_quotesBeforeDispose(quotesBeforeDispose) {}

    void NotifyConnected() override
    {
        Enter();
        connected = true;
        if (Dispose(DisposePoint::InConnected))
            return;
        LoginRequestRecord login;
        std::memset(&login, 0, sizeof login);
        std::strcpy(login.UserCode, "stress");
        api.load()->SubmitLogin(&login, 1);
        char code[] = "SK1";
        char* codes[] = {code};
        api.load()->SubscribeQuotes(codes, 1);
    }
    void NotifyDisconnected(int) override { Enter(); }
    void NotifySubscribeResult(InstrumentSpecRecord*, ResponseInfoRecord*, int, bool) override
    {
        Enter();
        Dispose(DisposePoint::InSubscribeResult);
    }
    void NotifyQuote(MarketDepthRecord* quote) override
    {
        Enter();
        if (!soak::IsIntact(*quote))
            ++damaged;
        if (++quotes >= m_quotesBeforeDispose)
            Dispose(DisposePoint::InQuote);
    }

    // Application thread: after Dispose has returned nothing may arrive.
    void DisposedOutside() { disposed = true; }

    std::atomic<CKelmRivoMdApi*> api{nullptr};
    std::atomic<bool> connected{false};
    std::atomic<int> quotes{0};
    std::atomic<int> damaged{0};
    std::atomic<bool> disposed{false};
    std::atomic<int> late{0};

private:
    void Enter()
    {
        if (disposed)
            ++late;
    }

    bool Dispose(DisposePoint here)
    {
        if (m_point != here)
            return false;
        api.load()->Dispose();
        disposed = true;  // nothing of the library is touched after this
        return true;
    }

    const DisposePoint m_point;
    const int m_quotesBeforeDispose;
};

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(50us);
    }
    return true;
}

class LifecycleStress : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_server.SetRequestHandler([](const std::shared_ptr<CSimSession>& session, const SimRequest& request) {
            RspInfo info{};
            if (request.ServiceNo == SimService::Login)
                session->Send(CSimEncoder::LoginAnswer(request.RequestID, &info, nullptr));
            if (request.ServiceNo != SimService::Subscribe)
                return;
            QuotSubscribeRsp answer{};
            std::strcpy(answer.InstrumentID, "SK1");
            session->Send(CSimEncoder::SubscribeAnswer(request.RequestID, &info, &answer));
            session->StartFlood(CSimEncoder::Quote(soak::MakeQuote(77)));
        });
        m_server.Start("127.0.0.1", 0);
        m_url = "tcp://127.0.0.1:" + std::to_string(m_server.Port());
    }

    void TearDown() override { m_server.Stop(); }

    // One cycle; false (with the reason in the failure) when a stage did not come.
    void RunCycle(int cycle, CycleApp& app, DisposePoint point)
    {
        CKelmRivoMdApi* api = testspinning::CreateApi();
        app.api = api;
        api->SetCallbackObject(&app);
        api->AddServerUrl(m_url.c_str());
        api->Launch();
        bool reached = true;
        switch (point)
        {
        case DisposePoint::AfterLaunch:
            break;
        case DisposePoint::AfterConnect:
            reached = WaitUntil([&] { return app.connected.load(); });
            break;
        case DisposePoint::AfterQuotes:
            reached = WaitUntil([&] { return app.quotes > cycle % 5; });
            break;
        default:
            ASSERT_TRUE(WaitUntil([&] { return app.disposed.load(); })) << "cycle " << cycle << " not disposed";
            return;
        }
        api->Dispose();
        app.DisposedOutside();
        ASSERT_TRUE(reached) << "cycle " << cycle << " stage not reached";
    }

    CSimServer m_server{SimSessionSettings{0ms, 0ms, false}};
    std::string m_url;
};

TEST_F(LifecycleStress, ThousandsOfCyclesWithDisposeAtEveryStage)
{
    const int cycles = static_cast<int>(reliability::FromEnvironment("KELM_STRESS_CYCLES", reliability::kSanitized ? 1000 : 5000));
    // One cycle first, so that what the first use creates for good (thread
    // bookkeeping, resolver state) is not taken for a leak below.
    std::vector<std::unique_ptr<CycleApp>> apps;
    apps.emplace_back(new CycleApp(DisposePoint::AfterQuotes, 1));
    RunCycle(0, *apps.back(), DisposePoint::AfterQuotes);
    ASSERT_TRUE(m_server.WaitFor([&] { return m_server.SessionCount() == 0; }, 10s));
    const std::size_t descriptors = testplatform::OpenHandles();

    for (int cycle = 1; cycle < cycles && !HasFatalFailure(); ++cycle)
    {
        const auto point = static_cast<DisposePoint>(cycle % static_cast<int>(DisposePoint::Count));
        apps.emplace_back(new CycleApp(point, 1 + cycle % 7));
        RunCycle(cycle, *apps.back(), point);
    }
    // Let any straggler arrive before counting.
    std::this_thread::sleep_for(50ms);
    int late = 0, damaged = 0, quotes = 0;
    for (const auto& app : apps)
    {
        late += app->late;
        damaged += app->damaged;
        quotes += app->quotes;
    }
    EXPECT_EQ(late, 0) << "notifications after Dispose";
    EXPECT_EQ(damaged, 0);
    EXPECT_GT(quotes, cycles);
    // Every connection was closed by the library: the server sees no client
    // left, and this process holds no more descriptors than after the first
    // cycle (a client disposed of inside a notification is freed by its own
    // thread a moment later).
    EXPECT_TRUE(m_server.WaitFor([&] { return m_server.SessionCount() == 0; }, 10s));
    EXPECT_TRUE(WaitUntil([&] { return testplatform::OpenHandles() == descriptors; }))
        << testplatform::OpenHandles() << " descriptors open, " << descriptors << " after the first cycle";
    std::printf("lifecycle: %d cycles, %d quotes, %zu connections\n", cycles, quotes, m_server.ConnectionCount());
}

// The application's thread disposes while a notification is still calling
// requests: the requests must find the client in place, still connected,
// until Dispose has waited for the notification to end.
TEST_F(LifecycleStress, DisposeWhileANotificationIsCallingIn)
{
    class SlowApp final : public CKelmRivoMdCallback
    {
    public:
        void NotifyConnected() override
        {
            entered = true;
            // Dispose is called right after disposing is set; a moment later
            // it waits for this notification.
            WaitUntil([&] { return disposing.load(); });
            std::this_thread::sleep_for(50ms);
            char code[] = "SK1";
            char* codes[] = {code};
            results += api.load()->SubscribeQuotes(codes, 1) == 0;
            LoginRequestRecord login{};
            results += api.load()->SubmitLogin(&login, 1) == 0;  // queued on the live connection
        }
        std::atomic<CKelmRivoMdApi*> api{nullptr};
        std::atomic<bool> entered{false};
        std::atomic<bool> disposing{false};
        std::atomic<int> results{0};
    };
    for (int round = 0; round < 3; ++round)
    {
        SlowApp app;
        CKelmRivoMdApi* api = testspinning::CreateApi();
        app.api = api;
        api->SetCallbackObject(&app);
        api->AddServerUrl(m_url.c_str());
        api->Launch();
        ASSERT_TRUE(WaitUntil([&] { return app.entered.load(); }));
        app.disposing = true;
        api->Dispose();
        EXPECT_EQ(app.results, 2);  // both calls returned before Dispose did
    }
}

}  // namespace
