#include "CConnectionStatus.h"

#include <cstdio>
#include <ctime>

namespace
{

std::string WallClock()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", local.tm_hour, local.tm_min, local.tm_sec);
    return text;
}

std::string Elapsed(CConnectionStatus::Clock::duration elapsed)
{
    const long seconds = static_cast<long>(std::chrono::duration_cast<std::chrono::seconds>(elapsed).count());
    char text[32];
    if (seconds < 60)
        std::snprintf(text, sizeof text, "%ld s", seconds);
    else if (seconds < 3600)
        std::snprintf(text, sizeof text, "%ldm %02lds", seconds / 60, seconds % 60);
    else
        std::snprintf(text, sizeof text, "%ldh %02ldm", seconds / 3600, seconds / 60 % 60);
    return text;
}

}  // namespace

CConnectionStatus::CConnectionStatus(const std::string& source, Clock::time_point now)
    : m_source(source), m_server(source), m_since(now), m_sinceClock(WallClock())
{
}

void CConnectionStatus::Connected(const std::string& server, Clock::time_point now)
{
    m_state = State::Connected;
    m_server = server;
    m_since = now;
    m_sinceClock = WallClock();
    ++m_connections;
}

void CConnectionStatus::LoggedIn(const std::string& user, Clock::time_point now)
{
    m_state = State::LoggedIn;
    m_user = user;
    m_since = now;
    m_sinceClock = WallClock();
}

void CConnectionStatus::Refused(const std::string& answer, Clock::time_point now)
{
    m_state = State::Refused;
    m_answer = answer;
    m_since = now;
    m_sinceClock = WallClock();
}

void CConnectionStatus::Lost(Clock::time_point now)
{
    m_state = State::Lost;
    m_since = now;
    m_sinceClock = WallClock();
    ++m_losses;
}

std::string CConnectionStatus::Line(Clock::time_point now) const
{
    // The state and the server first, then the losses: a narrow terminal
    // cuts the line from the right.
    std::string line;
    switch (m_state)
    {
    case State::Connecting:
        line = "connecting to " + m_source + " for " + Elapsed(now - m_since) +
               " (the library retries every second, address after address)";
        break;
    case State::Connected:
        line = "connected to " + m_server + ", logging in";
        break;
    case State::LoggedIn:
        line = "logged in as '" + m_user + "' on " + m_server;
        break;
    case State::Refused:
        line = "LOGIN REFUSED by " + m_server + ": " + m_answer;
        break;
    case State::Lost:
        line = "DISCONNECTED from " + m_server + ", reconnecting";
        break;
    }
    if (m_losses > 0)
        line += "; link lost " + std::to_string(m_losses) + (m_losses == 1 ? " time" : " times");
    if (m_state != State::Connecting && m_state != State::Refused)
        line += "; since " + m_sinceClock + " (" + Elapsed(now - m_since) + ")";
    return line;
}
