// The link's figures as the library counts them, for the end of the live
// table's status line: packages per second (over the last second or more),
// bytes received, the age of the last byte and the connections made.
#ifndef KELM_TOOLS_WATCH_CLINKFIGURES_H
#define KELM_TOOLS_WATCH_CLINKFIGURES_H

#include <chrono>
#include <string>

#include <KelmRivoMdExtension.h>

class CLinkFigures
{
public:
    using Clock = std::chrono::steady_clock;

    // "; 52 pkg/s, 1.3 MB in, last byte 0.1 s ago, 1 connection"
    std::string Text(const LinkStatsRecord& stats, Clock::time_point now);

private:
    long long m_packages = 0;  // at m_sampled
    Clock::time_point m_sampled;
    double m_rate = 0;
    bool m_sampledOnce = false;
};

#endif
