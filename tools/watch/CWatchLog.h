// The watcher's event log on standard error: one time-stamped line per
// event, and error lines "kelm-md-watch: ...". While the live table owns the
// terminal the lines are held (the table shows the latest) and written out
// when it ends, so that none is drawn over and all stay readable.
#ifndef KELM_TOOLS_WATCH_CWATCHLOG_H
#define KELM_TOOLS_WATCH_CWATCHLOG_H

#include <deque>
#include <ostream>
#include <string>
#include <vector>

class CWatchLog
{
public:
    CWatchLog(std::ostream& out, bool hold);

    // "HH:MM:SS.mmm text"
    void Event(const std::string& text);
    // "kelm-md-watch: text"
    void Error(const std::string& text);
    // Lines as they are (the summary).
    void Text(const std::string& text);

    // The latest lines, oldest first.
    const std::deque<std::string>& Recent() const { return m_recent; }

    // Writes what was held and writes through from then on.
    void Release();

private:
    void Line(const std::string& line);

    std::ostream& m_out;
    bool m_hold;
    std::vector<std::string> m_held;
    std::deque<std::string> m_recent;
};

#endif
