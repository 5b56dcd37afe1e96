#include "SimCalendar.h"

#include <cstdio>
#include <ctime>

namespace SimCalendar
{

// Howard Hinnant's days-from-civil algorithm on the proleptic Gregorian
// calendar.
int64_t DaysFromCivil(int year, unsigned month, unsigned day)
{
    year -= month <= 2;
    const int64_t era = (year >= 0 ? year : year - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(year - era * 400);
    const unsigned doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

namespace
{

void CivilFromDays(int64_t z, int& year, unsigned& month, unsigned& day)
{
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = doy - (153 * mp + 2) / 5 + 1;
    month = mp < 10 ? mp + 3 : mp - 9;
    year = static_cast<int>(static_cast<int64_t>(yoe) + era * 400 + (month <= 2));
}

bool ValidDate(int year, unsigned month, unsigned day)
{
    if (year < 1900 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    int y = 0;
    unsigned m = 0, d = 0;
    CivilFromDays(DaysFromCivil(year, month, day), y, m, d);
    return y == year && m == month && d == day;
}

}  // namespace

bool ParseDate(const std::string& text, int64_t& days, bool dashless)
{
    int year = 0;
    unsigned month = 0, day = 0;
    int consumed = 0;
    const char* format = dashless ? "%4d%2u%2u%n" : "%4d-%2u-%2u%n";
    if (std::sscanf(text.c_str(), format, &year, &month, &day, &consumed) != 3 ||
        consumed != static_cast<int>(text.size()) || text.size() != (dashless ? 8u : 10u) ||
        !ValidDate(year, month, day))
        return false;
    days = DaysFromCivil(year, month, day);
    return true;
}

std::string FormatDate(int64_t days, bool dashless)
{
    int year = 0;
    unsigned month = 0, day = 0;
    CivilFromDays(days, year, month, day);
    char text[16];
    std::snprintf(text, sizeof text, dashless ? "%04d%02u%02u" : "%04d-%02u-%02u", year, month, day);
    return text;
}

int Weekday(int64_t days)
{
    // 1970-01-01 was a Thursday.
    return static_cast<int>(((days % 7) + 7 + 3) % 7);
}

bool ParseDateTime(const std::string& text, int64_t& minutes)
{
    int64_t days = 0;
    int64_t second = 0;
    if (text.size() < 16 || !ParseDate(text.substr(0, 10), days) || text[10] != ' ')
        return false;
    const std::string time = text.substr(11);
    if (!ParseTime(time.size() == 5 ? time + ":00" : time, second))
        return false;
    minutes = days * 1440 + second / 60;
    return true;
}

std::string FormatDateTime(int64_t minutes)
{
    const int64_t days = minutes >= 0 ? minutes / 1440 : (minutes - 1439) / 1440;
    return FormatDate(days) + " " + FormatTime((minutes - days * 1440) * 60);
}

std::string FormatTime(int64_t secondOfDay)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", static_cast<int>(secondOfDay / 3600),
                  static_cast<int>(secondOfDay / 60 % 60), static_cast<int>(secondOfDay % 60));
    return text;
}

bool ParseTime(const std::string& text, int64_t& secondOfDay)
{
    unsigned h = 0, m = 0, s = 0;
    int consumed = 0;
    if (text.size() != 8 || std::sscanf(text.c_str(), "%2u:%2u:%2u%n", &h, &m, &s, &consumed) != 3 ||
        consumed != 8 || h > 23 || m > 59 || s > 59)
        return false;
    secondOfDay = h * 3600 + m * 60 + s;
    return true;
}

int64_t Today()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return DaysFromCivil(local.tm_year + 1900, static_cast<unsigned>(local.tm_mon + 1),
                         static_cast<unsigned>(local.tm_mday));
}

int64_t SecondOfDayNow()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_hour * 3600 + local.tm_min * 60 + local.tm_sec;
}

}  // namespace SimCalendar
