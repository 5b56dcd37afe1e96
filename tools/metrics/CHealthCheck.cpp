#include "CHealthCheck.h"

#include <cstdio>

namespace
{

std::string Seconds(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", value);
    return text;
}

}  // namespace

CHealthCheck::CHealthCheck(std::shared_ptr<const CLinkMetrics> link, double maxQuoteAge)
    : m_link(std::move(link)), m_maxQuoteAge(maxQuoteAge)
{
}

CMetricsServer::Health CHealthCheck::Check() const
{
    if (!m_link->Up())
        return {false, "link down: not connected to a quote server"};
    if (!m_link->LoggedIn())
        return {false, "connected but not logged in"};
    const double age = m_link->SecondsSinceQuote();
    if (m_maxQuoteAge > 0 && age > m_maxQuoteAge)
        return {false, "no quote for " + Seconds(age) + " (limit " + Seconds(m_maxQuoteAge) + ")"};
    return {true, "ok: logged in, " + Seconds(age) + " since the last quote (or the start)"};
}
