// An application of the shared library, written against the public header
// only: connects to one address, counts the quotes that reach NotifyQuote
// and, when asked, records for each the time from the stamp in its Amount
// (the pusher's send time) to the callback.
#ifndef KELM_BENCH_CLIBRARYCLIENT_H
#define KELM_BENCH_CLIBRARYCLIENT_H

#include <KelmRivoMdApi.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <vector>

class CLibraryClient
{
public:
    /// Creates the API object and points it at 127.0.0.1:port; latencyCapacity
    /// bounds the latencies recorded; spinning is the network thread's setting
    /// (CKelmRivoMdExtension::SetSpinning; 0 sleeps).
    CLibraryClient(uint16_t port, std::size_t latencyCapacity, int spinning = 0);
    ~CLibraryClient();
    CLibraryClient(const CLibraryClient&) = delete;
    CLibraryClient& operator=(const CLibraryClient&) = delete;

    /// Launches and waits for NotifyConnected.
    bool Connect(std::chrono::milliseconds timeout);

    /// Starts recording latencies (before the stamped quotes are sent).
    void RecordLatencies() { m_app.recording.store(true); }

    /// The arrival of quote number count (counted from 1) is to be timed.
    void TimeArrivalOf(uint64_t count) { m_app.timed.store(count); }

    /// Waits until count quotes have arrived in all; false on timeout.
    bool WaitQuotes(uint64_t count, std::chrono::milliseconds timeout) const;

    uint64_t Quotes() const { return m_app.quotes.load(std::memory_order_acquire); }

    /// Steady-clock time at which the quote named by TimeArrivalOf arrived.
    std::chrono::steady_clock::time_point TimedArrival() const;

    /// The latencies recorded (nanoseconds); read after WaitQuotes.
    const std::vector<int64_t>& Latencies() const { return m_app.latencies; }

private:
    // Runs on the library's network thread.
    struct App final : CKelmRivoMdCallback
    {
        void NotifyConnected() override { connected.store(true); }
        void NotifyQuote(MarketDepthRecord* quote) override;

        std::atomic<bool> connected{false};
        std::atomic<bool> recording{false};
        std::atomic<uint64_t> quotes{0};
        std::atomic<uint64_t> timed{0};
        std::atomic<int64_t> timedArrival{0};
        std::vector<int64_t> latencies;
    };

    App m_app;
    CKelmRivoMdApi* m_api;  // released by Dispose
};

#endif
