// SIGINT and SIGTERM as a Stop event on a queue: both are blocked in every
// thread (threads started later inherit the mask) and taken by one waiting
// thread.
#ifndef KELM_TOOLS_WATCH_CSTOPSIGNALS_H
#define KELM_TOOLS_WATCH_CSTOPSIGNALS_H

#include <memory>

#include "tools/watch/CWatchEventQueue.h"

class CStopSignals
{
public:
    // Call before starting any thread.
    static void Install(const std::shared_ptr<CWatchEventQueue>& queue);
};

#endif
