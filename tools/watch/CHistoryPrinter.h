// History records as the watcher shows them: a table (a header row, then
// one aligned row per record), CSV (a header line of the records' field
// names, then one line per record) or one JSON object per line. Fields come
// in record order; CSV and JSON numbers in their shortest exact form.
#ifndef KELM_TOOLS_WATCH_CHISTORYPRINTER_H
#define KELM_TOOLS_WATCH_CHISTORYPRINTER_H

#include <ostream>
#include <string>

#include <KelmRivoMdExtension.h>

#include "WatchOptions.h"

class CHistoryPrinter
{
public:
    struct Column;

    // kind: the records that will be written (not None).
    CHistoryPrinter(std::ostream& out, WatchFormat format, HistoryKind kind);

    // The header line or row (JSON lines have none).
    void WriteHeader();
    void Write(const MinuteBarRecord& bar);
    void Write(const DayBarRecord& bar);
    void Write(const TradeTickRecord& trade);
    void Flush() { m_out.flush(); }

private:
    void WriteRecord(const void* record);

    std::ostream& m_out;
    WatchFormat m_format;
    const Column* m_columns;
    std::size_t m_count;
};

#endif
