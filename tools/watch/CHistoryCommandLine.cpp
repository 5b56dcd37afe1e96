#include "CHistoryCommandLine.h"

#include <stdexcept>

namespace
{

bool Digits(const std::string& text, std::size_t from, std::size_t count)
{
    if (text.size() < from + count)
        return false;
    for (std::size_t i = from; i < from + count; ++i)
        if (text[i] < '0' || text[i] > '9')
            return false;
    return true;
}

int Number(const std::string& text, std::size_t from, std::size_t count)
{
    return std::stoi(text.substr(from, count));
}

// YYYYMMDD, a day of the calendar.
bool IsDate(const std::string& text)
{
    if (text.size() != 8 || !Digits(text, 0, 8))
        return false;
    const int year = Number(text, 0, 4);
    const int month = Number(text, 4, 2);
    const int day = Number(text, 6, 2);
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int days[] = {31, leap ? 29 : 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month >= 1 && month <= 12 && day >= 1 && day <= days[month - 1];
}

// HH:MM or HH:MM:SS.
bool IsTime(const std::string& text)
{
    if ((text.size() != 5 && text.size() != 8) || !Digits(text, 0, 2) || text[2] != ':' || !Digits(text, 3, 2))
        return false;
    if (text.size() == 8 && (text[5] != ':' || !Digits(text, 6, 2) || Number(text, 6, 2) > 59))
        return false;
    return Number(text, 0, 2) <= 23 && Number(text, 3, 2) <= 59;
}

void CheckDate(const std::string& text, const char* option)
{
    if (!IsDate(text))
        throw std::invalid_argument(std::string(option) + " takes a day YYYYMMDD, not '" + text + "'");
}

// YYYYMMDD or "YYYYMMDD HH:MM[:SS]"; a bare day becomes its first or last
// second.
std::string MinuteEnd(const std::string& text, const char* option, const char* dayTime)
{
    const std::string day = text.substr(0, 8);
    if (IsDate(day) && text.size() == 8)
        return day + dayTime;
    if (!IsDate(day) || text.size() < 10 || text[8] != ' ' || !IsTime(text.substr(9)))
        throw std::invalid_argument(std::string(option) + " takes YYYYMMDD or 'YYYYMMDD HH:MM[:SS]', not '" + text +
                                    "'");
    return text;
}

}  // namespace

HistoryKind CHistoryCommandLine::ParseKind(const std::string& text)
{
    if (text == "minute")
        return HistoryKind::Minute;
    if (text == "day")
        return HistoryKind::Day;
    if (text == "trades")
        return HistoryKind::Trades;
    throw std::invalid_argument("--history must be minute, day or trades, not '" + text + "'");
}

void CHistoryCommandLine::Complete(WatchOptions& options, bool serviceGiven)
{
    if (options.History == HistoryKind::None)
    {
        if (!options.From.empty() || !options.To.empty() || serviceGiven)
            throw std::invalid_argument("--from, --to and --service go with --history");
        return;
    }
    if (!options.To.empty() && options.From.empty())
        throw std::invalid_argument("--to needs --from");
    if (serviceGiven && options.History != HistoryKind::Minute)
        throw std::invalid_argument("--service chooses among the minute-data services: it goes with --history minute");
    if (options.Service != 150 && options.Service != 192 && options.Service != 194)
        throw std::invalid_argument("--service must be 150, 192 or 194");
    switch (options.History)
    {
    case HistoryKind::Trades:
        if (!options.To.empty())
            throw std::invalid_argument("--history trades takes one day, --from, and no --to");
        if (!options.From.empty())
            CheckDate(options.From, "--from");
        break;
    case HistoryKind::Day:
        if (options.From.empty())
            break;
        CheckDate(options.From, "--from");
        if (options.To.empty())
            options.To = options.From;
        CheckDate(options.To, "--to");
        break;
    case HistoryKind::Minute:
        if (options.From.empty())
            break;
        if (options.To.empty())
            options.To = options.From.substr(0, 8);
        options.From = MinuteEnd(options.From, "--from", " 00:00:00");
        options.To = MinuteEnd(options.To, "--to", " 23:59:59");
        break;
    case HistoryKind::None:
        break;
    }
}

const char* CHistoryCommandLine::RecordsName(HistoryKind kind)
{
    switch (kind)
    {
    case HistoryKind::Minute:
        return "minute bars";
    case HistoryKind::Day:
        return "day bars";
    case HistoryKind::Trades:
        return "trades";
    case HistoryKind::None:
        break;
    }
    return "quotes";
}
