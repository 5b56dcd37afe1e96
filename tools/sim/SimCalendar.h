// Calendar arithmetic on day numbers (days since 1970-01-01) for the
// simulator's dates, without time zones: trading days and bar times are
// plain civil dates and clock times.
#ifndef KELM_TOOLS_SIM_SIMCALENDAR_H
#define KELM_TOOLS_SIM_SIMCALENDAR_H

#include <cstdint>
#include <string>

namespace SimCalendar
{

int64_t DaysFromCivil(int year, unsigned month, unsigned day);
// "YYYY-MM-DD" (or "YYYYMMDD" with dashless = true); false on anything else.
bool ParseDate(const std::string& text, int64_t& days, bool dashless = false);
std::string FormatDate(int64_t days, bool dashless = false);
// 0 = Monday .. 6 = Sunday.
int Weekday(int64_t days);
// "YYYY-MM-DD HH:MM[:SS]" -> minutes since the epoch.
bool ParseDateTime(const std::string& text, int64_t& minutes);
std::string FormatDateTime(int64_t minutes);
// "HH:MM:SS" of a second of the day.
std::string FormatTime(int64_t secondOfDay);
// "HH:MM:SS" -> second of the day.
bool ParseTime(const std::string& text, int64_t& secondOfDay);
// The local date and time of day now.
int64_t Today();
int64_t SecondOfDayNow();

}  // namespace SimCalendar

#endif
