// The live terminal view, redrawn in place: a status line, one row per
// instrument, and the latest events, cut to the terminal's size (columns
// from the right, rows with a "+N more" line).
#ifndef KELM_TOOLS_WATCH_CQUOTETABLE_H
#define KELM_TOOLS_WATCH_CQUOTETABLE_H

#include <deque>
#include <string>

#include "CWatchStats.h"

struct TableFrame
{
    const CWatchStats& Stats;
    std::string Status;                     // the first line
    const std::deque<std::string>& Events;  // oldest first
    unsigned Connection = 0;                // the current connection
    bool LoggedIn = false;
    CWatchStats::Clock::time_point Now;
    int Width = 0;   // terminal columns; 0: unknown, nothing is cut
    int Height = 0;  // terminal lines; 0: unknown
};

class CQuoteTable
{
public:
    // The whole view: the cursor is moved to the top left first, every line
    // clears its rest and the screen below is cleared, so the previous view
    // is overwritten. No line is longer than the width and the view has no
    // more lines than the height, so the terminal neither wraps nor scrolls.
    static std::string Render(const TableFrame& frame);
};

#endif
