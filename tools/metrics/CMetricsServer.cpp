#include "CMetricsServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <civetweb.h>
#include <prometheus/gauge.h>
#include <prometheus/text_serializer.h>

namespace
{

constexpr const char* ExpositionType = "text/plain; version=0.0.4; charset=utf-8";
constexpr const char* PlainType = "text/plain; charset=utf-8";

// Splits HOST:PORT; false with a reason.
bool SplitAddress(const std::string& address, std::string& host, unsigned long& port, std::string& error)
{
    error = "malformed metrics address '" + address +
            "' (expected HOST:PORT, HOST an IPv4 address or an IPv6 address in brackets)";
    const auto colon = address.rfind(':');
    if (colon == std::string::npos)
        return false;
    host = address.substr(0, colon);
    const std::string digits = address.substr(colon + 1);
    if (digits.empty() || digits.size() > 5 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    port = std::stoul(digits);
    unsigned char binary[16];
    const bool bracketed = host.size() > 2 && host.front() == '[' && host.back() == ']';
    const bool valid = bracketed ? inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), binary) == 1
                                 : inet_pton(AF_INET, host.c_str(), binary) == 1;
    if (!valid || port > 65535)
        return false;
    // Debian builds civetweb without IPv6.
    constexpr unsigned Ipv6Feature = 8;
    if (bracketed && mg_check_feature(Ipv6Feature) == 0)
    {
        error = "cannot serve metrics on '" + address + "': this HTTP server has no IPv6, give an IPv4 address";
        return false;
    }
    error.clear();
    return true;
}

// The head is written here rather than through civetweb's header calls:
// those stamp the Date with gmtime(), whose one static buffer two workers
// answering at once would share.
void Send(mg_connection* connection, int status, const char* type, const std::string& body)
{
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char date[64] = "";
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S GMT", &utc);
    const char* reason = mg_get_response_code_text(connection, status);
    mg_printf(connection,
              "HTTP/1.1 %d %s\r\nDate: %s\r\nContent-Type: %s\r\nContent-Length: %zu\r\n"
              "Cache-Control: no-store\r\n\r\n",
              status, reason, date, type, body.size());
    if (std::strcmp(mg_get_request_info(connection)->request_method, "HEAD") != 0)
        mg_write(connection, body.data(), body.size());
}

}  // namespace

bool CMetricsServer::ValidAddress(const std::string& address, std::string& error)
{
    std::string host;
    unsigned long port = 0;
    return SplitAddress(address, host, port, error);
}

CMetricsServer::CMetricsServer(const std::string& address) : m_registry(std::make_shared<prometheus::Registry>())
{
    std::string error;
    if (!ValidAddress(address, error))
        throw std::runtime_error(error);
    mg_init_library(0);
    mg_callbacks callbacks;
    std::memset(&callbacks, 0, sizeof callbacks);
    callbacks.begin_request = &CMetricsServer::Answer;
    const char* options[] = {"listening_ports", address.c_str(), "num_threads", "2", "enable_keep_alive", "yes",
                             "request_timeout_ms", "10000", nullptr};
    mg_init_data init{&callbacks, this, options};
    char text[256] = "";
    mg_error_data failure{nullptr, text, sizeof text};
    m_server = mg_start2(&init, &failure);
    if (m_server == nullptr)
    {
        mg_exit_library();
        throw std::runtime_error("cannot serve metrics on " + address + ": " + text);
    }
    m_port = Port();
    in_addr host{};
    m_knocks = inet_pton(AF_INET, address.substr(0, address.rfind(':')).c_str(), &host) == 1;
    m_ipv4Host = host.s_addr;
}

CMetricsServer::~CMetricsServer()
{
    // Once it has served a request, civetweb's acceptor sees the stop only
    // when its wait for connections times out, two seconds later; a
    // connection of our own wakes it at once, so that a tool ends without
    // that pause.
    std::atomic<bool> stopped{false};
    std::thread stopper([this, &stopped] {
        mg_stop(m_server);  // waits for the requests in progress
        stopped = true;
    });
    while (!stopped)
    {
        Knock();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    stopper.join();
    mg_exit_library();
}

void CMetricsServer::Knock() const
{
    if (!m_knocks)
        return;  // IPv6: the stop takes its two seconds
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    // Any-address listeners are reached on loopback.
    address.sin_addr.s_addr = m_ipv4Host == htonl(INADDR_ANY) ? htonl(INADDR_LOOPBACK) : m_ipv4Host;
    const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (s < 0)
        return;
    ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    ::close(s);
}

uint16_t CMetricsServer::Port() const
{
    mg_server_port ports[4];
    const int count = mg_get_server_ports(m_server, 4, ports);
    return count > 0 ? static_cast<uint16_t>(ports[0].port) : 0;
}

void CMetricsServer::Add(std::shared_ptr<const prometheus::Collectable> collectable)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_collectables.push_back(std::move(collectable));
}

void CMetricsServer::AddBuildInfo(const std::string& version, const std::string& libraryVersion)
{
    prometheus::BuildGauge()
        .Name("kelm_build_info")
        .Help("The tool's version and the market-data library's version (value 1).")
        .Register(*m_registry)
        .Add({{"version", version}, {"library_version", libraryVersion}})
        .Set(1);
}

void CMetricsServer::SetHealthProbe(HealthProbe probe)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_probe = std::move(probe);
}

std::string CMetricsServer::Exposition() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<prometheus::MetricFamily> families = m_registry->Collect();
    for (const auto& collectable : m_collectables)
    {
        std::vector<prometheus::MetricFamily> more = collectable->Collect();
        families.insert(families.end(), std::make_move_iterator(more.begin()), std::make_move_iterator(more.end()));
    }
    std::ostringstream out;
    prometheus::TextSerializer().Serialize(out, families);
    return out.str();
}

CMetricsServer::Health CMetricsServer::CheckHealth() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_probe ? m_probe() : Health{true, "ok"};
}

int CMetricsServer::Answer(mg_connection* connection)
{
    const auto& self = *static_cast<const CMetricsServer*>(mg_get_user_data(mg_get_context(connection)));
    const char* uri = mg_get_request_info(connection)->local_uri;
    const std::string path = uri != nullptr ? uri : "";
    // Nothing may unwind into the server's C code.
    try
    {
        if (path == "/metrics")
        {
            Send(connection, 200, ExpositionType, self.Exposition());
            return 200;
        }
        if (path == "/healthz")
        {
            const Health health = self.CheckHealth();
            const int status = health.Healthy ? 200 : 503;
            Send(connection, status, PlainType, health.Reason + "\n");
            return status;
        }
        Send(connection, 404, PlainType, "not found: only /metrics and /healthz are served\n");
        return 404;
    }
    catch (const std::exception& error)
    {
        Send(connection, 500, PlainType, std::string(error.what()) + "\n");
        return 500;
    }
}
