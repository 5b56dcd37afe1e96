#include "CMetricFamilies.h"

void CMetricFamilies::Counter(const std::string& name, const std::string& help, double value, const Labels& labels)
{
    Sample(name, help, prometheus::MetricType::Counter, labels).counter.value = value;
}

void CMetricFamilies::Gauge(const std::string& name, const std::string& help, double value, const Labels& labels)
{
    Sample(name, help, prometheus::MetricType::Gauge, labels).gauge.value = value;
}

void CMetricFamilies::Histogram(const std::string& name, const std::string& help,
                                prometheus::ClientMetric::Histogram histogram, const Labels& labels)
{
    Sample(name, help, prometheus::MetricType::Histogram, labels).histogram = std::move(histogram);
}

prometheus::ClientMetric& CMetricFamilies::Sample(const std::string& name, const std::string& help,
                                                  prometheus::MetricType type, const Labels& labels)
{
    prometheus::MetricFamily& family = Family(name, help, type);
    family.metric.emplace_back();
    for (const auto& [label, value] : labels)
        family.metric.back().label.push_back({label, value});
    return family.metric.back();
}

prometheus::MetricFamily& CMetricFamilies::Family(const std::string& name, const std::string& help,
                                                  prometheus::MetricType type)
{
    // Samples of one family are added together, so the last family is
    // almost always the one.
    for (auto it = m_families.rbegin(); it != m_families.rend(); ++it)
        if (it->name == name)
            return *it;
    m_families.push_back({name, help, type, {}});
    return m_families.back();
}
