#include "CStopSignals.h"

#include <pthread.h>
#include <signal.h>

#include <thread>

void CStopSignals::Install(std::function<void()> handler)
{
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGINT);
    sigaddset(&set, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);
    std::thread([handler = std::move(handler), set] {
        int number = 0;
        while (sigwait(&set, &number) == 0)
            handler();
    }).detach();
}
