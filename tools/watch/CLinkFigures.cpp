#include "CLinkFigures.h"

#include <cstdio>

namespace
{

std::string Bytes(long long bytes)
{
    const char* const units[] = {"B", "kB", "MB", "GB", "TB"};
    double value = static_cast<double>(bytes);
    std::size_t unit = 0;
    while (value >= 1000 && unit + 1 < sizeof units / sizeof units[0])
    {
        value /= 1000;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", value, units[unit]);
    return text;
}

}  // namespace

std::string CLinkFigures::Text(const LinkStatsRecord& stats, Clock::time_point now)
{
    // The rate moves on once a second, so that it can be read.
    const double elapsed = std::chrono::duration<double>(now - m_sampled).count();
    if (!m_sampledOnce || elapsed >= 1)
    {
        m_rate = m_sampledOnce ? static_cast<double>(stats.PackagesReceived - m_packages) / elapsed : 0;
        m_packages = stats.PackagesReceived;
        m_sampled = now;
        m_sampledOnce = true;
    }
    char text[160];
    std::snprintf(text, sizeof text, "; %.0f pkg/s, %s in", m_rate, Bytes(stats.BytesReceived).c_str());
    std::string line = text;
    if (stats.LastReceiveAge >= 0)
    {
        std::snprintf(text, sizeof text, ", last byte %.1f s ago", static_cast<double>(stats.LastReceiveAge) / 1e6);
        line += text;
    }
    line += ", " + std::to_string(stats.ConnectionsMade) + (stats.ConnectionsMade == 1 ? " connection" : " connections");
    return line;
}
