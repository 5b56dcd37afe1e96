// Session events (connection changes and the answers to requests) on their
// way from the library's network thread to Python. Rare, so a mutex-guarded
// queue; bounded, so an application that never reads them keeps the latest.
#ifndef KELM_PYTHON_CSESSIONEVENTS_H
#define KELM_PYTHON_CSESSIONEVENTS_H

#include <KelmRivoMdApi.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>

struct SessionEvent
{
    enum class Kind
    {
        Connected,
        Disconnected,
        Login,
        Logout,
        Subscribe,
        Unsubscribe,
    };

    Kind Type = Kind::Connected;
    int RequestId = 0;
    bool HasInfo = false;      // the answer carried the server's result
    int RspNo = 0;
    std::string RspDesc;
    bool HasRecord = false;    // the answer carried its record
    std::string Instrument;    // subscribe, unsubscribe
    std::string UserCode;      // logout
    LoginResultRecord Login{}; // login
    bool Automatic = false;    // login: sent by the client itself after a reconnect

    bool Succeeded() const { return HasInfo && RspNo == 0; }
};

class CSessionEvents
{
public:
    explicit CSessionEvents(std::size_t capacity) : m_capacity(capacity) {}

    /// Queues the event; when full, the oldest queued event is discarded.
    void Push(SessionEvent event);
    /// The next event, waiting at most timeout; nothing on timeout or after Wake.
    std::optional<SessionEvent> Pop(std::chrono::milliseconds timeout);
    void Wake();
    uint64_t Discarded() const;

private:
    const std::size_t m_capacity;
    mutable std::mutex m_mutex;
    std::condition_variable m_ready;
    std::deque<SessionEvent> m_events;
    uint64_t m_discarded = 0;
    bool m_woken = false;
};

#endif
