// A real Prometheus server for a test: a scratch storage folder, a
// generated configuration that scrapes one target every second, and a free
// loopback port for its HTTP API.
#ifndef KELM_TESTS_METRICS_PROMETHEUSSERVER_H
#define KELM_TESTS_METRICS_PROMETHEUSSERVER_H

#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>

#include <boost/asio/ip/tcp.hpp>
#include <nlohmann/json.hpp>

#include "metrics/HttpClient.h"
#include "sim/SimProcess.h"

namespace metricstest
{

inline uint16_t FreeLoopbackPort()
{
    boost::asio::io_context io;
    boost::asio::ip::tcp::acceptor acceptor(
        io, boost::asio::ip::tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0));
    return acceptor.local_endpoint().port();
}

class PrometheusServer
{
public:
    PrometheusServer(const std::string& program, uint16_t targetPort)
    {
        std::string dir = (std::filesystem::temp_directory_path() / "kelm-prometheus-XXXXXX").string();
        if (::mkdtemp(dir.data()) == nullptr)
            return;
        m_dir = dir;
        std::ofstream(m_dir + "/prometheus.yml") << "global:\n"
                                                    "  scrape_interval: 1s\n"
                                                    "  scrape_timeout: 1s\n"
                                                    "scrape_configs:\n"
                                                    "  - job_name: kelm\n"
                                                    "    static_configs:\n"
                                                    "      - targets: ['127.0.0.1:"
                                                 << targetPort << "']\n";
        // The port may be taken between the probe and the start: try again.
        for (int attempt = 0; attempt < 5 && !m_process; ++attempt)
            Launch(program);
    }

    ~PrometheusServer()
    {
        m_process.reset();
        if (!m_dir.empty())
            std::filesystem::remove_all(m_dir);
    }

    bool Running() const { return m_process != nullptr; }
    std::string Log() const
    {
        std::ifstream in(m_dir + "/prometheus.log");
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // The value of an instant query with one result, or -1 (no such
    // series yet, or not one result).
    double Query(const std::string& expression) const
    {
        const HttpAnswer answer = HttpGet(m_port, "/api/v1/query?query=" + UrlEncode(expression));
        if (answer.Status != 200)
            return -1;
        const auto json = nlohmann::json::parse(answer.Body, nullptr, false);
        if (json.is_discarded() || json["data"]["result"].size() != 1)
            return -1;
        return std::stod(json["data"]["result"][0]["value"][1].get<std::string>());
    }

    // Polls the query until pass(value) holds; the last value seen.
    template <typename Pass>
    double WaitFor(const std::string& expression, Pass pass, std::chrono::seconds timeout = std::chrono::seconds(60))
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        double value = Query(expression);
        while (!pass(value) && std::chrono::steady_clock::now() < deadline)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            value = Query(expression);
        }
        return value;
    }

private:
    void Launch(const std::string& program)
    {
        m_port = FreeLoopbackPort();
        auto process = std::make_unique<simtest::Process>(
            program,
            std::vector<std::string>{"--config.file=" + m_dir + "/prometheus.yml",
                                     "--storage.tsdb.path=" + m_dir + "/data",
                                     "--web.listen-address=127.0.0.1:" + std::to_string(m_port)},
            false, m_dir + "/prometheus.log");
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline && process->Running())
        {
            if (HttpGet(m_port, "/-/ready").Status == 200)
            {
                m_process = std::move(process);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }

    std::string m_dir;
    uint16_t m_port = 0;
    std::unique_ptr<simtest::Process> m_process;
};

}  // namespace metricstest

#endif
