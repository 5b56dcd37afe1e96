#include "CWatchLog.h"

#include <chrono>
#include <cstdio>
#include <ctime>

namespace
{

constexpr std::size_t RecentLines = 20;

std::string Now()
{
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d.%03d", local.tm_hour, local.tm_min, local.tm_sec,
                  static_cast<int>(millis));
    return text;
}

}  // namespace

CWatchLog::CWatchLog(std::ostream& out, bool hold) : m_out(out), m_hold(hold) {}

void CWatchLog::Event(const std::string& text)
{
    Line(Now() + " " + text);
}

void CWatchLog::Error(const std::string& text)
{
    Line("kelm-md-watch: " + text);
}

void CWatchLog::Text(const std::string& text)
{
    if (m_hold)
        m_held.push_back(text);
    else
        m_out << text << std::flush;
}

void CWatchLog::Line(const std::string& line)
{
    m_recent.push_back(line);
    if (m_recent.size() > RecentLines)
        m_recent.pop_front();
    Text(line + "\n");
}

void CWatchLog::Release()
{
    m_hold = false;
    for (const std::string& text : m_held)
        m_out << text;
    m_out << std::flush;
    m_held.clear();
}
