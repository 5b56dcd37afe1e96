// Builds the families of one scrape from values read at that moment: a
// family per name, one sample per label set, in the order added.
#ifndef KELM_TOOLS_METRICS_CMETRICFAMILIES_H
#define KELM_TOOLS_METRICS_CMETRICFAMILIES_H

#include <string>
#include <utility>
#include <vector>

#include <prometheus/metric_family.h>

class CMetricFamilies
{
public:
    using Labels = std::vector<std::pair<std::string, std::string>>;

    void Counter(const std::string& name, const std::string& help, double value, const Labels& labels = {});
    void Gauge(const std::string& name, const std::string& help, double value, const Labels& labels = {});
    void Histogram(const std::string& name, const std::string& help, prometheus::ClientMetric::Histogram histogram,
                   const Labels& labels = {});

    std::vector<prometheus::MetricFamily> Take() { return std::move(m_families); }

private:
    prometheus::ClientMetric& Sample(const std::string& name, const std::string& help, prometheus::MetricType type,
                                     const Labels& labels);
    prometheus::MetricFamily& Family(const std::string& name, const std::string& help, prometheus::MetricType type);

    std::vector<prometheus::MetricFamily> m_families;
};

#endif
