// The live terminal view: one row per instrument, redrawn in place.
#ifndef KELM_TOOLS_WATCH_CQUOTETABLE_H
#define KELM_TOOLS_WATCH_CQUOTETABLE_H

#include <string>

#include "tools/watch/CWatchStats.h"

class CQuoteTable
{
public:
    // The whole view: the cursor is moved to the top left first, and every
    // line clears its rest, so the previous view is overwritten.
    static std::string Render(const CWatchStats& stats, CWatchStats::Clock::time_point now);
};

#endif
