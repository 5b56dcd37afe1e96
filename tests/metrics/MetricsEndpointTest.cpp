// The metrics endpoint as an HTTP server on loopback: paths, health, the
// exposition's form, and scrapes that never hold up the threads feeding
// the figures.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <fstream>
#include <functional>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "metrics/HttpClient.h"
#include "metrics/Promtool.h"
#include "metrics/ToolMetrics.h"
#include "sim/SimProcess.h"
#include "CBridgeMetrics.h"
#include "CHealthCheck.h"
#include "CLinkMetrics.h"
#include "CMetricsServer.h"

namespace
{

using metricstest::HttpGet;
using metricstest::SampleValue;
using namespace std::chrono_literals;

const std::vector<std::string> Instruments = {"au2406", "ag2406"};

// Polls /healthz until its status is want, running before() ahead of
// every request; the last answer.
metricstest::HttpAnswer WaitForHealth(uint16_t port, int want, const std::function<void()>& before = [] {})
{
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    before();
    metricstest::HttpAnswer answer = HttpGet(port, "/healthz");
    while (answer.Status != want && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(20ms);
        before();
        answer = HttpGet(port, "/healthz");
    }
    return answer;
}

TEST(MetricsEndpoint, ServesOnlyItsPathsAndRefusesBadAddresses)
{
    CMetricsServer server("127.0.0.1:0");
    ASSERT_NE(server.Port(), 0);
    EXPECT_EQ(HttpGet(server.Port(), "/metrics").Status, 200);
    EXPECT_EQ(HttpGet(server.Port(), "/metrics?debug=1").Status, 200);
    EXPECT_EQ(HttpGet(server.Port(), "/metrics", "HEAD").Status, 200);
    EXPECT_EQ(HttpGet(server.Port(), "/healthz").Status, 200);  // no probe: healthy
    for (const char* path : {"/", "/metricsx", "/metrics/x", "/healthz/", "/index.html", "/../etc/passwd"})
        EXPECT_EQ(HttpGet(server.Port(), path).Status, 404) << path;

    std::string error;
    for (const char* good : {"127.0.0.1:9464", "0.0.0.0:0"})
        EXPECT_TRUE(CMetricsServer::ValidAddress(good, error)) << good << ": " << error;
    // IPv6 where the HTTP server has it; otherwise refused at once, not at
    // the start of the server.
    if (!CMetricsServer::ValidAddress("[::1]:0", error))
        EXPECT_NE(error.find("no IPv6"), std::string::npos) << error;
    else
        EXPECT_NE(CMetricsServer("[::1]:0").Port(), 0);
    for (const char* bad : {"127.0.0.1", "localhost:9464", "127.0.0.1:65536", "127.0.0.1:", "::1:9464",
                            "127.0.0.1:94x", ":9464"})
    {
        EXPECT_FALSE(CMetricsServer::ValidAddress(bad, error)) << bad;
        EXPECT_NE(error.find(bad), std::string::npos) << error;
    }
    // A port in use: the reason names the address.
    const std::string taken = "127.0.0.1:" + std::to_string(server.Port());
    try
    {
        CMetricsServer second(taken);
        ADD_FAILURE() << "a second server listens on " << taken;
    }
    catch (const std::runtime_error& failure)
    {
        EXPECT_NE(std::string(failure.what()).find(taken), std::string::npos) << failure.what();
    }
}

TEST(MetricsEndpoint, HealthFollowsTheLinkTheLoginAndTheQuotes)
{
    auto link = std::make_shared<CLinkMetrics>(Instruments);
    CMetricsServer server("127.0.0.1:0");
    auto health = std::make_shared<CHealthCheck>(link, 1.0);
    server.SetHealthProbe([health] { return health->Check(); });

    metricstest::HttpAnswer answer = HttpGet(server.Port(), "/healthz");
    EXPECT_EQ(answer.Status, 503);
    EXPECT_NE(answer.Body.find("link down"), std::string::npos) << answer.Body;
    link->Connected();
    answer = HttpGet(server.Port(), "/healthz");
    EXPECT_EQ(answer.Status, 503);
    EXPECT_NE(answer.Body.find("not logged in"), std::string::npos) << answer.Body;
    link->LoginResult(false);
    EXPECT_EQ(HttpGet(server.Port(), "/healthz").Status, 503);
    link->LoginResult(true);
    // A quote before every request: a loaded machine may take longer than
    // the limit between two of them.
    EXPECT_EQ(WaitForHealth(server.Port(), 200, [&] { link->QuoteReceived("ag2406"); }).Status, 200);

    // Quiet for longer than the limit: unhealthy, until the next quote.
    answer = WaitForHealth(server.Port(), 503);
    EXPECT_EQ(answer.Status, 503);
    EXPECT_NE(answer.Body.find("no quote for"), std::string::npos) << answer.Body;
    link->QuoteReceived("nosuch");  // not one of ours: still quiet
    EXPECT_EQ(HttpGet(server.Port(), "/healthz").Status, 503);
    EXPECT_EQ(WaitForHealth(server.Port(), 200, [&] { link->QuoteReceived("au2406"); }).Status, 200);

    link->Disconnected();
    answer = HttpGet(server.Port(), "/healthz");
    EXPECT_EQ(answer.Status, 503);
    link->Connected();  // a new connection is not logged in yet
    answer = HttpGet(server.Port(), "/healthz");
    EXPECT_EQ(answer.Status, 503);
    EXPECT_NE(answer.Body.find("not logged in"), std::string::npos) << answer.Body;
}

// The exposition of everything the tools can show, as promtool's linter
// sees it, with values set through the threads' calls.
TEST(MetricsEndpoint, PromtoolAcceptsTheExposition)
{
    if (std::string(KELM_PROMTOOL_PATH).empty())
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus): exposition not linted";
    LinkFigures figures;
    figures.QuotesReceived = 7;
    figures.BytesReceived = 4096;
    figures.Connections = 2;
    figures.Losses = 1;
    figures.LastByteAgeSeconds = 0.25;
    figures.Address = "tcp://127.0.0.1:7000";
    metricstest::ToolMetrics tool(Instruments, [&figures] { return figures; });
    auto& link = tool.Link;
    auto& bridge = tool.Bridge;
    link->Connected();
    link->LoginResult(true);
    link->QuoteReceived("au2406");
    link->QuoteReceived("au2406");
    bridge->EntriesWritten(2);
    bridge->RedisRoundTrip(1ms);  // on a bound: counted in that bucket
    bridge->RedisRoundTrip(3s);   // above the last bound
    bridge->Backlog(5, std::chrono::steady_clock::now() - 2s);

