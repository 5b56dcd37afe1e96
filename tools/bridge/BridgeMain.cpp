// kelm-md-bridge: republishes the quotes of a market-data server into Redis
// streams, one stream per instrument.
#include <signal.h>

#include <iostream>
#include <memory>

#include "tools/bridge/CBridgeCommandLine.h"
#include "tools/bridge/CBridgeLog.h"
#include "tools/bridge/CMdBridge.h"
#include "tools/watch/CStopSignals.h"
#include "tools/watch/CWatchEventQueue.h"

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
    CStopSignals::Install(queue);
    // hiredis writes without MSG_NOSIGNAL: Redis closing the link must make
    // the write fail, not end the bridge.
    signal(SIGPIPE, SIG_IGN);
    CBridgeLog log(std::cerr);
    CMdBridge bridge(options, log);
    return bridge.Run(*queue);
}
