// kelm-md-bridge: republishes the quotes of a market-data server into Redis
// streams, one stream per instrument.
#include <signal.h>

#include <atomic>
#include <iostream>
#include <memory>

#include "CBridgeCommandLine.h"
#include "CBridgeLog.h"
#include "CMdBridge.h"
#include "CStopSignals.h"

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
    // Shared with the signal thread, which outlives main.
    auto stop = std::make_shared<std::atomic<bool>>(false);
    CStopSignals::Install([stop] { *stop = true; });
    // hiredis writes without MSG_NOSIGNAL: Redis closing the link must make
    // the write fail, not end the bridge.
    signal(SIGPIPE, SIG_IGN);
    CBridgeLog log(std::cerr);
    CMdBridge bridge(options, log);
    return bridge.Run(*stop);
}
