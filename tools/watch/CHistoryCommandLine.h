// The --history options of kelm-md-watch: which history, and its range
// checked and completed for the library (a minute range given by days runs
// from the first day's 00:00 to the last day's 23:59:59).
#ifndef KELM_TOOLS_WATCH_CHISTORYCOMMANDLINE_H
#define KELM_TOOLS_WATCH_CHISTORYCOMMANDLINE_H

#include <string>

#include "WatchOptions.h"

class CHistoryCommandLine
{
public:
    // "minute", "day" or "trades"; std::invalid_argument otherwise.
    static HistoryKind ParseKind(const std::string& text);
    // Checks --from, --to (in options.From and options.To) and --service
    // against options.History and completes the range; std::invalid_argument
    // with a one-line reason when they do not fit.
    static void Complete(WatchOptions& options, bool serviceGiven);
    // What the kind's records are called: "minute bars", "day bars", "trades".
    static const char* RecordsName(HistoryKind kind);
};

#endif
