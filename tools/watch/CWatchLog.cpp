#include "CWatchLog.h"

#include "LocalTimeText.h"

namespace
{

constexpr std::size_t RecentLines = 20;

}  // namespace

CWatchLog::CWatchLog(std::ostream& out, bool hold) : m_out(out), m_hold(hold) {}

void CWatchLog::Event(const std::string& text)
{
    Line(LocalTimeText() + " " + text);
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
