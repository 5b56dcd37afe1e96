// What a tool puts behind its endpoint: the link's and the bridge's metrics
// and the build information, served on a free loopback port.
#ifndef KELM_TESTS_METRICS_TOOLMETRICS_H
#define KELM_TESTS_METRICS_TOOLMETRICS_H

#include <memory>
#include <string>
#include <vector>

#include "CBridgeMetrics.h"
#include "CLinkMetrics.h"
#include "CMetricsServer.h"

namespace metricstest
{

struct ToolMetrics
{
    explicit ToolMetrics(const std::vector<std::string>& instruments, CLinkMetrics::Sampler sampler = nullptr)
        : Link(std::make_shared<CLinkMetrics>(instruments, std::move(sampler))),
          Bridge(std::make_shared<CBridgeMetrics>()),
          Server("127.0.0.1:0")
    {
        Server.Add(Link);
        Server.Add(Bridge);
        Server.AddBuildInfo("6.6.9", "V6_6_9");
    }

    std::shared_ptr<CLinkMetrics> Link;
    std::shared_ptr<CBridgeMetrics> Bridge;
    CMetricsServer Server;
};

}  // namespace metricstest

#endif
