// A recorded quote stream loaded from a CSV file (CQuoteCsv), ready to be
// sent again: each row rebuilt as the quote record the server sends, with
// its time stamp for pacing.
#ifndef KELM_TOOLS_SIM_CQUOTEREPLAY_H
#define KELM_TOOLS_SIM_CQUOTEREPLAY_H

#include <cstdint>
#include <string>
#include <vector>

#include <KelmRivoMdApi.h>
#include "quote/QuotRecord.h"
#include "QuoteSimSettings.h"

struct ReplayQuote
{
    QuotRecord Quote;
    int64_t Second = 0;  // ModifyDate and ModifyTime as seconds; 0 when absent
};

class CQuoteReplay
{
public:
    // Throws std::runtime_error naming the file and line on an unreadable
    // file, a missing or different header, or a malformed row.
    static CQuoteReplay Load(const std::string& path);

    // The inverse of the client's conversion of a quote: dates back to
    // YYYY-MM-DD, the five levels per side, 64-bit counts from the doubles.
    static QuotRecord ToQuote(const MarketDepthRecord& depth);

    const std::vector<ReplayQuote>& Quotes() const { return m_quotes; }
    // Every instrument of the file, in order of first appearance.
    const std::vector<SimInstrument>& Instruments() const { return m_instruments; }

private:
    std::vector<ReplayQuote> m_quotes;
    std::vector<SimInstrument> m_instruments;
};

#endif
