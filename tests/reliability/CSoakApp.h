// The application of the reliability tests: logs in and subscribes on every
// connection, and checks every quote as it arrives. Per connection it keeps
// only counters (no quotes), so its memory stays flat however long it runs.
//
// A quote is verified when it is intact (every member exactly as sent for its
// number) and carries the number after the previous one on the connection.
// The first quote that is not both ends the verified run of the connection;
// everything after it is only counted.
#ifndef KELM_TESTS_RELIABILITY_CSOAKAPP_H
#define KELM_TESTS_RELIABILITY_CSOAKAPP_H

#include <KelmRivoMdApi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

struct SoakConnection
{
    uint64_t FirstNumber = 0;
    uint64_t Verified = 0;   // quotes in the verified run
    uint64_t Unverified = 0; // quotes after it (damaged, out of order, or following those)
    bool Lost = false;       // NotifyDisconnected came
};

class CSoakApp final : public CKelmRivoMdCallback
{
public:
    void Attach(CKelmRivoMdApi* api) { m_api = api; }

    void NotifyConnected() override;
    void NotifyDisconnected(int reason) override;
    void NotifyQuote(MarketDepthRecord* quote) override;

    std::vector<SoakConnection> Connections();
    uint64_t Quotes();
    // Waits until condition (run under the lock with the connections) holds.
    bool WaitFor(const std::function<bool(const std::vector<SoakConnection>&)>& condition,
                 std::chrono::milliseconds timeout);

private:
    CKelmRivoMdApi* m_api = nullptr;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<SoakConnection> m_connections;
    uint64_t m_last = 0;
    bool m_broken = false;
    uint64_t m_quotes = 0;
};

#endif
