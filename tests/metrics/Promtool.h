// Runs Prometheus's promtool for the tests: its exit status and everything
// it wrote.
#ifndef KELM_TESTS_METRICS_PROMTOOL_H
#define KELM_TESTS_METRICS_PROMTOOL_H

#include <stdio.h>
#include <sys/wait.h>

#include <string>

namespace metricstest
{

struct PromtoolRun
{
    int Status = -1;  // the exit status; -1 when it did not run or end normally
    std::string Output;
};

// arguments: shell words, already quoted where needed (a redirection of
// standard input is allowed).
inline PromtoolRun Promtool(const std::string& arguments)
{
    PromtoolRun run;
    FILE* pipe = ::popen(("'" KELM_PROMTOOL_PATH "' " + arguments + " 2>&1").c_str(), "r");
    if (pipe == nullptr)
        return run;
    for (char chunk[512]; std::fgets(chunk, sizeof chunk, pipe) != nullptr;)
        run.Output += chunk;
    const int status = ::pclose(pipe);
    if (WIFEXITED(status))
        run.Status = WEXITSTATUS(status);
    return run;
}

}  // namespace metricstest

#endif
