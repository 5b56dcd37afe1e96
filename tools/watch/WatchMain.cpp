// kelm-md-watch: shows the quotes of a market-data server on the terminal,
// as CSV or as JSON lines.
#include <sys/ioctl.h>
#include <unistd.h>

#include <atomic>
#include <iostream>
#include <memory>

#include "CHistoryRun.h"
#include "CLibraryQuoteSource.h"
#include "CMdWatcher.h"
#include "CRedisQuoteSource.h"
#include "CStopSignals.h"
#include "CToolMetrics.h"
#include "CWatchCommandLine.h"
#include "CWatchLog.h"

namespace
{

CMdWatcher::TerminalSize StandardOutputSize()
{
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) != 0)
        return {};
    return {size.ws_col, size.ws_row};
}

// The metrics endpoint of --metrics; false after an error line when it
// cannot listen.
bool ServeMetrics(const WatchOptions& options, CWatchLog& log, std::unique_ptr<CToolMetrics>& metrics)
{
    if (options.Metrics.empty())
        return true;
    ToolMetricsSettings settings = MetricsSettingsOf(options, KELM_RELEASE_VERSION);
    settings.LinkFigures = !options.FromRedis;
    try
    {
        metrics = std::make_unique<CToolMetrics>(settings);
    }
    catch (const std::exception& error)
    {
        log.Error(error.what());
        return false;
    }
    log.Event("serving " + metrics->Where());
    return true;
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
    // Shared with the signal thread, which outlives main.
    auto stop = std::make_shared<std::atomic<bool>>(false);
    CStopSignals::Install([stop] { *stop = true; });
    WatchEventQueue queue(WatchEventCapacity);
    const bool history = options.History != HistoryKind::None;
    // Lines on standard error would be drawn over by the live table on the
    // same terminal: it holds them until it ends.
    CWatchLog log(std::cerr, options.Format == WatchFormat::Table && !history && ::isatty(STDERR_FILENO) != 0);
    std::unique_ptr<CToolMetrics> metrics;
    if (!ServeMetrics(options, log, metrics))
    {
        log.Release();
        return WatchExit::BadArguments;
    }
    std::unique_ptr<CQuoteSource> source;
    if (options.FromRedis)
        source = std::make_unique<CRedisQuoteSource>(options, metrics.get());
    else
        source = std::make_unique<CLibraryQuoteSource>(options, metrics.get());
    if (history)
        return CHistoryRun(options, *source, std::cout, log).Run(queue, *stop);
    CMdWatcher watcher(options, *source, std::cout, log, StandardOutputSize);
    return watcher.Run(queue, *stop);
}
