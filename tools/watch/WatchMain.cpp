// kelm-md-watch: shows the quotes of a market-data server on the terminal,
// as CSV or as JSON lines.
#include <pthread.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <iostream>
#include <memory>
#include <thread>

#include "tools/watch/CLibraryQuoteSource.h"
#include "tools/watch/CMdWatcher.h"
#include "tools/watch/CWatchCommandLine.h"
#include "tools/watch/CWatchEventQueue.h"
#include "tools/watch/CWatchLog.h"

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

CMdWatcher::TerminalSize StandardOutputSize()
{
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0)
        return {};
    return {size.ws_col, size.ws_row};
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
        return WatchExit::Done;
    case CWatchCommandLine::Outcome::Error:
        std::cerr << "kelm-md-watch: " << message << std::endl;
        return WatchExit::BadArguments;
    case CWatchCommandLine::Outcome::Run:
        break;
    }
    auto queue = std::make_shared<CWatchEventQueue>();
    WatchSignals(queue);
    // Lines on standard error would be drawn over by the table on the same
    // terminal: it holds them until it ends.
    CWatchLog log(std::cerr, options.Format == WatchFormat::Table && ::isatty(STDERR_FILENO) != 0);
    CLibraryQuoteSource source(options);
    CMdWatcher watcher(options, source, std::cout, log, StandardOutputSize);
    return watcher.Run(*queue);
}
