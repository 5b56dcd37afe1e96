// kelm-md-watch as a real process against kelm-quote-sim processes: its
// outputs, the live table read from a terminal, and its exit statuses.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "sim/SimProcess.h"
#include "sim/SimService.h"
#include "TerminalScreen.h"

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

bool Contains(const std::string& text, const std::string& part)
{
    return text.find(part) != std::string::npos;
}

// Runs the watcher to its end; returns its exit status, with standard output
// (and standard error when merged) in output.
int Watch(const std::vector<std::string>& args, std::string& output, bool mergeStderr = false)
{
    simtest::Process watcher(KELM_MD_WATCH_PATH, args, mergeStderr);
    output = watcher.ReadAll();
    return watcher.Wait();
}

// The same with standard error apart.
int Watch(const std::vector<std::string>& args, std::string& output, std::string& errors)
{
    const std::string errorFile = simtest::TempPath("watch_errors.txt");
    simtest::Process watcher(KELM_MD_WATCH_PATH, args, false, errorFile);
    output = watcher.ReadAll();
    const int status = watcher.Wait();
    errors = ReadFile(errorFile);
    std::remove(errorFile.c_str());
    return status;
}

// A loopback port that refuses connections: bound but not listening, and
// held for the whole test, so that no other test can take it.
class RefusingPort
{
public:
    RefusingPort() : m_socket(::socket(AF_INET, SOCK_STREAM, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        ::bind(m_socket, reinterpret_cast<sockaddr*>(&address), length);
        ::getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~RefusingPort() { ::close(m_socket); }
    std::string Server() const { return "tcp://127.0.0.1:" + std::to_string(m_port); }

private:
    int m_socket;
    uint16_t m_port = 0;
};

}  // namespace

TEST(WatchProcess, ARecordingReplayedAndRecordedAgainComesBackIdentical)
{
    const std::string first = simtest::TempPath("watch_first.csv");
    const std::string second = simtest::TempPath("watch_second.csv");
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

// Exit status 1 when nothing can be watched, 3 when some instruments were
// refused; a refusal is named in the summary, and a failed login prints no
// CSV header.
TEST(WatchProcess, RefusalsEndWithTheirStatusAndAreNamed)
{
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--user", "u1:secret"});
    const std::string server = StartSimulator(sim);
    std::string output;
    std::string errors;
    EXPECT_EQ(1, Watch({"--server", server, "--user", "u1", "--password", "wrong", "--format", "csv", "x1"}, output,
                       errors));
    EXPECT_EQ("", output);
    EXPECT_TRUE(Contains(errors, "kelm-md-watch: login of 'u1' failed: 1 Invalid user code or password")) << errors;

    EXPECT_EQ(1, Watch({"--server", server, "--user", "u1", "--password", "secret", "zz999"}, output, true));
    EXPECT_TRUE(Contains(output, "refused: 2 Unknown instrument: zz999")) << output;
    EXPECT_TRUE(Contains(output, "kelm-md-watch: no instrument could be subscribed")) << output;

    // One unknown among known ones: the rest is watched, the status says
    // that something was refused.
    EXPECT_EQ(3, Watch({"--server", server, "--user", "u1", "--password", "secret", "--count", "3", "zz999", "au2406"},
                       output, errors));
    EXPECT_TRUE(Contains(errors, "summary: 3 quotes")) << errors;
    EXPECT_TRUE(Contains(errors, "zz999            refused: 2 Unknown instrument: zz999")) << errors;
    EXPECT_EQ(4u, Lines(output).size());  // the header and three quotes
}

TEST(WatchProcess, BadArgumentsGiveOneLineAndStatusTwo)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {},
             {"--format", "xml", "a1"},
             {"--count", "-3", "a1"},
             {"--server", "127.0.0.1:9000", "a1"},
             {"--server", "tcp://127.0.0.1", "a1"},
             {"--server", "tcp://::1:9000", "a1"},
             {"--server", "tcp://127.0.0.1:70000", "a1"},
             {"--server", "tcp://127.0.0.1:port", "a1"},
             {"--server", "tcp://127.0.0.1:9000", "--rate", "5", "a1"},
             {"--rate", "1e9", "a1"},
             {"--instruments", "a1,a1", "a1"},
             {"--record", "/nonexistent-directory/quotes.csv", "a1"},
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

// An address the library refuses (here a host over 127 characters, refused
// without asking a name server) ends the watcher with one line, status 1.
TEST(WatchProcess, AnAddressTheLibraryRefusesIsOneLineAndStatusOne)
{
    const std::string server = "tcp://" + std::string(128, 'h') + ":9000";
    std::string output;
    std::string errors;
    EXPECT_EQ(1, Watch({"--server", server, "--format", "csv", "a1"}, output, errors));
    EXPECT_EQ("", output);
    const std::vector<std::string> lines = Lines(errors);
    ASSERT_EQ(1u, lines.size()) << errors;
    EXPECT_EQ(0u, lines[0].find("kelm-md-watch: cannot use " + server + ": resolve")) << lines[0];
}

// The embedded simulator serves what --instruments names and refuses the
// rest, as the standalone one does.
TEST(WatchProcess, WithoutAServerItWatchesItsOwnSimulator)
{
    std::string output;
    ASSERT_EQ(0, Watch({"--count", "4", "--format", "csv", "ag2406"}, output));
    std::vector<std::string> lines = Lines(output);
    ASSERT_EQ(5u, lines.size());
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(0u, lines[i].find("ag2406,SIMX,")) << lines[i];

    std::string errors;
    EXPECT_EQ(3, Watch({"--instruments", "zz1@SIMQ", "--rate", "50", "--count", "30", "--format", "csv", "zz1",
                        "ag2406"},
                       output, errors));
    lines = Lines(output);
    ASSERT_EQ(31u, lines.size()) << errors;
    EXPECT_EQ(0u, lines[30].find("zz1,SIMQ,")) << lines[30];
    EXPECT_TRUE(Contains(errors, "ag2406           refused: 2 Unknown instrument: ag2406")) << errors;
}

// Piped lines arrive while the watcher runs, not at its exit (nor when a
// buffer is full): at rate 0 the simulator sends one quote per subscription
// and no more.
TEST(WatchProcess, APipedWatcherDeliversEachLineAsItComes)
{
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--rate", "0"});
    simtest::Process watcher(KELM_MD_WATCH_PATH, {"--server", StartSimulator(sim), "--format", "json", "au2406"});
    const std::string first = watcher.ReadLine(std::chrono::seconds(30));
    EXPECT_EQ(0u, first.find("{\"amount\":")) << first;
    EXPECT_TRUE(watcher.Running());
    watcher.Signal(SIGINT);
    EXPECT_EQ(0, watcher.Wait(std::chrono::seconds(30)));
}

// Ctrl-C after the login ends normally with a summary; before it, with
// status 1 and a summary all the same.
TEST(WatchProcess, InterruptEndsWithASummaryAndSaysWhetherAnythingWasWatched)
{
    simtest::Process watcher(KELM_MD_WATCH_PATH, {"--format", "table", "au2406", "cu2407"}, true);
    std::string seen;
    for (std::string line; !Contains(seen, "subscribed cu2407") && !(line = watcher.ReadLine(std::chrono::seconds(30))).empty();)
        seen += line + "\n";
    ASSERT_TRUE(Contains(seen, "subscribed cu2407")) << seen;
    watcher.Signal(SIGINT);
    const std::string rest = watcher.ReadAll();
    EXPECT_EQ(0, watcher.Wait(std::chrono::seconds(30)));
    EXPECT_TRUE(Contains(rest, "stopping")) << rest;
    // The table is redrawn in place: cursor home, then the status line and
    // the header.
    EXPECT_TRUE(Contains(seen + rest, "\x1b[Hlogged in as 'watch' on tcp://127.0.0.1:")) << rest;
    EXPECT_TRUE(Contains(rest, "summary: ")) << rest;
    EXPECT_TRUE(Contains(rest, "  au2406 ")) << rest;

    // A stopped server accepts the connection (the kernel does) but never
    // answers the login.
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet"});
    const std::string server = StartSimulator(sim);
    sim.Signal(SIGSTOP);
    simtest::Process early(KELM_MD_WATCH_PATH, {"--server", server, "--format", "csv", "au2406"}, true);
    seen.clear();
    for (std::string line; !Contains(seen, "connected to") && !(line = early.ReadLine(std::chrono::seconds(30))).empty();)
        seen += line + "\n";
    early.Signal(SIGINT);
    seen += early.ReadAll();
    EXPECT_EQ(1, early.Wait(std::chrono::seconds(30))) << seen;
    EXPECT_TRUE(Contains(seen, "kelm-md-watch: interrupted before the login")) << seen;
    EXPECT_TRUE(Contains(seen, "summary: 0 quotes")) << seen;
    sim.Signal(SIGCONT);
}

// Nobody listens: the watcher says at once that it is connecting and gives
// up after --connect-timeout.
TEST(WatchProcess, WaitingForAServerThatIsNotThereIsSaidAndEnds)
{
    const RefusingPort port;
    simtest::Process watcher(KELM_MD_WATCH_PATH,
                             {"--server", port.Server(), "--connect-timeout", "1", "--format", "csv", "au2406"}, true);
    const std::string first = watcher.ReadLine(std::chrono::seconds(30));
    EXPECT_TRUE(Contains(first, "connecting to " + port.Server() + "; the library tries again every second")) << first;
    const std::string rest = watcher.ReadAll();
    EXPECT_EQ(1, watcher.Wait(std::chrono::seconds(30)));
    EXPECT_TRUE(Contains(rest, "kelm-md-watch: no connection to " + port.Server() + " within 1 s")) << rest;
}

TEST(WatchProcess, WatchesAServerOnIpv6Loopback)
{
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--listen", "[::1]:0", "--rate", "20"});
    const std::string address = sim.ReadLine();
    if (address.empty())
        GTEST_SKIP() << "no IPv6 loopback here";
    ASSERT_EQ(0u, address.find("[::1]:")) << address;
    std::string output;
    std::string errors;
    EXPECT_EQ(0, Watch({"--server", "tcp://" + address, "--count", "2", "--format", "csv", "au2406"}, output, errors))
        << errors;
    EXPECT_EQ(3u, Lines(output).size()) << errors;
    EXPECT_TRUE(Contains(errors, "connected to tcp://" + address)) << errors;
}

// The table as a user sees it: a refused login stays on the screen after
// the exit.
TEST(WatchProcess, TheTableShowsARefusedLogin)
{
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--quiet", "--user", "demo:pw"});
    const std::string server = StartSimulator(sim);
    simtest::TerminalScreen screen({KELM_MD_WATCH_PATH, "--server", server, "--user", "demo", "--password", "wrong",
                                    "au2406"},
                                   100, 24);
    ASSERT_TRUE(screen.Started()) << "tmux could not start";
    EXPECT_EQ(1, screen.Wait());
    const std::vector<std::string> lines = screen.Lines(true);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ("LOGIN REFUSED by " + server + ": 1 Invalid user code or password", lines[0]) << screen.Text(true);
    EXPECT_TRUE(Contains(screen.Text(true), "kelm-md-watch: login of 'demo' failed: 1 Invalid user code or password"))
        << screen.Text(true);
}

// On a small terminal: no line wraps and the header stays on top; a refused
// instrument is marked in its row, rows go stale when the link is lost, and
// the event log is readable after the exit. The server is the test's own: it
// answers the first connection only (one quote per subscription), so that
// after it drops that connection the rows stay stale.
TEST(WatchProcess, TheTableFitsTheTerminalAndMarksRefusedAndStaleRows)
{
    CSimServer server;
    uint64_t first = 0;  // the server's thread writes it; read through Call
    server.SetRequestHandler([&first](const std::shared_ptr<CSimSession>& session, const SimRequest& request) {
        if (first == 0 && request.ServiceNo == SimService::Login)
            first = session->Id();
        if (session->Id() != first)
            return;
        RspInfo info{};
        if (request.ServiceNo == SimService::Login)
        {
            LoginRsp rsp{};
            std::strcpy(rsp.TradeDate, "2024-03-05");
            session->Send(CSimEncoder::LoginAnswer(request.RequestID, &info, &rsp));
        }
        if (request.ServiceNo != SimService::Subscribe)
            return;
        QuotSubscribeRsp rsp{};
        std::strcpy(rsp.InstrumentID, std::get<QuotSubscribeReq>(request.Record).InstrumentID);
        if (std::strcmp(rsp.InstrumentID, "nosuch") == 0)
        {
            info.RspNo = 2;
            std::strcpy(info.RspDesc, "Unknown instrument: nosuch");
        }
        session->Send(CSimEncoder::SubscribeAnswer(request.RequestID, &info, &rsp));
        QuotRecord quote{};
        std::strcpy(quote.InstrumentID, rsp.InstrumentID);
        quote.Price = 101;
        quote.PreSettle = 100;
        if (info.RspNo == 0)
            session->Send(CSimEncoder::Quote(quote));
    });
    server.Start("127.0.0.1", 0);
    const std::string address = "tcp://127.0.0.1:" + std::to_string(server.Port());

    const int width = 64;
    simtest::TerminalScreen screen({KELM_MD_WATCH_PATH, "--server", address, "nosuch", "au2406", "ag2406", "cu2407",
                                    "rb2410", "IF2406", "x1", "x2", "x3", "x4"},
                                   width, 10);
    ASSERT_TRUE(screen.Started()) << "tmux could not start";
    ASSERT_TRUE(screen.WaitFor({"nosuch          REFUSED 2 Unknown instrument: nosuch", "cu2407          live"}))
        << screen.Text();
    std::vector<std::string> lines = screen.Lines();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(0u, lines[0].find("logged in as 'watch' on " + address)) << screen.Text();
    EXPECT_EQ(0u, lines[1].find("INSTRUMENT      STATE")) << screen.Text();
    for (const std::string& line : lines)
        EXPECT_LE(line.size(), static_cast<std::size_t>(width)) << line;
    EXPECT_TRUE(Contains(screen.Text(), "\n+6 more\n")) << screen.Text();

    server.CloseSession(server.Call([&first] { return first; }));
    ASSERT_TRUE(screen.WaitFor({"link lost 1 time", "au2406          STALE          101        +1"}))
        << screen.Text();
    screen.Keys("C-c");
    EXPECT_EQ(3, screen.Wait());
    const std::string after = screen.Text(true);
    EXPECT_TRUE(Contains(after, "disconnected; the library reconnects by itself")) << after;
    EXPECT_TRUE(Contains(after, "nosuch           refused: 2 Unknown instrument: nosuch")) << after;
}
