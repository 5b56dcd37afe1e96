// The metrics of the tools as processes: kelm-md-bridge between
// kelm-quote-sim and a real redis-server, scraped by a real Prometheus
// server, and kelm-md-watch on its own simulator; promtool lints what both
// expose.
#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "bridge/BridgeTestSupport.h"
#include "bridge/RedisServer.h"
#include "metrics/HttpClient.h"
#include "metrics/PrometheusServer.h"
#include "metrics/Promtool.h"

namespace
{

using bridgetest::LoggedProcess;
using metricstest::HttpGet;
using metricstest::SampleValue;
using namespace std::chrono_literals;

// The port of the "serving metrics on http://HOST:PORT/metrics" log line,
// or 0 when the tool did not say it.
uint16_t MetricsPort(LoggedProcess& tool)
{
    const std::string line = tool.WaitFor("serving metrics on http://");
    const auto slash = line.find("/metrics");
    const auto colon = line.rfind(':', slash);
    return slash == std::string::npos || colon == std::string::npos
               ? 0
               : static_cast<uint16_t>(std::atoi(line.c_str() + colon + 1));
}

// The sum over every sample of a family ("name{...} value" lines), or -1
// when there is none.
double FamilySum(const std::string& exposition, const std::string& name)
{
    std::istringstream lines(exposition);
    double sum = -1;
    for (std::string line; std::getline(lines, line);)
    {
        if (line.compare(0, name.size() + 1, name + "{") != 0)
            continue;
        sum = std::max(sum, 0.0) + std::strtod(line.c_str() + line.rfind(' ') + 1, nullptr);
    }
    return sum;
}

// Polls the tool's /metrics until pass(value of series) holds; the last
// exposition read.
template <typename Pass>
std::string WaitForSample(uint16_t port, const std::string& series, Pass pass)
{
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    std::string exposition = HttpGet(port, "/metrics").Body;
    while (!pass(SampleValue(exposition, series)) && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(100ms);
        exposition = HttpGet(port, "/metrics").Body;
    }
    return exposition;
}

metricstest::HttpAnswer WaitForHealth(uint16_t port, int status)
{
    const auto deadline = std::chrono::steady_clock::now() + 60s;
    metricstest::HttpAnswer answer = HttpGet(port, "/healthz");
    while (answer.Status != status && std::chrono::steady_clock::now() < deadline)
    {
        std::this_thread::sleep_for(100ms);
        answer = HttpGet(port, "/healthz");
    }
    return answer;
}

// promtool's lint of an exposition: empty when it has nothing to say.
std::string Lint(const std::string& exposition)
{
    const std::string file = simtest::TempPath("tool-exposition.txt");
    std::ofstream(file) << exposition;
    const metricstest::PromtoolRun lint = metricstest::Promtool("check metrics < '" + file + "'");
    std::remove(file.c_str());
    return lint.Status == 0 ? lint.Output : "status " + std::to_string(lint.Status) + ": " + lint.Output;
}

bool HavePrometheus()
{
    return !std::string(KELM_PROMETHEUS_PATH).empty() && !std::string(KELM_PROMTOOL_PATH).empty();
}

TEST(ToolProcessMetrics, PrometheusScrapesTheBridgeAndSeesTheLinkGoDown)
{
    if (!HavePrometheus())
        GTEST_SKIP() << "prometheus is not installed (Debian package prometheus)";
    bridgetest::RedisServer redis;
    ASSERT_TRUE(redis.Running());
    auto sim = std::make_unique<simtest::Process>(KELM_QUOTE_SIM_PATH,
                                                  std::vector<std::string>{"--quiet", "--rate", "20"});
    const std::string server = "tcp://" + sim->ReadLine();
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH,
                         {"--server", server, "--user", "bridge", "--redis", redis.Url(), "--metrics", "127.0.0.1:0",
                          "--health-max-quote-age", "5", "au2406", "ag2406"});
    const uint16_t port = MetricsPort(bridge);
    ASSERT_NE(0, port) << bridge.Log();

    metricstest::PrometheusServer prometheus(KELM_PROMETHEUS_PATH, port);
    ASSERT_TRUE(prometheus.Running()) << prometheus.Log();
    const std::string counter = "kelm_quotes_received_total{instrument=\"au2406\"}";
    const double first = prometheus.WaitFor(counter, [](double v) { return v > 0; });
    EXPECT_GT(first, 0) << prometheus.Log();
    EXPECT_GT(prometheus.WaitFor(counter, [first](double v) { return v > first; }), first);
    EXPECT_EQ(1, prometheus.WaitFor("kelm_link_up", [](double v) { return v == 1; }));
    EXPECT_EQ(1, prometheus.WaitFor("kelm_redis_up", [](double v) { return v == 1; }));
    EXPECT_EQ(200, WaitForHealth(port, 200).Status);

