#include "reliability/CSoakApp.h"

#include "reliability/SoakQuote.h"

#include <cstring>

void CSoakApp::NotifyConnected()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections.emplace_back();
        m_broken = false;
        m_changed.notify_all();
    }
    // The library keeps no session: log in and subscribe on every connection.
    LoginRequestRecord login;
    std::memset(&login, 0, sizeof login);
    std::strcpy(login.BrokerCode, "B1");
    std::strcpy(login.UserCode, "soak");
    std::strcpy(login.Password, "pw");
    m_api->SubmitLogin(&login, 1);
    char code[] = "SK";
    char* codes[] = {code};
    m_api->SubscribeQuotes(codes, 1);
}

void CSoakApp::NotifyDisconnected(int)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_connections.empty())
        m_connections.back().Lost = true;
    m_changed.notify_all();
}

void CSoakApp::NotifyQuote(MarketDepthRecord* quote)
{
    const bool intact = soak::IsIntact(*quote);
    const uint64_t number = soak::NumberOf(*quote);
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_quotes;
    if (m_connections.empty())
        m_connections.emplace_back();  // a quote before any connection: counted as unverified
    SoakConnection& connection = m_connections.back();
    const bool first = connection.Verified == 0;
    if (!m_broken && intact && (first || number == m_last + 1))
    {
        if (first)
            connection.FirstNumber = number;
        ++connection.Verified;
        m_last = number;
    }
    else
    {
        m_broken = true;
        ++connection.Unverified;
    }
    m_changed.notify_all();
}

std::vector<SoakConnection> CSoakApp::Connections()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
}

uint64_t CSoakApp::Quotes()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_quotes;
}

bool CSoakApp::WaitFor(const std::function<bool(const std::vector<SoakConnection>&)>& condition,
                       std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return condition(m_connections); });
}
