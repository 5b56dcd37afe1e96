// The reference receiver of the end-to-end benchmarks: a plain blocking TCP
// client on loopback that reads the pusher's byte stream into a 1 MiB buffer
// (the size of the library's read buffer) and does nothing else, or, for
// latency, cuts the stream into its fixed-size frames and stamps each on
// receipt.
#ifndef KELM_BENCH_CPLAINREADER_H
#define KELM_BENCH_CPLAINREADER_H

#include <cstddef>
#include <cstdint>
#include <vector>

class CPlainReader
{
public:
    /// Connects to 127.0.0.1:port; throws when that fails.
    explicit CPlainReader(uint16_t port);
    ~CPlainReader();
    CPlainReader(const CPlainReader&) = delete;
    CPlainReader& operator=(const CPlainReader&) = delete;

    /// Reads until totalBytes have arrived or the stream ends; the bytes read.
    uint64_t ReadBytes(uint64_t totalBytes);

    /// Reads frames of frameSize bytes until count have arrived or the stream
    /// ends; appends to latencies, per frame, the steady clock on arrival of
    /// its last byte minus the stamp at stampOffset (nanoseconds).
    uint64_t ReadStamped(uint64_t count, std::size_t frameSize, std::size_t stampOffset,
                         std::vector<int64_t>& latencies);

private:
    long Read();

    int m_socket;
    std::vector<uint8_t> m_buffer;
};

#endif
