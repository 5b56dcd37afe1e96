// The server side of the end-to-end benchmarks: listens on loopback, accepts
// one connection and pushes copies of one pre-encoded quote frame, either as
// fast as the socket takes them or at a fixed rate with the send time stamped
// into each frame. Only frames are written; nothing is read.
#ifndef KELM_BENCH_CPUSHER_H
#define KELM_BENCH_CPUSHER_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <vector>

class CPusher
{
public:
    /// frame: one complete frame; stampOffset: where its 8-byte stamp lies.
    CPusher(std::vector<uint8_t> frame, std::size_t stampOffset);
    ~CPusher();
    CPusher(const CPusher&) = delete;
    CPusher& operator=(const CPusher&) = delete;

    /// Port of the listening socket on 127.0.0.1.
    uint16_t Port() const { return m_port; }

    /// Waits for the one connection; false when none came within timeout.
    bool Accept(std::chrono::milliseconds timeout);

    /// Sends count frames in large writes, as fast as the socket takes them.
    /// Returns the frames sent (fewer only when the peer went away).
    uint64_t Flood(uint64_t count);

    /// Sends count frames one write each, the i-th at start + i / rate,
    /// stamped with the steady clock (nanoseconds) just before its write.
    uint64_t Paced(uint64_t count, double perSecond);

    /// Sends count frames in one write, all stamped with the steady clock
    /// just before it: a burst as a feed sends it. False when the peer went
    /// away.
    bool Burst(uint64_t count);

    /// Closes the connection (the listening socket stays until destruction).
    void Disconnect();

private:
    bool SendAll(const uint8_t* data, std::size_t length);

    std::vector<uint8_t> m_frame;
    std::size_t m_stampOffset;
    int m_listener;
    int m_connection;
    uint16_t m_port;
};

#endif
