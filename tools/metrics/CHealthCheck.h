// The health of a tool's quote link, for /healthz: healthy while the link
// is up, logged in, and a quote came within the given time. A load balancer
// or a supervisor asks it; it only reads the link's atomics.
#ifndef KELM_TOOLS_METRICS_CHEALTHCHECK_H
#define KELM_TOOLS_METRICS_CHEALTHCHECK_H

#include <memory>

#include "CLinkMetrics.h"
#include "CMetricsServer.h"

class CHealthCheck
{
public:
    // maxQuoteAge: seconds; 0 leaves the quotes out (a market that is
    // closed for the night sends none).
    CHealthCheck(std::shared_ptr<const CLinkMetrics> link, double maxQuoteAge);

    CMetricsServer::Health Check() const;

private:
    const std::shared_ptr<const CLinkMetrics> m_link;
    const double m_maxQuoteAge;
};

#endif
