// A real Prometheus server scrapes the endpoint every second while a thread
// counts quotes; its query API must see the counter rise and the gauges as
// they were set.
#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "metrics/PrometheusServer.h"
#include "metrics/ToolMetrics.h"

namespace
{

using namespace std::chrono_literals;

TEST(PrometheusScrape, SeesTheCounterRiseAndTheGaugesAsSet)
{
    const std::string program = KELM_PROMETHEUS_PATH;
    if (program.empty())
        GTEST_SKIP() << "prometheus is not installed (Debian package prometheus): no scrape by a real server";
    metricstest::ToolMetrics tool({"au2406", "ag2406"});
    auto& link = tool.Link;
    auto& bridge = tool.Bridge;
    link->Connected();
    bridge->Backlog(42, std::chrono::steady_clock::now());
    bridge->RedisUp(true);

    std::atomic<bool> stop{false};
    std::thread feed([&] {
        while (!stop)
        {
            link->QuoteReceived("au2406");
            std::this_thread::sleep_for(10ms);
        }
    });

    metricstest::PrometheusServer prometheus(program, tool.Server.Port());
    ASSERT_TRUE(prometheus.Running()) << prometheus.Log();
    const std::string counter = "kelm_quotes_received_total{job=\"kelm\",instrument=\"au2406\"}";
    const double first = prometheus.WaitFor(counter, [](double v) { return v > 0; });
    EXPECT_GT(first, 0) << prometheus.Log();
    const double later = prometheus.WaitFor(counter, [first](double v) { return v > first; });
    EXPECT_GT(later, first);
    EXPECT_EQ(prometheus.Query("kelm_quotes_received_total{instrument=\"ag2406\"}"), 0);
    EXPECT_EQ(prometheus.Query("kelm_bridge_buffered_quotes"), 42);
    EXPECT_EQ(prometheus.Query("kelm_link_up"), 1);
    EXPECT_EQ(prometheus.Query("kelm_redis_up"), 1);
    EXPECT_EQ(prometheus.Query("kelm_build_info{version=\"6.6.9\"}"), 1);
    EXPECT_EQ(prometheus.Query("up{job=\"kelm\"}"), 1);

    // A change shows up in a later scrape.
    link->Disconnected();
    EXPECT_EQ(prometheus.WaitFor("kelm_link_up", [](double v) { return v == 0; }), 0);
    stop = true;
    feed.join();
}

}  // namespace
