// One line per quote on a stream: CSV (after a header line, the recording
// format) or a JSON object.
#ifndef KELM_TOOLS_WATCH_CQUOTELINEWRITER_H
#define KELM_TOOLS_WATCH_CQUOTELINEWRITER_H

#include <ostream>
#include <string>

#include "api/KelmRivoMdApi.h"

class CQuoteLineWriter
{
public:
    enum class Style
    {
        Csv,
        Json
    };

    // Writes the CSV header at once.
    CQuoteLineWriter(std::ostream& out, Style style);
    void Write(const MarketDepthRecord& quote);

    static std::string Json(const MarketDepthRecord& quote);

private:
    std::ostream& m_out;
    Style m_style;
};

#endif
