// A process that returns from main, or calls exit, while the library is
// connected and receiving at full rate and the API object was never disposed
// of, must end cleanly: no crash, no hang, the expected exit status. A
// hundred times in a row, half of them each way.
//
//   KELM_EXIT_RUNS  number of runs (default 100)
#include "reliability/ReliabilitySettings.h"
#include "reliability/SoakQuote.h"
#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "sim/SimService.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

extern char** environ;

namespace
{

using namespace std::chrono_literals;

struct ChildEnd
{
    bool hung = false;
    int status = 0;
};

// Runs the child and waits for it; a child still running after the timeout
// is killed and reported as hung.
ChildEnd RunChild(const std::string& url, const char* mode, std::chrono::seconds timeout)
{
    std::string path = KELM_EXIT_CHILD;
    char* argv[] = {&path[0], const_cast<char*>(url.c_str()), const_cast<char*>(mode), nullptr};
    pid_t pid = 0;
    ChildEnd end;
    if (::posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv, environ) != 0)
    {
        end.status = -1;
        return end;
    }
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        const pid_t done = ::waitpid(pid, &end.status, WNOHANG);
        if (done == pid)
            return end;
        if (std::chrono::steady_clock::now() > deadline)
        {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &end.status, 0);
            end.hung = true;
            return end;
        }
        std::this_thread::sleep_for(5ms);
    }
}

TEST(ExitWhileRunning, ReturnFromMainAndExitEndCleanly)
{
    CSimServer server{SimSessionSettings{0ms, 0ms, false}};
    server.SetRequestHandler([](const std::shared_ptr<CSimSession>& session, const SimRequest& request) {
        if (request.ServiceNo == SimService::Subscribe)
            session->StartFlood(CSimEncoder::Quote(soak::MakeQuote(5)));
    });
    server.Start("127.0.0.1", 0);
    const std::string url = "tcp://127.0.0.1:" + std::to_string(server.Port());
    const int runs = static_cast<int>(reliability::FromEnvironment("KELM_EXIT_RUNS", 100));
    int clean = 0;
    for (int run = 0; run < runs; ++run)
    {
        const bool viaExit = run % 2 == 1;
        const ChildEnd end = RunChild(url, viaExit ? "exit" : "return", 60s);
        ASSERT_FALSE(end.hung) << "run " << run << " hung";
        ASSERT_TRUE(WIFEXITED(end.status)) << "run " << run << " ended by signal "
                                           << (WIFSIGNALED(end.status) ? WTERMSIG(end.status) : 0);
        ASSERT_EQ(WEXITSTATUS(end.status), viaExit ? 3 : 0) << "run " << run;
        ++clean;
    }
    EXPECT_EQ(clean, runs);
    server.Stop();
}

}  // namespace
