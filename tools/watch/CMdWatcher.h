// The watcher's run: starts the quote source, shows what it delivers as a
// live table or as CSV or JSON lines (and records it), keeps the status of
// the link, and ends when the count or the duration is reached, a stop is
// asked for or nothing can be watched; then it says why and sums up.
#ifndef KELM_TOOLS_WATCH_CMDWATCHER_H
#define KELM_TOOLS_WATCH_CMDWATCHER_H

#include <atomic>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>

#include "CConnectionStatus.h"
#include "CLinkFigures.h"
#include "CWatchStats.h"
#include "WatchEvent.h"
#include "WatchOptions.h"

class CQuoteLineWriter;
class CQuoteSource;
class CWatchLog;

// Exit statuses (documented in --help).
namespace WatchExit
{
constexpr int Done = 0;
constexpr int Failed = 1;
constexpr int BadArguments = 2;
constexpr int PartlyRefused = 3;
}  // namespace WatchExit

class CMdWatcher
{
public:
    struct TerminalSize
    {
        int Width = 0;   // 0: unknown
        int Height = 0;
    };

    // out: the table or the lines; log: events, errors and the summary;
    // terminal: the size of the table's terminal, asked before every redraw.
    CMdWatcher(const WatchOptions& options, CQuoteSource& source, std::ostream& out, CWatchLog& log,
               std::function<TerminalSize()> terminal);
    ~CMdWatcher();

    // Runs until done and returns the exit status. Events come from queue;
    // stop (set by a signal) ends the run within a tick.
    int Run(WatchEventQueue& queue, const std::atomic<bool>& stop);

private:
    // Why the run ends; empty while it goes on.
    enum class End
    {
        Done,
        Failed
    };

    bool OpenRecording();
    std::optional<End> Handle(WatchEvent& event);
    std::optional<End> OnSessionEvent(const WatchEvent& event);
    std::optional<End> OnLoginResult(const WatchEvent& event);
    std::optional<End> OnSubscribeResult(const kelmmd::SessionEvent& event);
    std::optional<End> OnStop();
    std::optional<End> OnQuote(const MarketDepthRecord& quote);
    std::optional<End> CheckTime(CWatchStats::Clock::time_point now) const;
    void Draw(CWatchStats::Clock::time_point now, bool withEvents = true);
    std::optional<End> Fail(const std::string& reason);

    WatchOptions m_options;
    CQuoteSource& m_source;
    std::ostream& m_out;
    CWatchLog& m_log;
    std::function<TerminalSize()> m_terminal;
    std::unique_ptr<CQuoteLineWriter> m_writer;
    std::ofstream m_recordFile;
    std::unique_ptr<CQuoteLineWriter> m_recorder;
    CWatchStats::Clock::time_point m_start;
    CWatchStats m_stats;
    CConnectionStatus m_status;
    CLinkFigures m_linkFigures;
    bool m_everLoggedIn = false;
    std::size_t m_answered = 0;  // subscription answers on the current login
};

#endif
