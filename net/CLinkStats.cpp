#include "net/CLinkStats.h"

#include <algorithm>
#include <cstring>

static_assert(CLinkStats::AddressSize % 8 == 0, "the address is kept in whole words");

CLinkStats::CLinkStats()
    : m_quotes(0),
      m_packages(0),
      m_bytes(0),
      m_connections(0),
      m_lost(0),
      m_heartbeats(0),
      m_lastReceipt(0),
      m_addressVersion(0)
{
    for (std::atomic<uint64_t>& word : m_address)
        word.store(0, std::memory_order_relaxed);
}

void CLinkStats::Connected(const std::string& address)
{
    Bump(m_connections, 1);
    PublishAddress(address.c_str(), std::min(address.size(), AddressSize - 1));
}

void CLinkStats::Lost()
{
    Bump(m_lost, 1);
    ClearAddress();
}

void CLinkStats::ClearAddress()
{
    PublishAddress("", 0);
}

// A sequence lock: the version is odd while the words change; a reader that
// saw the same even version before and after its copy has a whole text.
void CLinkStats::PublishAddress(const char* text, std::size_t length)
{
    char padded[AddressSize] = {};
    std::memcpy(padded, text, length);
    const uint32_t version = m_addressVersion.load(std::memory_order_relaxed);
    m_addressVersion.store(version + 1, std::memory_order_relaxed);
    std::atomic_thread_fence(std::memory_order_release);
    for (std::size_t i = 0; i < AddressWords; ++i)
    {
        uint64_t word;
        std::memcpy(&word, padded + 8 * i, 8);
        m_address[i].store(word, std::memory_order_relaxed);
    }
    m_addressVersion.store(version + 2, std::memory_order_release);
}

void CLinkStats::Read(Snapshot& snapshot) const
{
    snapshot.QuotesReceived = m_quotes.load(std::memory_order_relaxed);
    snapshot.PackagesReceived = m_packages.load(std::memory_order_relaxed);
    snapshot.BytesReceived = m_bytes.load(std::memory_order_relaxed);
    snapshot.ConnectionsMade = m_connections.load(std::memory_order_relaxed);
    snapshot.LinksLost = m_lost.load(std::memory_order_relaxed);
    snapshot.HeartbeatsSent = m_heartbeats.load(std::memory_order_relaxed);

    const std::chrono::steady_clock::rep last = m_lastReceipt.load(std::memory_order_relaxed);
    snapshot.HasReceived = last != 0;
    // The wall-clock time of the last byte, from its age: the network thread
    // reads one clock per chunk, not two.
    const auto steadyNow = std::chrono::steady_clock::now();
    const auto systemNow = std::chrono::system_clock::now();
    snapshot.LastReceiveAge = snapshot.HasReceived
        ? steadyNow - std::chrono::steady_clock::time_point(std::chrono::steady_clock::duration(last))
        : std::chrono::steady_clock::duration::zero();
    snapshot.LastReceiveTime =
        systemNow - std::chrono::duration_cast<std::chrono::system_clock::duration>(snapshot.LastReceiveAge);

    for (;;)
    {
        const uint32_t before = m_addressVersion.load(std::memory_order_acquire);
        for (std::size_t i = 0; i < AddressWords; ++i)
        {
            const uint64_t word = m_address[i].load(std::memory_order_relaxed);
            std::memcpy(snapshot.ServerAddress + 8 * i, &word, 8);
        }
        std::atomic_thread_fence(std::memory_order_acquire);
        if ((before & 1) == 0 && m_addressVersion.load(std::memory_order_relaxed) == before)
            break;
    }
    snapshot.ServerAddress[AddressSize - 1] = '\0';
}
