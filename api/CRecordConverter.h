// Conversions from the quote client's internal records to the public ones.
#ifndef KELM_API_CRECORDCONVERTER_H
#define KELM_API_CRECORDCONVERTER_H

#include <KelmRivoMdApi.h>
#include "quote/QuotRecord.h"
#include "quote/QuotResponses.h"

#include <cstddef>

class CRecordConverter
{
public:
    /// Copies at most size - 1 characters of source (stopping at its NUL) and
    /// fills the rest of target with NUL, so target is always terminated.
    static void CopyText(char* target, std::size_t size, const char* source);

    /// YYYY-MM-DD (10 characters) to YYYYMMDD plus NUL in a 9-byte target;
    /// characters missing from a shorter source stay NUL.
    static void CompactDate(char target[9], const char* source, std::size_t sourceSize);

    /// Fills target from source and returns it, or returns null (and leaves
    /// target alone) when there is no source.
    static ResponseInfoRecord* ToResponseInfo(ResponseInfoRecord& target, const RspInfo* source);
    static void ToMarketDepth(MarketDepthRecord& target, const QuotRecord& source);

    /// Local clock time as HH:MM:SS.
    static void FormatLocalTime(char target[9]);

private:
    /// The text in source[0, N), up to its first NUL, into a target of more
    /// than N bytes that is all NUL already, a word at a time. N is a
    /// multiple of 8 that lies within both.
    template <std::size_t N>
    static void CopyTextToZeroed(char* target, const char* source);
};

#endif