    const std::string exposition = HttpGet(tool.Server.Port(), "/metrics").Body;
    EXPECT_EQ(SampleValue(exposition, "kelm_quotes_received_total{instrument=\"au2406\"}"), 2);
    EXPECT_EQ(SampleValue(exposition, "kelm_quotes_received_total{instrument=\"ag2406\"}"), 0);
    EXPECT_EQ(SampleValue(exposition, "kelm_link_connections_total"), 2);
    EXPECT_EQ(SampleValue(exposition, "kelm_link_last_byte_age_seconds"), 0.25);
    EXPECT_EQ(SampleValue(exposition, "kelm_logins_total{result=\"accepted\"}"), 1);
    EXPECT_EQ(SampleValue(exposition, "kelm_redis_round_trip_seconds_bucket{le=\"0.0005\"}"), 0);
    EXPECT_EQ(SampleValue(exposition, "kelm_redis_round_trip_seconds_bucket{le=\"0.001\"}"), 1);
    EXPECT_EQ(SampleValue(exposition, "kelm_redis_round_trip_seconds_bucket{le=\"2.5\"}"), 1);
    EXPECT_EQ(SampleValue(exposition, "kelm_redis_round_trip_seconds_bucket{le=\"+Inf\"}"), 2);
    EXPECT_EQ(SampleValue(exposition, "kelm_redis_round_trip_seconds_count"), 2);
    EXPECT_GE(SampleValue(exposition, "kelm_bridge_behind_seconds"), 2);
    EXPECT_EQ(SampleValue(exposition, "kelm_build_info{library_version=\"V6_6_9\",version=\"6.6.9\"}"), 1);

