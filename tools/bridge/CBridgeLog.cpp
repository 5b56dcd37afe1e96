#include "CBridgeLog.h"

#include "LocalTimeText.h"

void CBridgeLog::Line(const std::string& text)
{
    const std::string stamp = Now();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_out << stamp << " " << text << std::endl;
}

void CBridgeLog::Error(const std::string& text)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_out << "kelm-md-bridge: " << text << std::endl;
}

std::string CBridgeLog::Now(bool withDate)
{
    return LocalTimeText(withDate);
}
