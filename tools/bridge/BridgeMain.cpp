// kelm-md-bridge: republishes the quotes of a market-data server into Redis
// streams, one stream per instrument.
#include <pthread.h>
#include <signal.h>

#include <iostream>
#include <memory>
#include <thread>

#include "tools/bridge/CBridgeCommandLine.h"
#include "tools/bridge/CBridgeLog.h"
#include "tools/bridge/CMdBridge.h"
#include "tools/watch/CWatchEventQueue.h"

namespace
{

// SIGINT and SIGTERM are blocked in every thread (the library's and the
// writer's inherit the mask) and taken by one waiting thread, which turns
// them into a Stop event for the main loop.
void StopOnSignals(const std::shared_ptr<CWatchEventQueue>& queue)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    // A Redis server that closes the link must not end the process.
    signal(SIGPIPE, SIG_IGN);
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
    BridgeOptions options;
    std::string message;
    switch (CBridgeCommandLine::Parse(argc, argv, options, message))
    {
    case CBridgeCommandLine::Outcome::Help:
        std::cout << message;
        return 0;
    case CBridgeCommandLine::Outcome::Error:
        std::cerr << "kelm-md-bridge: " << message << std::endl;
        return 2;
    case CBridgeCommandLine::Outcome::Run:
        break;
    }
    auto queue = std::make_shared<CWatchEventQueue>();
    StopOnSignals(queue);
    CBridgeLog log(std::cerr);
    CMdBridge bridge(options, log);
    return bridge.Run(*queue);
}
