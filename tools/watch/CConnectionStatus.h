// The state of the watcher's link to its quote source, as its events tell
// it, for the status line of the table: connecting, connected, logged in,
// refused or lost, since when, and how often the link was lost.
#ifndef KELM_TOOLS_WATCH_CCONNECTIONSTATUS_H
#define KELM_TOOLS_WATCH_CCONNECTIONSTATUS_H

#include <chrono>
#include <string>

class CConnectionStatus
{
public:
    using Clock = std::chrono::steady_clock;

    enum class State
    {
        Connecting,
        Connected,
        LoggedIn,
        Refused,
        Lost,
    };

    // source: what is connected to, until a connection names its server.
    CConnectionStatus(const std::string& source, Clock::time_point now);

    void Connected(const std::string& server, Clock::time_point now);
    void LoggedIn(const std::string& user, Clock::time_point now);
    void Refused(const std::string& answer, Clock::time_point now);
    void Lost(Clock::time_point now);

    State Current() const { return m_state; }
    bool LoggedIn() const { return m_state == State::LoggedIn; }
    // Connections made so far: quotes of an earlier one are stale.
    unsigned Connection() const { return m_connections; }

    // One line: the state, the server, since when, and the losses.
    std::string Line(Clock::time_point now) const;

private:
    State m_state = State::Connecting;
    std::string m_source;
    std::string m_server;
    std::string m_user;
    std::string m_answer;
    Clock::time_point m_since;
    std::string m_sinceClock;  // wall clock of m_since, HH:MM:SS
    unsigned m_connections = 0;
    unsigned m_losses = 0;
};

#endif
