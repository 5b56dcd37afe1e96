// The network thread's two ways of running the engine, and the changes
// between them while it runs: told by the processor time the thread uses (a
// sleeping thread uses next to none, a polling one all it gets).
#include "net/CEngineRunner.h"

#include "net/NetworkThread.h"
#include "support/TestPlatform.h"

#include <boost/asio/post.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

namespace
{

using namespace std::chrono_literals;
using std::chrono::microseconds;

constexpr std::chrono::milliseconds Patience = 20s;

// Processor time the network thread uses while the test waits.
microseconds CpuUsedOver(NetworkThread& network, std::chrono::milliseconds wait)
{
    const microseconds before = network.Run([] { return testplatform::ThreadCpuTime(); });
    std::this_thread::sleep_for(wait);
    return network.Run([] { return testplatform::ThreadCpuTime(); }) - before;
}

// Until the network thread has used at least amount; false after Patience.
bool UsesProcessorTime(NetworkThread& network, microseconds amount)
{
    const microseconds before = network.Run([] { return testplatform::ThreadCpuTime(); });
    for (auto end = std::chrono::steady_clock::now() + Patience; std::chrono::steady_clock::now() < end;)
    {
        std::this_thread::sleep_for(50ms);
        if (network.Run([] { return testplatform::ThreadCpuTime(); }) - before >= amount)
            return true;
    }
    return false;
}

TEST(EngineRunner, SleepsOrPollsAsSetWhileItRuns)
{
    boost::asio::io_context ioContext;
    NetworkThread network(ioContext, 0);
    EXPECT_LT(CpuUsedOver(network, 300ms), 100ms) << "sleeping";

    // Asleep in the engine when told: woken to poll.
    EXPECT_TRUE(network.Engine().SetSpinning(CEngineRunner::SpinAlways));
    EXPECT_TRUE(UsesProcessorTime(network, 100ms)) << "polling without end";

    // Polls for 2 ms after each event, then sleeps until the next.
    EXPECT_TRUE(network.Engine().SetSpinning(2000));
    EXPECT_LT(CpuUsedOver(network, 300ms), 100ms) << "polling 2 ms after each event";

    EXPECT_TRUE(network.Engine().SetSpinning(CEngineRunner::SpinAlways));
    EXPECT_TRUE(UsesProcessorTime(network, 100ms)) << "polling without end again";
    EXPECT_TRUE(network.Engine().SetSpinning(0));
    EXPECT_LT(CpuUsedOver(network, 300ms), 100ms) << "sleeping again";

    EXPECT_FALSE(network.Engine().SetSpinning(-2));
    EXPECT_EQ(0, network.Engine().GetSpinning());
}

// Handlers posted from another thread all run, in order, while the setting
// goes back and forth; then Stop ends the thread.
TEST(EngineRunner, PostedHandlersRunInOrderWhileTheSettingChanges)
{
    boost::asio::io_context ioContext;
    NetworkThread network(ioContext, 0);
    constexpr int Count = 20000;
    std::vector<int> ran;  // the network thread's
    std::atomic<bool> posted{false};
    std::thread poster([&] {
        for (int i = 0; i < Count; ++i)
        {
            boost::asio::post(ioContext, [&ran, i] { ran.push_back(i); });
            if (i % 100 == 0)
                std::this_thread::sleep_for(100us);  // spread over many changes
        }
        posted = true;
    });
    const int settings[] = {0, CEngineRunner::SpinAlways, 0, 50, CEngineRunner::SpinAlways, 50, 0};
    for (int round = 0; !posted; ++round)
    {
        network.Engine().SetSpinning(settings[round % 7]);
        std::this_thread::sleep_for(200us);
    }
    poster.join();
    const std::vector<int> all = network.Run([&ran] { return ran; });
    ASSERT_EQ(std::size_t(Count), all.size());
    for (int i = 0; i < Count; ++i)
        ASSERT_EQ(i, all[i]);
    network.Join();
}

// A Stop ends the thread whatever the setting does meanwhile, and Run ends by
// itself once the engine has no work, in every mode.
TEST(EngineRunner, EndsOnStopOrWithoutWorkInEveryMode)
{
    for (int trial = 0; trial < 60; ++trial)
    {
        boost::asio::io_context ioContext;
        auto work = boost::asio::make_work_guard(ioContext);
        CEngineRunner engine(ioContext);
        auto ended = std::async(std::launch::async, [&] { engine.Run(); });
        std::atomic<bool> stop{false};
        std::thread toggler([&] {
            for (int i = 0; !stop; ++i)
                engine.SetSpinning(i % 2 ? CEngineRunner::SpinAlways : 0);
        });
        std::this_thread::sleep_for(microseconds(50 * (trial % 10)));
        engine.Stop();
        const bool stopped = ended.wait_for(Patience) == std::future_status::ready;
        stop = true;
        toggler.join();
        ASSERT_TRUE(stopped) << "trial " << trial;
    }
    for (int setting : {0, CEngineRunner::SpinAlways, 500})
    {
        boost::asio::io_context ioContext;
        CEngineRunner engine(ioContext);
        engine.SetSpinning(setting);
        auto ended = std::async(std::launch::async, [&] { engine.Run(); });
        EXPECT_EQ(std::future_status::ready, ended.wait_for(Patience)) << "no work, setting " << setting;
    }
}

}  // namespace
