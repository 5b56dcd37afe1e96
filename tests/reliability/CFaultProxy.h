// A fault-injecting TCP proxy on loopback, for tests: clients connect to it,
// it connects each one to the upstream server and passes the bytes on. The
// client-to-server direction is copied unchanged; the server-to-client
// direction is read frame by frame (4-byte big-endian length, body) and, at
// random from a fixed seed, one fault is applied in front of or to a frame.
//
// Every connection keeps a log: how many upstream frames reached the client
// whole and unaltered, whether the stream was damaged, and how it ended.
#ifndef KELM_TESTS_RELIABILITY_CFAULTPROXY_H
#define KELM_TESTS_RELIABILITY_CFAULTPROXY_H

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

enum class ProxyFault
{
    None,
    Split,      // the next frames go out one byte per write
    Delay,      // a short pause before the frame
    Stall,      // a long pause (well below the client's heartbeat timeout)
    Garbage,    // a frame of random bytes before the frame
    Duplicate,  // the frame, then its first bytes again: the stream is out of step
    Corrupt,    // a few bytes of the frame flipped
    Oversize,   // a length prefix above the largest frame; the client must drop the link
    Close,      // orderly close (FIN) towards the client
    Reset,      // reset (RST) towards the client
};

const char* ProxyFaultName(ProxyFault fault);

// A fault that ends the connection (after the damage, the proxy closes it).
bool EndsConnection(ProxyFault fault);

struct ProxySettings
{
    uint64_t Seed = 1;
    // Chance that a given frame gets a fault.
    double FaultRate = 0.001;
    // Faults drawn from, with equal weight.
    std::vector<ProxyFault> Faults = {ProxyFault::Split,   ProxyFault::Delay,     ProxyFault::Stall,
                                      ProxyFault::Garbage, ProxyFault::Duplicate, ProxyFault::Corrupt,
                                      ProxyFault::Oversize, ProxyFault::Close,    ProxyFault::Reset};
    std::chrono::milliseconds MaxDelay{30};
    std::chrono::milliseconds MaxStall{800};
    // Frames sent byte by byte after a Split.
    uint32_t SplitFrames = 3;
    // How long the client gets to drop a link after an oversized prefix.
    std::chrono::milliseconds DropWait{5000};
};

struct ProxyConnectionLog
{
    uint64_t FramesIntact = 0;  // upstream frames written whole, before any damage
    uint64_t FaultsApplied = 0;
    ProxyFault Ending = ProxyFault::None;  // the fault that ended it, if any
    bool Damaged = false;                  // Duplicate, Corrupt or Oversize happened
    bool ClientClosed = false;    // the client ended its side of a link the proxy had not ended
    bool DroppedOnOversize = false;  // after an oversized prefix the client closed in time
    bool UpstreamClosed = false;  // the server ended its side first
};

class CFaultProxy
{
public:
    CFaultProxy(std::string upstreamHost, uint16_t upstreamPort, ProxySettings settings);
    ~CFaultProxy();
    CFaultProxy(const CFaultProxy&) = delete;
    CFaultProxy& operator=(const CFaultProxy&) = delete;

    // Listens on 127.0.0.1, on an ephemeral port.
    void Start();
    // Closes the listener and every connection and joins all threads.
    void Stop();

    uint16_t Port() const { return m_port; }
    // No more faults from now on (for a clean finish).
    void Quiet() { m_quiet = true; }
    // Logs of all connections so far, in accept order.
    std::vector<ProxyConnectionLog> Logs();
    // Counts of applied faults, indexed by ProxyFault.
    std::vector<uint64_t> FaultCounts();

private:
    class Link;

    // A connection's log, and the connection while it may still be running.
    struct Entry
    {
        ProxyConnectionLog log;
        std::vector<uint64_t> counts;
        std::unique_ptr<Link> link;
    };

    void AcceptLoop();
    // Joins and frees the connections that have ended, keeping their logs.
    void Reap();

    const std::string m_upstreamHost;
    const uint16_t m_upstreamPort;
    const ProxySettings m_settings;
    int m_listener = -1;
    uint16_t m_port = 0;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_quiet{false};
    std::thread m_acceptThread;
    std::mutex m_mutex;
    std::vector<Entry> m_entries;
    std::mt19937_64 m_seeds;  // one seed per connection, from Seed
};

#endif
