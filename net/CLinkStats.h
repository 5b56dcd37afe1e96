// Figures of the link to the quote server, written by the network thread and
// read by any thread without a lock. The network thread is the only writer,
// so a counter is bumped with a relaxed load and store (plain moves on x86,
// no locked instruction on the quote path); the address text is published
// under a sequence number that readers check around their copy.
#ifndef KELM_NET_CLINKSTATS_H
#define KELM_NET_CLINKSTATS_H

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

class CLinkStats
{
public:
    /// Longest address text kept, terminator included.
    static constexpr std::size_t AddressSize = 136;

    struct Snapshot
    {
        uint64_t QuotesReceived;
        uint64_t PackagesReceived;
        uint64_t BytesReceived;
        uint64_t ConnectionsMade;
        uint64_t LinksLost;
        uint64_t HeartbeatsSent;
        bool HasReceived;  // false until the first byte
        std::chrono::system_clock::time_point LastReceiveTime;
        std::chrono::steady_clock::duration LastReceiveAge;
        char ServerAddress[AddressSize];  // empty while not connected
    };

    CLinkStats();
    CLinkStats(const CLinkStats&) = delete;
    CLinkStats& operator=(const CLinkStats&) = delete;

    // Network thread only.
    void AddBytes(uint32_t count, std::chrono::steady_clock::time_point receivedAt)
    {
        Bump(m_bytes, count);
        m_lastReceipt.store(receivedAt.time_since_epoch().count(), std::memory_order_relaxed);
    }
    void AddPackage() { Bump(m_packages, 1); }
    void AddQuote() { Bump(m_quotes, 1); }
    void AddHeartbeat() { Bump(m_heartbeats, 1); }
    /// A connection was established to address ("host:port").
    void Connected(const std::string& address);
    /// The established connection was lost.
    void Lost();
    /// No connection any more (stopped); not counted as a loss.
    void ClearAddress();

    /// Any thread, any time.
    void Read(Snapshot& snapshot) const;

private:
    static constexpr std::size_t AddressWords = AddressSize / 8;

    static void Bump(std::atomic<uint64_t>& counter, uint64_t count)
    {
        counter.store(counter.load(std::memory_order_relaxed) + count, std::memory_order_relaxed);
    }
    void PublishAddress(const char* text, std::size_t length);

    std::atomic<uint64_t> m_quotes;
    std::atomic<uint64_t> m_packages;
    std::atomic<uint64_t> m_bytes;
    std::atomic<uint64_t> m_connections;
    std::atomic<uint64_t> m_lost;
    std::atomic<uint64_t> m_heartbeats;
    // steady_clock ticks of the last receipt; 0 = none yet.
    std::atomic<std::chrono::steady_clock::rep> m_lastReceipt;
    // Odd while the address is being rewritten.
    std::atomic<uint32_t> m_addressVersion;
    std::atomic<uint64_t> m_address[AddressWords];
};

#endif
