// kelm-md-bridge --config FILE as a real process: the file's options take
// effect, the command line wins over them, the example configuration is
// accepted, and a bad file ends the bridge with status 2 and its line.
#include <cstdio>
#include <fstream>

#include <gtest/gtest.h>

#include "bridge/BridgeTestSupport.h"
#include "bridge/RedisServer.h"

using namespace bridgetest;

namespace
{

std::string WriteConfig(const std::string& name, const std::string& text)
{
    const std::string path = simtest::TempPath(name);
    std::ofstream(path) << text;
    return path;
}

TEST(BridgeConfig, TheFileGivesTheOptionsAndTheCommandLineWins)
{
    RedisServer redis;
    ASSERT_TRUE(redis.Running());
    const std::vector<std::string> instruments = {"au2406", "ag2406", "cu2407"};
    constexpr std::size_t N = 300;
    const std::string recording = simtest::TempPath("config.csv");
    WriteRecording(recording, instruments, static_cast<int>(N));
    // The password has a '#' and a blank: the file's value is taken as it is.
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--replay", recording, "--speed", "0", "--user",
                                               "bridge:pa#ss word", "--user", "example:pw"});
    const std::string server = "tcp://" + sim.ReadLine();

    // The example as shipped, every address replaced from the command line.
    {
        LoggedProcess bridge(KELM_MD_BRIDGE_PATH,
                             {"--config", KELM_SOURCE_DIR "/packaging/bridge-example.conf", "--server", server,
                              "--redis", redis.Url(), "--user", "example", "--password", "pw", "--prefix", "example:",
                              "--metrics", "127.0.0.1:0", "au2406"});
        EXPECT_NE(bridge.WaitFor("subscribed au2406"), "") << bridge.Log();
        EXPECT_EQ(bridge.Stop(), 0) << bridge.Log();
    }

    const std::string config = WriteConfig("bridge.conf", "# a bridge\n"
                                                          "server = " + server + "\n"
                                                          "user = bridge\n"
                                                          "password = pa#ss word\n"
                                                          "redis = " + redis.Url() + "\n"
                                                          "prefix = file:md:\n"
                                                          "maxlen = 0\n"
                                                          "instrument = au2406 ag2406\n"
                                                          "instrument = cu2407\n");
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH, {"--config", config, "--prefix", "cli:md:"});
    const std::vector<Entry> entries =
        Follow(*redis.Connect(), {"cli:md:au2406", "cli:md:ag2406", "cli:md:cu2407"}, N);
    EXPECT_EQ(entries.size(), N) << bridge.Log();
    EXPECT_EQ(bridge.Stop(), 0) << bridge.Log();
    EXPECT_NE(bridge.Log().find("summary: quotes in 300, written 300"), std::string::npos) << bridge.Log();
    const RedisReply keys = redis.Connect()->Run({"KEYS", "file:md:*"});
    EXPECT_EQ(keys->elements, 0u) << "the file's prefix was used beside the command line's";
    std::remove(config.c_str());
    std::remove(recording.c_str());
}

TEST(BridgeConfig, ABadFileEndsTheBridgeWithStatusTwoAndTheLine)
{
    const std::string start = "server = tcp://127.0.0.1:7000\n"
                              "user = demo\n"
                              "redis = redis://127.0.0.1:6379\n"
                              "instrument = au2406\n";
    const struct
    {
        std::string Lines;  // from line 5 on
        std::string Says;
    } cases[] = {
        {"maxlen = many\n", ":5: the argument ('many') for option 'maxlen' is invalid"},
        {"server = tcp://nohost\n", ":5: malformed server address 'tcp://nohost'"},
        {"instrument = ag2406 waytoolongforacode\n", ":5: instrument code 'waytoolongforacode'"},
        {"reddis = redis://127.0.0.1\n", ":5: unknown key 'reddis'"},
        {"password secret\n", ":5: expected 'key = value'"},
        {"buffer = 5\nbuffer = 6\n", ":6: 'buffer' was already given on line 5"},
        {"metrics = localhost:9464\n", ":5: malformed metrics address 'localhost:9464'"},
        {"\n# later\nflush-timeout = -1\n", ":7: --status-interval, --flush-timeout"},
        {"buffer = 0\n", ":5: --buffer must be at least 1"},
    };
    for (const auto& bad : cases)
    {
        const std::string config = WriteConfig("bad.conf", start + bad.Lines);
        LoggedProcess bridge(KELM_MD_BRIDGE_PATH, {"--config", config});
        EXPECT_EQ(bridge.Wait(), 2) << bad.Lines;
        EXPECT_NE(bridge.Log().find("kelm-md-bridge: " + config + bad.Says), std::string::npos)
            << bad.Lines << bridge.Log();
        std::remove(config.c_str());
    }

    // A bad value from the command line is not blamed on the file.
    const std::string config = WriteConfig("good.conf", start);
    LoggedProcess bridge(KELM_MD_BRIDGE_PATH, {"--config", config, "--server", "tcp://nohost"});
    EXPECT_EQ(bridge.Wait(), 2);
    EXPECT_NE(bridge.Log().find("kelm-md-bridge: malformed server address 'tcp://nohost'"), std::string::npos)
        << bridge.Log();
    LoggedProcess missing(KELM_MD_BRIDGE_PATH, {"--config", config + ".missing"});
    EXPECT_EQ(missing.Wait(), 2);
    EXPECT_NE(missing.Log().find("cannot read the configuration file '" + config + ".missing'"), std::string::npos)
        << missing.Log();
    std::remove(config.c_str());
}

}  // namespace
