// SIGINT and SIGTERM as a call on a thread of their own: both are blocked
// in every thread (threads started later inherit the mask) and taken by one
// waiting thread, which calls the handler for each.
#ifndef KELM_TOOLS_SUPPORT_CSTOPSIGNALS_H
#define KELM_TOOLS_SUPPORT_CSTOPSIGNALS_H

#include <functional>

class CStopSignals
{
public:
    // Call before starting any thread. The handler runs on the signal
    // thread, which lives as long as the process.
    static void Install(std::function<void()> handler);
};

#endif
