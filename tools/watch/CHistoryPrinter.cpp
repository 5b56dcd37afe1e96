#include "CHistoryPrinter.h"

#include <cctype>
#include <charconv>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <iterator>

#include <nlohmann/json.hpp>

enum class FieldType
{
    Text,     // char[N], NUL-terminated
    Letter,   // one char, 0 when unknown
    Price,    // double
    Count,    // int
    Total,    // long long
};

struct CHistoryPrinter::Column
{
    const char* Name;  // the record's field, the CSV header
    const char* Key;   // the JSON key, as in the quotes' JSON lines
    FieldType Type;
    std::size_t Offset;
    std::size_t Size;
    int Width;         // in the table; negative: left-aligned
};

namespace
{

using Column = CHistoryPrinter::Column;

#define KELM_FIELD(record, field, key, type, width) \
    Column{#field, key, FieldType::type, offsetof(record, field), sizeof(record::field), width}
#define KELM_BAR_PRICES(record)                                                                           \
    KELM_FIELD(record, OpenPrice, "open", Price, 10), KELM_FIELD(record, HighestPrice, "high", Price, 10), \
        KELM_FIELD(record, LowestPrice, "low", Price, 10), KELM_FIELD(record, ClosePrice, "close", Price, 10)
#define KELM_BAR_TOTALS(record)                                                                        \
    KELM_FIELD(record, QtyTotal, "volume", Total, 10), KELM_FIELD(record, OI, "oi", Total, 10),       \
        KELM_FIELD(record, Amount, "amount", Price, 16)

const Column MinuteColumns[] = {
    KELM_FIELD(MinuteBarRecord, InstrumentID, "instrument", Text, -15),
    KELM_FIELD(MinuteBarRecord, ExchangeID, "exchange", Text, -8),
    KELM_FIELD(MinuteBarRecord, Date, "date", Text, -8),
    KELM_FIELD(MinuteBarRecord, Time, "time", Text, -8),
    KELM_BAR_PRICES(MinuteBarRecord),
    KELM_BAR_TOTALS(MinuteBarRecord),
};

const Column DayColumns[] = {
    KELM_FIELD(DayBarRecord, InstrumentID, "instrument", Text, -15),
    KELM_FIELD(DayBarRecord, ExchangeID, "exchange", Text, -8),
    KELM_FIELD(DayBarRecord, Date, "date", Text, -8),
    KELM_BAR_PRICES(DayBarRecord),
    KELM_BAR_TOTALS(DayBarRecord),
};

const Column TradeColumns[] = {
    KELM_FIELD(TradeTickRecord, MatchID, "match", Text, -24),
    KELM_FIELD(TradeTickRecord, InstrumentID, "instrument", Text, -15),
    KELM_FIELD(TradeTickRecord, Date, "date", Text, -8),
    KELM_FIELD(TradeTickRecord, Time, "time", Text, -8),
    KELM_FIELD(TradeTickRecord, BSFlag, "side", Letter, -4),
    KELM_FIELD(TradeTickRecord, Qty, "qty", Count, 8),
    KELM_FIELD(TradeTickRecord, Price, "price", Price, 10),
};

#undef KELM_BAR_TOTALS
#undef KELM_BAR_PRICES
#undef KELM_FIELD

template <class Value>
Value Read(const void* record, const Column& column)
{
    Value value;
    std::memcpy(&value, static_cast<const char*>(record) + column.Offset, sizeof value);
    return value;
}

std::string Text(const void* record, const Column& column)
{
    const char* text = static_cast<const char*>(record) + column.Offset;
    if (column.Type == FieldType::Letter)
        return *text ? std::string(1, *text) : std::string();
    return std::string(text, strnlen(text, column.Size));
}

template <class Value>
std::string Shortest(Value value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    return std::string(text, result.ptr);
}

// The field as CSV shows it: texts quoted when they hold a separator.
std::string CsvField(const void* record, const Column& column)
{
    switch (column.Type)
    {
    case FieldType::Price:
        return Shortest(Read<double>(record, column));
    case FieldType::Count:
        return Shortest(Read<int>(record, column));
    case FieldType::Total:
        return Shortest(Read<long long>(record, column));
    case FieldType::Text:
    case FieldType::Letter:
        break;
    }
    const std::string text = Text(record, column);
    if (text.find_first_of(",\"\r\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (char c : text)
        quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

nlohmann::ordered_json JsonField(const void* record, const Column& column)
{
    switch (column.Type)
    {
    case FieldType::Price:
        return Read<double>(record, column);
    case FieldType::Count:
        return Read<int>(record, column);
    case FieldType::Total:
        return Read<long long>(record, column);
    case FieldType::Text:
    case FieldType::Letter:
        break;
    }
    return Text(record, column);
}

std::string Cell(const std::string& text, int width)
{
    char cell[128];
    std::snprintf(cell, sizeof cell, "%*s", width, text.c_str());
    return cell;
}

std::string TableField(const void* record, const Column& column)
{
    char text[64];
    if (column.Type == FieldType::Price)
    {
        std::snprintf(text, sizeof text, column.Width > 10 ? "%.2f" : "%.8g", Read<double>(record, column));
        return text;
    }
    return CsvField(record, column);
}

}  // namespace

CHistoryPrinter::CHistoryPrinter(std::ostream& out, WatchFormat format, HistoryKind kind)
    : m_out(out), m_format(format), m_columns(TradeColumns), m_count(std::size(TradeColumns))
{
    if (kind == HistoryKind::Minute)
    {
        m_columns = MinuteColumns;
        m_count = std::size(MinuteColumns);
    }
    else if (kind == HistoryKind::Day)
    {
        m_columns = DayColumns;
        m_count = std::size(DayColumns);
    }
}

void CHistoryPrinter::WriteHeader()
{
    if (m_format == WatchFormat::Json)
        return;
    std::string line;
    for (std::size_t i = 0; i < m_count; ++i)
    {
        std::string name = m_format == WatchFormat::Csv ? m_columns[i].Name : m_columns[i].Key;
        if (m_format == WatchFormat::Table)
            for (char& c : name)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        line += (i ? (m_format == WatchFormat::Csv ? "," : " ") : "") +
                (m_format == WatchFormat::Csv ? name : Cell(name, m_columns[i].Width));
    }
    m_out << line << '\n';
}

void CHistoryPrinter::Write(const MinuteBarRecord& bar)
{
    WriteRecord(&bar);
}

void CHistoryPrinter::Write(const DayBarRecord& bar)
{
    WriteRecord(&bar);
}

void CHistoryPrinter::Write(const TradeTickRecord& trade)
{
    WriteRecord(&trade);
}

void CHistoryPrinter::WriteRecord(const void* record)
{
    if (m_format == WatchFormat::Json)
    {
        nlohmann::ordered_json line = nlohmann::ordered_json::object();
        for (std::size_t i = 0; i < m_count; ++i)
            line[m_columns[i].Key] = JsonField(record, m_columns[i]);
        // Texts may carry bytes that are not UTF-8 (the server's code page).
        m_out << line.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace) << '\n';
        return;
    }
    std::string line;
    for (std::size_t i = 0; i < m_count; ++i)
    {
        if (m_format == WatchFormat::Csv)
            line += (i ? "," : "") + CsvField(record, m_columns[i]);
        else
            line += (i ? " " : "") + Cell(TableField(record, m_columns[i]), m_columns[i].Width);
    }
    m_out << line << '\n';
}
