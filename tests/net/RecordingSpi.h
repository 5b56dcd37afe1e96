// Records what the transport reports to the quote client, in order:
// "connected", "disconnected", and "quote:<InstrumentID>" for each quote.
#ifndef KELM_TESTS_NET_RECORDINGSPI_H
#define KELM_TESTS_NET_RECORDINGSPI_H

#include "quote/CTarnQuotSpi.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class RecordingSpi final : public CTarnQuotSpi
{
public:
    void OnConnected() override { Record("connected"); }
    void OnDisconnected() override { Record("disconnected"); }
    void OnQuote(const QuotRecord* quote) override { Record("quote:" + std::string(quote->InstrumentID)); }

    std::vector<std::string> Events() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_events;
    }

    std::size_t Count(const std::string& event) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<std::size_t>(std::count(m_events.begin(), m_events.end(), event));
    }

    bool WaitFor(const std::string& event, std::size_t count, std::chrono::milliseconds timeout) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [&] {
            return static_cast<std::size_t>(std::count(m_events.begin(), m_events.end(), event)) >= count;
        });
    }

    /// Runs after each event is recorded, on the reporting thread, as an
    /// application's handler would.
    void SetAction(std::function<void(const std::string& event)> action) { m_action = std::move(action); }

    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_events.clear();
    }

private:
    void Record(const std::string& event)
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_events.push_back(event);
            m_changed.notify_all();
        }
        if (m_action)
            m_action(event);
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<std::string> m_events;
    std::function<void(const std::string&)> m_action;
};

#endif
