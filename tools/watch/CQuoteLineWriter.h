// One line per quote on a stream: CSV (after a header line, the recording
// format) or a JSON object.
#ifndef KELM_TOOLS_WATCH_CQUOTELINEWRITER_H
#define KELM_TOOLS_WATCH_CQUOTELINEWRITER_H

#include <ostream>
#include <string>

#include <KelmRivoMdApi.h>

class CQuoteLineWriter
{
public:
    enum class Style
    {
        Csv,
        Json
    };

    CQuoteLineWriter(std::ostream& out, Style style);
    // The CSV header line, once (JSON lines have none).
    void WriteHeader();
    void Write(const MarketDepthRecord& quote);
    // Hands what was written to the stream's file, if any was.
    void Flush();

    static std::string Json(const MarketDepthRecord& quote);

private:
    std::ostream& m_out;
    Style m_style;
    bool m_headerWritten = false;
    bool m_unflushed = false;
};

#endif
