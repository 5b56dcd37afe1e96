// The CSV form of a quote: the MarketDepthRecord fields needed to rebuild it,
// one quote per line, after a header line. The watcher writes it and the
// simulator replays it. Numbers are written in their shortest exact form,
// so a quote read back and written again gives the same line.
#ifndef KELM_TOOLS_SIM_CQUOTECSV_H
#define KELM_TOOLS_SIM_CQUOTECSV_H

#include <string>

#include <KelmRivoMdApi.h>

class CQuoteCsv
{
public:
    // Column names, comma-separated, no line end.
    static const std::string& Header();
    static std::string Format(const MarketDepthRecord& quote);
    // Fills a zeroed quote from one line (no line end). False, with a
    // reason in error, on a wrong column count, a bad number or a text too
    // long for its field.
    static bool Parse(const std::string& line, MarketDepthRecord& quote, std::string& error);
};

#endif
