// The files an operator installs beside the tools: the example alert rules
// (checked and unit-tested by promtool) and the Grafana dashboard. Both
// must name only metrics the tools expose.
#include <fstream>
#include <iterator>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "metrics/Promtool.h"
#include "metrics/ToolMetrics.h"

namespace
{

const std::string Rules = KELM_SOURCE_DIR "/packaging/prometheus/kelm-md-alerts.yml";
const std::string RulesTest = KELM_SOURCE_DIR "/tests/metrics/alerts-test.yml";
const std::string Dashboard = KELM_SOURCE_DIR "/packaging/grafana/kelm-md.json";

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Every series name a tool can expose: the families' names, with the
// _bucket, _count and _sum series of the histograms.
std::set<std::string> ExposedSeries()
{
    LinkFigures figures;
    figures.LastByteAgeSeconds = 1;
    figures.Address = "tcp://127.0.0.1:7000";
    const metricstest::ToolMetrics tool({"au2406"}, [figures] { return figures; });
    std::set<std::string> series;
    std::istringstream exposition(tool.Server.Exposition());
    for (std::string line; std::getline(exposition, line);)
    {
        std::istringstream words(line);
        std::string hash, keyword, name, type;
        if (!(words >> hash >> keyword >> name >> type) || hash != "#" || keyword != "TYPE")
            continue;
        series.insert(name);
        if (type == "histogram")
            series.insert({name + "_bucket", name + "_count", name + "_sum"});
    }
    return series;
}

std::set<std::string> NamedMetrics(const std::string& text)
{
    std::set<std::string> names;
    const std::regex metric("kelm_[a-z0-9_]+");
    for (std::sregex_iterator it(text.begin(), text.end(), metric); it != std::sregex_iterator(); ++it)
        names.insert(it->str());
    return names;
}

TEST(OperationsFiles, AlertRulesAreValidAndFireWhenTheyShould)
{
    if (std::string(KELM_PROMTOOL_PATH).empty())
        GTEST_SKIP() << "promtool is not installed (Debian package prometheus): alert rules not checked";
    const metricstest::PromtoolRun check = metricstest::Promtool("check rules '" + Rules + "'");
    EXPECT_EQ(check.Status, 0) << check.Output;
    EXPECT_NE(check.Output.find("SUCCESS: 2 rules found"), std::string::npos) << check.Output;
    const metricstest::PromtoolRun test = metricstest::Promtool("test rules '" + RulesTest + "'");
    EXPECT_EQ(test.Status, 0) << test.Output;
}

TEST(OperationsFiles, RulesAndDashboardNameOnlyExposedMetrics)
{
    const std::set<std::string> exposed = ExposedSeries();
    ASSERT_GT(exposed.size(), 20u);
    for (const std::string& path : {Rules, Dashboard})
    {
        const std::set<std::string> named = NamedMetrics(ReadFile(path));
        EXPECT_FALSE(named.empty()) << path;
        for (const std::string& name : named)
            EXPECT_EQ(exposed.count(name), 1u) << path << " names " << name << ", which no tool exposes";
    }

    // Every query goes to the data source the user picks.
    const auto dashboard = nlohmann::json::parse(ReadFile(Dashboard));
    bool chooser = false;
    for (const auto& variable : dashboard["templating"]["list"])
        chooser = chooser || (variable["type"] == "datasource" && variable["query"] == "prometheus" &&
                              variable["name"] == "datasource");
    EXPECT_TRUE(chooser) << "no Prometheus data source variable";
    int queries = 0;
    for (const auto& panel : dashboard["panels"])
    {
        if (panel["type"] == "row")
            continue;
        EXPECT_FALSE(panel["targets"].empty()) << panel["title"];
        for (const auto& target : panel["targets"])
        {
            ++queries;
            EXPECT_EQ(target["datasource"]["uid"], "${datasource}") << panel["title"];
        }
    }
    EXPECT_GE(queries, 14);
}

}  // namespace
