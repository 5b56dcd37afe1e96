#include "CPlainReader.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "QuoteSample.h"

namespace
{

constexpr std::size_t kBufferSize = 1u << 20;
// A stream that stalls this long has failed; the read then ends the run.
constexpr long kStallSeconds = 10;

}  // namespace

CPlainReader::CPlainReader(uint16_t port) : m_socket(::socket(AF_INET, SOCK_STREAM, 0)), m_buffer(kBufferSize)
{
    if (m_socket < 0)
        throw std::runtime_error("socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(m_socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    {
        ::close(m_socket);
        throw std::runtime_error("connect to 127.0.0.1");
    }
    timeval stall{kStallSeconds, 0};
    ::setsockopt(m_socket, SOL_SOCKET, SO_RCVTIMEO, &stall, sizeof stall);
}

CPlainReader::~CPlainReader()
{
    ::close(m_socket);
}

long CPlainReader::Read()
{
    for (;;)
    {
        const ssize_t n = ::recv(m_socket, m_buffer.data(), m_buffer.size(), 0);
        if (n < 0 && errno == EINTR)
            continue;
        return static_cast<long>(n);
    }
}

uint64_t CPlainReader::ReadBytes(uint64_t totalBytes)
{
    uint64_t received = 0;
    while (received < totalBytes)
    {
        const long n = Read();
        if (n <= 0)
            break;
        received += static_cast<uint64_t>(n);
    }
    return received;
}

uint64_t CPlainReader::ReadStamped(uint64_t count, std::size_t frameSize, std::size_t stampOffset,
                                   std::vector<int64_t>& latencies)
{
    std::vector<uint8_t> frame(frameSize);
    std::size_t held = 0;
    uint64_t frames = 0;
    while (frames < count)
    {
        const long n = Read();
        if (n <= 0)
            break;
        const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                std::chrono::steady_clock::now().time_since_epoch())
                                .count();
        for (std::size_t used = 0; used < static_cast<std::size_t>(n);)
        {
            const std::size_t take = std::min(frameSize - held, static_cast<std::size_t>(n) - used);
            std::memcpy(frame.data() + held, m_buffer.data() + used, take);
            held += take;
            used += take;
            if (held < frameSize)
                break;
            latencies.push_back(now - QuoteSample::ReadStamp(frame.data(), stampOffset));
            held = 0;
            ++frames;
        }
    }
    return frames;
}