    const std::string file = simtest::TempPath("exposition.txt");
    std::ofstream(file) << exposition;
    const metricstest::PromtoolRun lint = metricstest::Promtool("check metrics < '" + file + "'");
    EXPECT_EQ(lint.Status, 0) << lint.Output << "\n" << exposition;
    EXPECT_EQ(lint.Output, "");
    std::remove(file.c_str());
}

// A scrape stuck half-way (the link's sampler waits) must not stop the
// thread that counts quotes, and a burst of scrapes loses no count.
TEST(MetricsEndpoint, ScrapesNeverHoldUpTheQuotePath)
{
    std::mutex gate;
    std::condition_variable changed;
    bool scrapeInside = false;
    bool release = true;
    auto sampler = [&] {
        std::unique_lock<std::mutex> lock(gate);
        scrapeInside = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release; });
        scrapeInside = false;
        return LinkFigures{};
    };
    metricstest::ToolMetrics tool(Instruments, sampler);
    auto& link = tool.Link;
    auto& bridge = tool.Bridge;
    const CMetricsServer& server = tool.Server;

    std::atomic<bool> stop{false};
    std::atomic<uint64_t> progress{0};
    std::thread quotes([&] {
        while (!stop.load())
        {
            link->QuoteReceived("au2406");
            link->Connected();
            link->LoginResult(true);
            bridge->QuotesDropped(1);
            bridge->EntriesWritten(1);
            bridge->RedisRoundTrip(1ms);
            bridge->Backlog(1, std::chrono::steady_clock::now());
            progress.fetch_add(1);
        }
    });

    {
        std::unique_lock<std::mutex> lock(gate);
        release = false;
    }
    std::thread stuck([&] { HttpGet(server.Port(), "/metrics"); });
    {
        std::unique_lock<std::mutex> lock(gate);
        ASSERT_TRUE(changed.wait_for(lock, 30s, [&] { return scrapeInside; })) << "the scrape never began";
    }
    // The scrape now holds whatever a scrape holds; the quote path goes on.
    const uint64_t before = progress.load();
    const auto deadline = std::chrono::steady_clock::now() + 30s;
    while (progress.load() < before + 100000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_GE(progress.load(), before + 100000) << "the quote path stood still while a scrape was in progress";
    {
        std::lock_guard<std::mutex> lock(gate);
        release = true;
    }
    changed.notify_all();
    stuck.join();

    // A burst of scrapes from two threads while the counting goes on: every
    // scrape answers, and the counts never go back.
    std::atomic<int> answered{0};
    std::atomic<int> wentBack{0};
    auto scraper = [&] {
        double last = 0;
        for (int i = 0; i < 100; ++i)
        {
            const double value =
                SampleValue(HttpGet(server.Port(), "/metrics").Body, "kelm_quotes_received_total{instrument=\"au2406\"}");
            answered += value >= 0 ? 1 : 0;
            wentBack += value < last ? 1 : 0;
            last = value;
        }
    };
    std::thread first(scraper);
    std::thread second(scraper);
    first.join();
    second.join();
    stop = true;
    quotes.join();
    EXPECT_EQ(answered.load(), 200);
    EXPECT_EQ(wentBack.load(), 0);

    const double count = static_cast<double>(progress.load());
    const std::string exposition = HttpGet(server.Port(), "/metrics").Body;
    EXPECT_EQ(SampleValue(exposition, "kelm_quotes_received_total{instrument=\"au2406\"}"), count);
    EXPECT_EQ(SampleValue(exposition, "kelm_bridge_dropped_quotes_total"), count);
    EXPECT_EQ(SampleValue(exposition, "kelm_bridge_entries_written_total"), count);
    EXPECT_EQ(SampleValue(exposition, "kelm_redis_round_trip_seconds_count"), count);
    EXPECT_EQ(SampleValue(exposition, "kelm_logins_total{result=\"accepted\"}"), count);
}

}  // namespace
