// kelm-md-watch: shows the quotes of a market-data server on the terminal,
// as CSV or as JSON lines.
#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <thread>

#include "tools/watch/CMdWatcher.h"
#include "tools/watch/CWatchCommandLine.h"
#include "tools/watch/CWatchEventQueue.h"

namespace
{

// SIGINT and SIGTERM are blocked in every thread (the library's and the
// simulator's inherit the mask) and taken by one waiting thread, which turns
// them into a Stop event for the main loop.
void WatchSignals(const std::shared_ptr<CWatchEventQueue>& queue)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([queue, set] {
        int number = 0;
        while (sigwait(&set, &number) == 0)
        {
            WatchEvent stop;
            stop.Type = WatchEvent::Kind::Stop;
            queue->Push(stop);
        }
    }).detach();
}

}  // namespace

int main(int argc, char* argv[])
{
    WatchOptions options;
    std::string message;
    switch (CWatchCommandLine::Parse(argc, argv, ::isatty(STDOUT_FILENO) != 0, options, message))
    {
    case CWatchCommandLine::Outcome::Help:
        std::cout << message;
        return 0;
    case CWatchCommandLine::Outcome::Error:
        std::cerr << "kelm-md-watch: " << message << std::endl;
        return 2;
    case CWatchCommandLine::Outcome::Run:
        break;
    }
    auto queue = std::make_shared<CWatchEventQueue>();
    WatchSignals(queue);
    CMdWatcher watcher(options, std::cout, std::cerr);
    return watcher.Run(*queue);
}
