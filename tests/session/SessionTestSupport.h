// Helpers of the session tests: reading a session's events and quotes until
// something has happened, and waiting for another thread's call to return,
// within a time limit.
#ifndef KELM_TESTS_SESSION_SESSIONTESTSUPPORT_H
#define KELM_TESTS_SESSION_SESSIONTESTSUPPORT_H

#include <kelmmd/CMdSession.h>

#include <chrono>
#include <functional>
#include <future>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace sessiontest
{

using namespace std::chrono_literals;
using Kind = kelmmd::SessionEvent::Kind;

// True once the waiter's call has returned, within the limit.
template <class Result>
bool EndsWithin(std::future<Result>& waiter, std::chrono::milliseconds limit)
{
    return waiter.wait_for(limit) == std::future_status::ready;
}

inline bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Events read from a session, in order, kept for the checks.
class CEventLog
{
public:
    explicit CEventLog(kelmmd::CMdSession& session) : m_session(session) {}

    // Reads events until one is of the kind (and names the instrument, when
    // one is given); false when none came within the timeout.
    bool WaitFor(Kind kind, std::chrono::milliseconds timeout = 10s, const std::string& instrument = "")
    {
        const auto deadline = std::chrono::steady_clock::now() + timeout;
        for (;;)
        {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                                    std::chrono::steady_clock::now());
            std::optional<kelmmd::SessionEvent> event = m_session.Events().Next(left);
            if (!event)
                return false;
            m_events.push_back(*event);
            if (event->Type == kind && (instrument.empty() || event->Instrument == instrument))
                return true;
        }
    }

    // Reads what is queued now.
    void Drain()
    {
        while (std::optional<kelmmd::SessionEvent> event = m_session.Events().Next(0ms))
            m_events.push_back(*event);
    }

    // The events read so far of a kind; Forget starts afresh.
    std::vector<kelmmd::SessionEvent> Take(Kind kind)
    {
        std::vector<kelmmd::SessionEvent> taken;
        for (const kelmmd::SessionEvent& event : m_events)
            if (event.Type == kind)
                taken.push_back(event);
        return taken;
    }
    void Forget() { m_events.clear(); }

private:
    kelmmd::CMdSession& m_session;
    std::vector<kelmmd::SessionEvent> m_events;
};

// Takes quotes until every one of codes has come; false after the timeout.
inline bool QuotesOf(kelmmd::CMdSession& session, std::set<std::string> codes,
                     std::chrono::milliseconds timeout = 10s)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    MarketDepthRecord quote;
    while (!codes.empty() && std::chrono::steady_clock::now() < deadline)
        if (session.Quotes().Next(quote, 100ms))
            codes.erase(quote.InstrumentID);
    return codes.empty();
}

inline std::size_t DrainQuotes(kelmmd::CMdSession& session)
{
    std::vector<MarketDepthRecord> batch;
    std::size_t taken = 0;
    while (session.Quotes().NextBatch(batch, 1000, 0ms) > 0)
        taken += batch.size();
    return taken;
}

}  // namespace sessiontest

#endif
