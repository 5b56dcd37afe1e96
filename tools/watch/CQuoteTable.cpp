#include "CQuoteTable.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{

constexpr const char* Home = "\x1b[H";
constexpr const char* ClearLine = "\x1b[K";
constexpr const char* ClearBelow = "\x1b[J";
// Events shown below the rows when the height allows.
constexpr std::size_t MaxEvents = 6;

struct Column
{
    const char* Title;
    int Width;
    bool Left;
};

// INSTRUMENT and STATE always fit; the others are cut from the right.
constexpr Column Columns[] = {
    {"INSTRUMENT", 15, true}, {"STATE", 7, true},  {"LAST", 10, false},   {"CHANGE", 9, false},
    {"BID", 10, false},       {"BIDQTY", 6, false}, {"ASK", 10, false},    {"ASKQTY", 6, false},
    {"VOLUME", 10, false},    {"OI", 10, false},    {"TIME", 8, true},     {"Q/S", 6, false},
};
constexpr std::size_t ColumnCount = sizeof Columns / sizeof Columns[0];

const char* StateName(CWatchStats::State state)
{
    switch (state)
    {
    case CWatchStats::State::Waiting:
        return "waiting";
    case CWatchStats::State::Live:
        return "live";
    case CWatchStats::State::Stale:
        return "STALE";
    case CWatchStats::State::Refused:
        return "REFUSED";
    }
    return "";
}

std::string Number(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// The cells of a row with quotes, in column order after INSTRUMENT and STATE.
std::vector<std::string> QuoteCells(const CWatchStats::Instrument& instrument, double rate)
{
    const MarketDepthRecord& q = instrument.Last;
    // Change against the previous settlement, or the previous close when
    // there is none.
    const double reference = q.PreSettle != 0 ? q.PreSettle : q.PreClose;
    const double change = reference != 0 ? q.Price - reference : 0;
    return {Number("%.8g", q.Price),     Number("%+.6g", change),    Number("%.8g", q.BidPrice1),
            std::to_string(q.BidQty1),   Number("%.8g", q.AskPrice1), std::to_string(q.AskQty1),
            std::to_string(q.QtyTotal),  Number("%.0f", q.OI),        q.ModifyTime,
            Number("%.0f", rate)};
}

// The columns that fit in width (all of them when width is 0).
std::size_t FittingColumns(int width)
{
    std::size_t count = 0;
    int used = -1;
    while (count < ColumnCount && (width <= 0 || count < 2 || used + 1 + Columns[count].Width <= width))
        used += 1 + Columns[count++].Width;
    return count;
}

std::string Cell(const std::string& text, const Column& column)
{
    char cell[128];
    std::snprintf(cell, sizeof cell, column.Left ? "%-*s" : "%*s", column.Width, text.c_str());
    return cell;
}

std::string Row(const std::vector<std::string>& cells, std::size_t columns)
{
    std::string line;
    for (std::size_t i = 0; i < columns && i < cells.size(); ++i)
        line += (i ? " " : "") + Cell(cells[i], Columns[i]);
    return line;
}

std::string InstrumentRow(const std::string& code, const TableFrame& frame, std::size_t columns)
{
    const CWatchStats::Instrument& instrument = frame.Stats.Get(code);
    const CWatchStats::State state = CWatchStats::StateOf(instrument, frame.Connection, frame.LoggedIn);
    std::vector<std::string> cells = {code, StateName(state)};
    if (state == CWatchStats::State::Refused)
        return Row(cells, columns) + " " + instrument.Refusal;  // the answer runs across the number columns
    if (instrument.Count == 0)
        cells.push_back("-");
    else
    {
        const std::vector<std::string> quote = QuoteCells(instrument, CWatchStats::Rate(instrument, frame.Now));
        cells.insert(cells.end(), quote.begin(), quote.end());
    }
    return Row(cells, columns);
}

std::string Cut(const std::string& line, int width)
{
    return width > 0 && line.size() > static_cast<std::size_t>(width) ? line.substr(0, static_cast<std::size_t>(width))
                                                                       : line;
}

}  // namespace

std::string CQuoteTable::Render(const TableFrame& frame)
{
    const std::size_t columns = FittingColumns(frame.Width);
    std::vector<std::string> header;
    for (const Column& column : Columns)
        header.push_back(column.Title);

    // Status and header always; up to three events keep their place while a
    // row fits besides them; rows take the rest, and events what rows leave.
    const std::vector<std::string>& codes = frame.Stats.Order();
    const std::size_t events = std::min(frame.Events.size(), MaxEvents);
    std::size_t rows = codes.size();
    std::size_t shownEvents = events;
    if (frame.Height > 0)
    {
        const std::size_t room = static_cast<std::size_t>(std::max(frame.Height - 2, 1));
        const std::size_t reserved = std::min(events, std::min<std::size_t>(3, room - 1));
        if (rows > room - reserved)
            rows = room - reserved - 1;  // the last line says how many more
        shownEvents = std::min(events, room - rows - (rows < codes.size() ? 1 : 0));
    }

    std::vector<std::string> lines = {frame.Status, Row(header, columns)};
    for (std::size_t i = 0; i < rows; ++i)
        lines.push_back(InstrumentRow(codes[i], frame, columns));
    if (rows < codes.size())
        lines.push_back("+" + std::to_string(codes.size() - rows) + " more");
    for (std::size_t i = frame.Events.size() - shownEvents; i < frame.Events.size(); ++i)
        lines.push_back(frame.Events[i]);

    // The last line ends without a line feed: on the terminal's bottom line
    // one would scroll the view.
    std::string view = Home;
    for (std::size_t i = 0; i < lines.size(); ++i)
        view += Cut(lines[i], frame.Width) + ClearLine + (i + 1 < lines.size() ? "\n" : "");
    return view + ClearBelow;
}
