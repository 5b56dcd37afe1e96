#include "CQuoteCsv.h"

#include <charconv>
#include <cstddef>
#include <cstring>
#include <vector>

namespace
{

enum class Kind
{
    Text,
    Price,
    Quantity
};

struct Column
{
    const char* Name;
    Kind Type;
    std::size_t Offset;
    std::size_t Size;  // texts: the field's width including the terminator
};

#define KELM_CSV_TEXT(field) Column{#field, Kind::Text, offsetof(MarketDepthRecord, field), sizeof(MarketDepthRecord::field)}
#define KELM_CSV_PRICE(field) Column{#field, Kind::Price, offsetof(MarketDepthRecord, field), sizeof(double)}
#define KELM_CSV_QTY(field) Column{#field, Kind::Quantity, offsetof(MarketDepthRecord, field), sizeof(int)}
#define KELM_CSV_LEVEL(n) \
    KELM_CSV_PRICE(BidPrice##n), KELM_CSV_QTY(BidQty##n), KELM_CSV_PRICE(AskPrice##n), KELM_CSV_QTY(AskQty##n)

const Column Columns[] = {
    KELM_CSV_TEXT(InstrumentID), KELM_CSV_TEXT(ExchangeID),   KELM_CSV_TEXT(TradeDate),
    KELM_CSV_TEXT(ModifyDate),   KELM_CSV_TEXT(ModifyTime),   KELM_CSV_PRICE(Price),
    KELM_CSV_PRICE(PreSettle),   KELM_CSV_PRICE(PreClose),    KELM_CSV_PRICE(PreOI),
    KELM_CSV_PRICE(OpenPrice),   KELM_CSV_PRICE(HighestPrice), KELM_CSV_PRICE(LowestPrice),
    KELM_CSV_QTY(QtyTotal),      KELM_CSV_PRICE(Amount),      KELM_CSV_PRICE(OI),
    KELM_CSV_PRICE(SettlePrice), KELM_CSV_PRICE(HighLimit),   KELM_CSV_PRICE(LowLimit),
    KELM_CSV_LEVEL(1),           KELM_CSV_LEVEL(2),           KELM_CSV_LEVEL(3),
    KELM_CSV_LEVEL(4),           KELM_CSV_LEVEL(5),
};

#undef KELM_CSV_LEVEL
#undef KELM_CSV_QTY
#undef KELM_CSV_PRICE
#undef KELM_CSV_TEXT

// Texts with a comma, quote or line break are quoted, quotes doubled.
void AppendText(std::string& out, const char* text)
{
    if (std::strpbrk(text, ",\"\r\n") == nullptr)
    {
        out += text;
        return;
    }
    out += '"';
    for (const char* c = text; *c != '\0'; ++c)
        out += *c == '"' ? std::string("\"\"") : std::string(1, *c);
    out += '"';
}

void AppendNumber(std::string& out, double value)
{
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

void AppendNumber(std::string& out, int value)
{
    char text[16];
    const auto result = std::to_chars(text, text + sizeof text, value);
    out.append(text, result.ptr);
}

bool SplitFields(const std::string& line, std::vector<std::string>& fields)
{
    fields.assign(1, std::string());
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i)
    {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            fields.back() += '"', ++i;
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return !quoted;
}

template <typename T>
bool ParseNumber(const std::string& text, T& value)
{
    const char* end = text.data() + text.size();
    const auto result = std::from_chars(text.data(), end, value);
    return result.ec == std::errc() && result.ptr == end;
}

}  // namespace

const std::string& CQuoteCsv::Header()
{
    static const std::string header = [] {
        std::string text;
        for (const Column& column : Columns)
            text += (text.empty() ? "" : ",") + std::string(column.Name);
        return text;
    }();
    return header;
}

std::string CQuoteCsv::Format(const MarketDepthRecord& quote)
{
    const char* base = reinterpret_cast<const char*>(&quote);
    std::string line;
    for (const Column& column : Columns)
    {
        if (&column != Columns)
            line += ',';
        if (column.Type == Kind::Text)
        {
            // Bounded, in case a field is filled to its end.
            const std::string text(base + column.Offset, strnlen(base + column.Offset, column.Size));
            AppendText(line, text.c_str());
        }
        else if (column.Type == Kind::Price)
        {
            double value = 0;
            std::memcpy(&value, base + column.Offset, sizeof value);
            AppendNumber(line, value);
        }
        else
        {
            int value = 0;
            std::memcpy(&value, base + column.Offset, sizeof value);
            AppendNumber(line, value);
        }
    }
    return line;
}

bool CQuoteCsv::Parse(const std::string& line, MarketDepthRecord& quote, std::string& error)
{
    std::vector<std::string> fields;
    if (!SplitFields(line, fields))
    {
        error = "unterminated quoted text";
        return false;
    }
    constexpr std::size_t columnCount = sizeof Columns / sizeof Columns[0];
    if (fields.size() != columnCount)
    {
        error = "expected " + std::to_string(columnCount) + " columns, found " + std::to_string(fields.size());
        return false;
    }
    std::memset(&quote, 0, sizeof quote);
    char* base = reinterpret_cast<char*>(&quote);
    for (std::size_t i = 0; i < columnCount; ++i)
    {
        const Column& column = Columns[i];
        const std::string& field = fields[i];
        bool ok = true;
        if (column.Type == Kind::Text)
        {
            ok = field.size() < column.Size;
            if (ok)
                std::memcpy(base + column.Offset, field.c_str(), field.size() + 1);
        }
        else if (column.Type == Kind::Price)
        {
            double value = 0;
            ok = ParseNumber(field, value);
            std::memcpy(base + column.Offset, &value, sizeof value);
        }
        else
        {
            int value = 0;
            ok = ParseNumber(field, value);
            std::memcpy(base + column.Offset, &value, sizeof value);
        }
        if (!ok)
        {
            error = std::string("bad value '") + field + "' in column " + column.Name;
            return false;
        }
    }
    return true;
}
