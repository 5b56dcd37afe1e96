#include "tools/watch/CStopSignals.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

void CStopSignals::Install(const std::shared_ptr<CWatchEventQueue>& queue)
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