    // What the bridge itself says: everything there is, linted.
    const std::string exposition =
        WaitForSample(port, "kelm_bridge_entries_written_total", [](double v) { return v > 0; });
    EXPECT_EQ("", Lint(exposition)) << exposition;
    EXPECT_EQ(1, SampleValue(exposition, "kelm_link_logged_in"));
    EXPECT_EQ(1, SampleValue(exposition, "kelm_logins_total{result=\"accepted\"}"));
    EXPECT_EQ(1, SampleValue(exposition, "kelm_link_connections_total"));
    EXPECT_EQ(0, SampleValue(exposition, "kelm_link_losses_total"));
    EXPECT_GT(SampleValue(exposition, "kelm_link_bytes_received_total"), 0);
    EXPECT_EQ(1, SampleValue(exposition, "kelm_link_server_info{address=\"" + server.substr(6) + "\"}"))
        << exposition;
    EXPECT_GT(SampleValue(exposition, "kelm_redis_round_trip_seconds_count"), 0);
    EXPECT_EQ(0, SampleValue(exposition, "kelm_bridge_dropped_quotes_total"));
    EXPECT_EQ(1, SampleValue(exposition, "kelm_build_info{library_version=\"V6_6_9\",version=\"" KELM_RELEASE_VERSION
                                         "\"}"))
        << exposition;
    // Quotes are counted as the library delivers them: per instrument and
    // in all, the same count.
    EXPECT_LE(FamilySum(exposition, "kelm_quotes_received_total"),
              SampleValue(exposition, "kelm_link_quotes_received_total"));

    // The quote server goes: the link is down for Prometheus and for a
    // load balancer.
    sim->Kill();
    EXPECT_EQ(0, prometheus.WaitFor("kelm_link_up", [](double v) { return v == 0; })) << bridge.Log();
    const metricstest::HttpAnswer health = WaitForHealth(port, 503);
    EXPECT_EQ(503, health.Status);
    EXPECT_NE(std::string::npos, health.Body.find("link down")) << health.Body;
    // A reconnect may still reach the dying server's listening socket and be
    // lost at once: every connection made is counted lost, at least one.
    const std::string down = HttpGet(port, "/metrics").Body;
    EXPECT_LE(1, SampleValue(down, "kelm_link_losses_total")) << down;
    EXPECT_EQ(SampleValue(down, "kelm_link_connections_total"), SampleValue(down, "kelm_link_losses_total")) << down;
    EXPECT_EQ(0, bridge.Stop()) << bridge.Log();
}

// Two threads scrape without a pause while the simulator sends its
// recording as fast as it is asked to: every quote sent is received,
// counted and written, none dropped, and every scrape is answered.
TEST(ToolProcessMetrics, ScrapesDuringAFloodChangeNothingInTheQuoteCounts)
{
    bridgetest::RedisServer redis;
    ASSERT_TRUE(redis.Running());
    const std::vector<std::string> instruments = {"ag2406", "cu2407", "au2406"};
    constexpr int N = 40000;
    const std::string recording = simtest::TempPath("flood.csv");
    bridgetest::WriteRecording(recording, instruments, N);
    // 20000 quotes a second: a network thread held up for half a second
    // would leave the simulator more than its 4 MiB per client to hold,
    // and it would drop quotes.
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--replay", recording, "--speed", "20000"});
    const std::string server = "tcp://" + sim.ReadLine();
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH, {"--server", server, "--user", "bridge", "--redis", redis.Url(),
                                               "--maxlen", "0", "--metrics", "127.0.0.1:0", "--status-interval",
                                               "0.2", "ag2406", "cu2407", "au2406"});
    const uint16_t port = MetricsPort(bridge);
    ASSERT_NE(0, port) << bridge.Log();

    std::atomic<bool> stop{false};
    std::atomic<int> answered{0};
    std::atomic<int> wrong{0};
    auto scrape = [&] {
        while (!stop)
        {
            const metricstest::HttpAnswer metrics = HttpGet(port, "/metrics");
            const int health = HttpGet(port, "/healthz").Status;
            const int elsewhere = HttpGet(port, "/metrics/x").Status;
            ++answered;
            wrong += metrics.Status != 200 || (health != 200 && health != 503) || elsewhere != 404;
        }
    };
    std::thread first(scrape);
    std::thread second(scrape);
    std::string status;
    const auto deadline = std::chrono::steady_clock::now() + 120s;
    while (bridgetest::Count(status, "written") != N && std::chrono::steady_clock::now() < deadline)
        status = bridge.WaitFor("status:");
    stop = true;
    first.join();
    second.join();
    EXPECT_EQ(N, bridgetest::Count(status, "written")) << bridge.Log();
    EXPECT_GT(answered.load(), 10);
    EXPECT_EQ(0, wrong.load());

    const std::string exposition = HttpGet(port, "/metrics").Body;
    EXPECT_EQ(N, FamilySum(exposition, "kelm_quotes_received_total")) << exposition;
    EXPECT_EQ(N, SampleValue(exposition, "kelm_link_quotes_received_total"));
    EXPECT_EQ(N, SampleValue(exposition, "kelm_bridge_entries_written_total"));
    EXPECT_EQ(0, SampleValue(exposition, "kelm_bridge_dropped_quotes_total"));
    EXPECT_EQ(0, SampleValue(exposition, "kelm_bridge_buffered_quotes"));
    EXPECT_EQ(0, SampleValue(exposition, "kelm_bridge_behind_seconds"));
    EXPECT_EQ(0, bridge.Stop()) << bridge.Log();
    EXPECT_NE(std::string::npos, bridge.Log().find("summary: quotes in " + std::to_string(N) + ", written " +
                                                   std::to_string(N) + ", dropped 0, rejected 0, unwritten 0"))
        << bridge.Log();
    std::remove(recording.c_str());
}

