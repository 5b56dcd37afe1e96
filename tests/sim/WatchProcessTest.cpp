// kelm-md-watch as a real process against kelm-quote-sim processes.
#include <fstream>
#include <sstream>
#include <thread>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/SimProcess.h"

namespace
{

std::string StartSimulator(simtest::Process& sim)
{
    return "tcp://" + sim.ReadLine();
}

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// Runs the watcher to its end; returns its exit status, with standard output
// (and standard error when merged) in output.
int Watch(const std::vector<std::string>& args, std::string& output, bool mergeStderr = false)
{
    simtest::Process watcher(KELM_MD_WATCH_PATH, args, mergeStderr);
    output = watcher.ReadAll();
    return watcher.Wait();
}

}  // namespace

TEST(WatchProcess, ARecordingReplayedAndRecordedAgainComesBackIdentical)
{
    const std::string first = ::testing::TempDir() + "watch_first.csv";
    const std::string second = ::testing::TempDir() + "watch_second.csv";
    std::string output;
    {
        simtest::Process sim(KELM_QUOTE_SIM_PATH,
                             {"--quiet", "--rate", "100", "--trade-date", "2024-03-05", "--instruments", "ag2406,cu2407@SIMY"});
        const std::string server = StartSimulator(sim);
        ASSERT_EQ(0, Watch({"--server", server, "--count", "60", "--record", first, "--format", "csv", "ag2406",
                            "cu2407"},
                           output));
        // Standard output carries the same CSV as the recording.
        EXPECT_EQ(ReadFile(first), output);
    }
    const std::vector<std::string> recorded = Lines(ReadFile(first));
    ASSERT_EQ(61u, recorded.size());
    EXPECT_EQ(0u, recorded[1].find("ag2406,SIMX,20240305,20240305,")) << recorded[1];

    simtest::Process replay(KELM_QUOTE_SIM_PATH, {"--quiet", "--replay", first, "--speed", "0"});
    const std::string server = StartSimulator(replay);
    ASSERT_EQ(0, Watch({"--server", server, "--count", "60", "--record", second, "--format", "json", "ag2406",
                        "cu2407"},
                       output));
    EXPECT_EQ(ReadFile(first), ReadFile(second));
    EXPECT_EQ(60u, Lines(output).size());
    EXPECT_EQ(0u, output.find("{\"amount\":"));
}

TEST(WatchProcess, ALoginRefusalOrAnUnknownInstrumentEndsWithAnError)
{
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--user", "u1:secret"});
    const std::string server = StartSimulator(sim);
    std::string output;
    EXPECT_EQ(1, Watch({"--server", server, "--user", "u1", "--password", "wrong", "x1"}, output, true));
    EXPECT_NE(std::string::npos, output.find("kelm-md-watch: login of 'u1' failed: 1 Invalid user code or password"))
        << output;

    EXPECT_EQ(1, Watch({"--server", server, "--user", "u1", "--password", "secret", "zz999"}, output, true));
    EXPECT_NE(std::string::npos, output.find("refused: 2 Unknown instrument: zz999")) << output;
    EXPECT_NE(std::string::npos, output.find("kelm-md-watch: no instrument could be subscribed")) << output;

    // One unknown among known ones is reported and the rest is watched.
    EXPECT_EQ(0, Watch({"--server", server, "--user", "u1", "--password", "secret", "--count", "3", "zz999", "au2406"},
                       output, true));
    EXPECT_NE(std::string::npos, output.find("summary: 3 quotes")) << output;
}

TEST(WatchProcess, BadArgumentsGiveOneLineAndStatusTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--format", "xml", "a1"},
             {"--count", "-3", "a1"},
             {"--server", "127.0.0.1:9000", "a1"},
             {"--server", "tcp://127.0.0.1", "a1"},
             {"--server", "tcp://:9000", "a1"},
             {"--server", "tcp://127.0.0.1:70000", "a1"},
             {"--server", "tcp://127.0.0.1:port", "a1"},
             {"--no-such-option", "a1"},
             {"an-instrument-code-too-long"}})
    {
        std::string output;
        EXPECT_EQ(2, Watch(args, output, true)) << output;
        const std::vector<std::string> lines = Lines(output);
        ASSERT_EQ(1u, lines.size()) << output;
        EXPECT_EQ(0u, lines[0].find("kelm-md-watch: ")) << lines[0];
    }
}

TEST(WatchProcess, WithoutAServerItWatchesItsOwnSimulator)
{
    std::string output;
    ASSERT_EQ(0, Watch({"--count", "4", "--format", "csv", "ag2406"}, output));
    const std::vector<std::string> lines = Lines(output);
    ASSERT_EQ(5u, lines.size());
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(0u, lines[i].find("ag2406,SIMX,")) << lines[i];
}

TEST(WatchProcess, InterruptEndsCleanlyWithASummary)
{
    simtest::Process watcher(KELM_MD_WATCH_PATH, {"--format", "table", "au2406", "cu2407"}, true);
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
    watcher.Signal(SIGINT);
    const std::string rest = watcher.ReadAll();
    EXPECT_EQ(0, watcher.Wait());
    EXPECT_NE(std::string::npos, rest.find("stopping")) << rest;
    // The table is redrawn in place: cursor home, then the header row.
    EXPECT_NE(std::string::npos, rest.find("\x1b[HINSTRUMENT")) << rest;
    EXPECT_NE(std::string::npos, rest.find("summary: ")) << rest;
    EXPECT_NE(std::string::npos, rest.find("au2406")) << rest;
}
