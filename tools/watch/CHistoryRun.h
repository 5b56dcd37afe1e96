// kelm-md-watch --history: logs in through the quote source's session, asks
// for the history of every instrument at once, prints each answer in the
// order the instruments were given (records as they arrive) and ends. An
// instrument counts as answered once its whole answer came, also when it
// was empty; a refusal, a lost link or no answer in time is named on the
// log.
#ifndef KELM_TOOLS_WATCH_CHISTORYRUN_H
#define KELM_TOOLS_WATCH_CHISTORYRUN_H

#include <atomic>
#include <chrono>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include <kelmmd/CMdSession.h>

#include "CHistoryPrinter.h"
#include "WatchEvent.h"
#include "WatchOptions.h"

class CQuoteSource;
class CWatchLog;

class CHistoryRun
{
public:
    CHistoryRun(const WatchOptions& options, CQuoteSource& source, std::ostream& out, CWatchLog& log);

    // Returns the exit status (WatchExit). Events come from queue; stop (set
    // by a signal) ends the waits within a tenth of a second.
    int Run(WatchEventQueue& queue, const std::atomic<bool>& stop);

private:
    using Clock = std::chrono::steady_clock;

    struct Outcome
    {
        std::string Code;
        std::size_t Records = 0;
        std::string Failure;  // empty: answered
    };

    bool LogIn(kelmmd::CMdSession& session, WatchEventQueue& queue, const std::atomic<bool>& stop);
    void LogEvents(WatchEventQueue& queue);
    template <class Record, class Submit>
    void Fetch(Submit submit, const std::atomic<bool>& stop);
    template <class Record>
    bool Print(kelmmd::CHistoryAnswer<Record>& answer, Outcome& outcome, const std::atomic<bool>& stop);
    void Failed(Outcome& outcome, const std::string& why);
    Clock::time_point Deadline() const;
    std::string Summary() const;

    WatchOptions m_options;
    CQuoteSource& m_source;
    CWatchLog& m_log;
    CHistoryPrinter m_printer;
    std::vector<Outcome> m_outcomes;
};

#endif
