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
#include "support/TestPlatform.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

namespace
{

using namespace std::chrono_literals;

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
        const testplatform::ProcessEnd end = testplatform::RunProcess(
            {testplatform::SiblingProgram(KELM_EXIT_CHILD), url, viaExit ? "exit" : "return"}, 60s);
        ASSERT_FALSE(end.Hung) << "run " << run << " hung";
        ASSERT_FALSE(end.Crashed) << "run " << run << " ended by signal or exception " << end.Code;
        ASSERT_EQ(end.Code, viaExit ? 3 : 0) << "run " << run;
        ++clean;
    }
    EXPECT_EQ(clean, runs);
    server.Stop();
}

}  // namespace
