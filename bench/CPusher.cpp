#include "CPusher.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "QuoteSample.h"

namespace
{

// Frames per write in Flood: large writes, so the pusher is never the
// bottleneck.
constexpr std::size_t kFramesPerWrite = 64;

int64_t NowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

}  // namespace

CPusher::CPusher(std::vector<uint8_t> frame, std::size_t stampOffset)
    : m_frame(std::move(frame)), m_stampOffset(stampOffset), m_listener(-1), m_connection(-1), m_port(0)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listener < 0)
        throw std::runtime_error("socket");
    const int on = 1;
    ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    socklen_t size = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 1) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    {
        ::close(m_listener);
        throw std::runtime_error("listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
}

CPusher::~CPusher()
{
    Disconnect();
    ::close(m_listener);
}

bool CPusher::Accept(std::chrono::milliseconds timeout)
{
    pollfd waiting{m_listener, POLLIN, 0};
    if (::poll(&waiting, 1, static_cast<int>(timeout.count())) != 1)
        return false;
    m_connection = ::accept(m_listener, nullptr, nullptr);
    if (m_connection < 0)
        return false;
    // Each paced frame leaves at once rather than waiting to be coalesced.
    const int on = 1;
    ::setsockopt(m_connection, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return true;
}

bool CPusher::SendAll(const uint8_t* data, std::size_t length)
{
    while (length > 0)
    {
        const ssize_t sent = ::send(m_connection, data, length, MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR)
            continue;
        if (sent <= 0)
            return false;
        data += sent;
        length -= static_cast<std::size_t>(sent);
    }
    return true;
}

uint64_t CPusher::Flood(uint64_t count)
{
    std::vector<uint8_t> batch;
    batch.reserve(kFramesPerWrite * m_frame.size());
    for (std::size_t i = 0; i < kFramesPerWrite; ++i)
        batch.insert(batch.end(), m_frame.begin(), m_frame.end());
    uint64_t sent = 0;
    while (sent < count)
    {
        const uint64_t frames = std::min<uint64_t>(kFramesPerWrite, count - sent);
        if (!SendAll(batch.data(), frames * m_frame.size()))
            break;
        sent += frames;
    }
    return sent;
}

uint64_t CPusher::Paced(uint64_t count, double perSecond)
{
    const int64_t start = NowNanoseconds();
    const double period = 1e9 / perSecond;
    uint64_t sent = 0;
    for (; sent < count; ++sent)
    {
        const int64_t due = start + static_cast<int64_t>(period * double(sent));
        // Spinning keeps the schedule to well under a microsecond; a sleep
        // would overshoot by tens of microseconds.
        while (NowNanoseconds() < due)
        {
        }
        QuoteSample::WriteStamp(m_frame.data(), m_stampOffset, NowNanoseconds());
        if (!SendAll(m_frame.data(), m_frame.size()))
            break;
    }
    return sent;
}

bool CPusher::Burst(uint64_t count)
{
    std::vector<uint8_t> burst;
    burst.reserve(count * m_frame.size());
    const int64_t now = NowNanoseconds();
    for (uint64_t i = 0; i < count; ++i)
    {
        burst.insert(burst.end(), m_frame.begin(), m_frame.end());
        QuoteSample::WriteStamp(burst.data() + burst.size() - m_frame.size(), m_stampOffset, now);
    }
    return SendAll(burst.data(), burst.size());
}

void CPusher::Disconnect()
{
    if (m_connection >= 0)
        ::close(m_connection);
    m_connection = -1;
}