// Redis paused: the quotes wait in the bridge's buffer, and the seconds
// behind are those of the oldest; once Redis is back they are written and
// nothing is behind.
TEST(ToolProcessMetrics, TheBridgeIsBehindByItsOldestBufferedQuote)
{
    bridgetest::RedisServer redis;
    ASSERT_TRUE(redis.Running());
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--rate", "50"});
    const std::string server = "tcp://" + sim.ReadLine();
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH, {"--server", server, "--user", "bridge", "--redis", redis.Url(),
                                               "--redis-timeout", "60", "--metrics", "127.0.0.1:0", "au2406"});
    const uint16_t port = MetricsPort(bridge);
    ASSERT_NE(0, port) << bridge.Log();
    WaitForSample(port, "kelm_bridge_entries_written_total", [](double v) { return v > 0; });

    redis.Pause();
    const auto paused = std::chrono::steady_clock::now();
    std::string exposition =
        WaitForSample(port, "kelm_bridge_behind_seconds", [](double v) { return v >= 2; });
    const double behind = SampleValue(exposition, "kelm_bridge_behind_seconds");
    const double since = std::chrono::duration<double>(std::chrono::steady_clock::now() - paused).count();
    EXPECT_GE(behind, 2) << exposition;
    // The oldest waiting quote came after the pause began (give or take the
    // round that was on its way).
    EXPECT_LE(behind, since + 0.5) << exposition;
    EXPECT_GT(SampleValue(exposition, "kelm_bridge_buffered_quotes"), 50) << exposition;
    EXPECT_EQ(0, SampleValue(exposition, "kelm_bridge_dropped_quotes_total"));

    redis.Resume();
    exposition = WaitForSample(port, "kelm_bridge_behind_seconds", [](double v) { return v == 0; });
    EXPECT_EQ(0, SampleValue(exposition, "kelm_bridge_behind_seconds")) << exposition;
    EXPECT_EQ(0, bridge.Stop()) << bridge.Log();
}

TEST(ToolProcessMetrics, TheWatcherServesALintFreeExpositionAndAPortTakenEndsASecondOne)
{
    if (!HavePrometheus())
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus)";
    // Its own simulator, a few quotes a second: the CSV lines it writes
    // meanwhile stay well within the pipe.
    LoggedProcess watcher(KELM_MD_WATCH_PATH,
                          {"--format", "csv", "--rate", "5", "--metrics", "127.0.0.1:0", "au2406", "nosuch"});
    const uint16_t port = MetricsPort(watcher);
    ASSERT_NE(0, port) << watcher.Log();
    const std::string exposition =
        WaitForSample(port, "kelm_quotes_received_total{instrument=\"au2406\"}", [](double v) { return v > 0; });
    EXPECT_EQ("", Lint(exposition)) << exposition;
    EXPECT_EQ(1, SampleValue(exposition, "kelm_link_up"));
    EXPECT_EQ(1, SampleValue(exposition, "kelm_link_logged_in"));
    EXPECT_GT(SampleValue(exposition, "kelm_link_packages_received_total"), 0);
    EXPECT_EQ(0, SampleValue(exposition, "kelm_quotes_received_total{instrument=\"nosuch\"}"));
    EXPECT_EQ(-1, SampleValue(exposition, "kelm_bridge_entries_written_total"));  // the bridge's only
    EXPECT_EQ(200, WaitForHealth(port, 200).Status);

    LoggedProcess second(KELM_MD_WATCH_PATH, {"--metrics", "127.0.0.1:" + std::to_string(port), "au2406"});
    EXPECT_EQ(2, second.Wait());
    EXPECT_NE(std::string::npos, second.Log().find("kelm-md-watch: cannot serve metrics on 127.0.0.1:")) << second.Log();
    watcher.Stop();
}

}  // namespace
