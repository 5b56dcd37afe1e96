// Lines to standard error from any thread: the time of day to the
// millisecond, then the text; errors as "kelm-md-bridge: ..." without time.
#ifndef KELM_TOOLS_BRIDGE_CBRIDGELOG_H
#define KELM_TOOLS_BRIDGE_CBRIDGELOG_H

#include <mutex>
#include <ostream>
#include <string>

class CBridgeLog
{
public:
    explicit CBridgeLog(std::ostream& out) : m_out(out) {}

    void Line(const std::string& text);
    void Error(const std::string& text);

    // Local time as HH:MM:SS.mmm, or with the date (YYYY-MM-DDTHH:MM:SS.mmm).
    static std::string Now(bool withDate = false);

private:
    std::mutex m_mutex;
    std::ostream& m_out;
};

#endif
