#include "net/TestPeer.h"

#include "support/TestPlatform.h"

#include <algorithm>
#include <stdexcept>

namespace
{

// Bound to a loopback address, not yet listening. No SO_REUSEADDR: with it,
// another socket could share the port while this one is not listening.
int BindLoopback(bool ipv6, uint16_t port)
{
    const int s = testplatform::OpenTcpSocket(ipv6);
    int bound;
    if (ipv6)
    {
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(port);
        address.sin6_addr = in6addr_loopback;
        bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    else
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(port);
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bound = ::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address);
    }
    if (bound != 0)
    {
        testplatform::CloseSocket(s);
        throw std::runtime_error(std::string("test peer cannot bind ") + (ipv6 ? "[::1]:" : "127.0.0.1:") +
                                 std::to_string(port));
    }
    return s;
}

uint16_t LocalPort(int s)
{
    sockaddr_storage address{};
    socklen_t size = sizeof address;
    ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &size);
    if (address.ss_family == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(address).sin6_port);
    return ntohs(reinterpret_cast<const sockaddr_in&>(address).sin_port);
}

const std::chrono::milliseconds PiecePause(40);

} // namespace

TestPeer::TestPeer(TestPeerOptions options)
    : m_options(options),
      m_listener(BindLoopback(options.Ipv6, options.Port)),
      m_port(LocalPort(m_listener)),
      m_stopping(false)
{
    if (m_options.ReceiveBuffer > 0)
        testplatform::SetIntOption(m_listener, SOL_SOCKET, SO_RCVBUF, m_options.ReceiveBuffer);
    if (m_options.Listening)
        Listen();
}

TestPeer::~TestPeer()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stopping = true;
    }
    // Wakes the blocked accept and every blocked read.
    testplatform::WakeBlockedCalls(m_listener);
    if (m_acceptor.joinable())
        m_acceptor.join();
    testplatform::CloseSocket(m_listener);
    for (auto& link : m_links)
    {
        if (link->Socket >= 0)
            testplatform::WakeBlockedCalls(link->Socket);
        if (link->Reader.joinable())
            link->Reader.join();
        if (link->Socket >= 0)
            testplatform::CloseSocket(link->Socket);
    }
}

TestPeerOptions TestPeer::Refusing()
{
    TestPeerOptions options;
    options.Listening = false;
    return options;
}

void TestPeer::Listen()
{
    if (m_acceptor.joinable())
        return;
    if (::listen(m_listener, 16) != 0)
        throw std::runtime_error("test peer cannot listen");
    m_acceptor = std::thread(&TestPeer::AcceptLoop, this);
}

std::string TestPeer::Address() const
{
    return (m_options.Ipv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(m_port);
}

void TestPeer::AcceptLoop()
{
    for (;;)
    {
        const int s = static_cast<int>(::accept(m_listener, nullptr, nullptr));
        std::lock_guard<std::mutex> lock(m_mutex);
        if (s < 0 || m_stopping)
        {
            if (s >= 0)
                testplatform::CloseSocket(s);
            return;
        }
        testplatform::SetIntOption(s, IPPROTO_TCP, TCP_NODELAY, 1);
        auto link = std::make_unique<Link>();
        link->Socket = s;
        link->Buffer.resize(m_options.ReadSize);
        link->AcceptedAt = Clock::now();
        link->Reader = std::thread(&TestPeer::ReadLoop, this, link.get());
        m_links.push_back(std::move(link));
        m_changed.notify_all();
    }
}

void TestPeer::ReadLoop(Link* link)
{
    std::vector<char>& buffer = link->Buffer;
    for (;;)
    {
        const long n = testplatform::ReceiveSome(link->Socket, buffer.data(), buffer.size());
        std::lock_guard<std::mutex> lock(m_mutex);
        if (n <= 0)
        {
            link->ClientClosed = true;
            m_changed.notify_all();
            return;
        }
        link->Received.append(buffer.data(), static_cast<std::size_t>(n));
        m_changed.notify_all();
        if (m_options.ReadPause.count() > 0)
        {
            m_mutex.unlock();
            std::this_thread::sleep_for(m_options.ReadPause);
            m_mutex.lock();
        }
    }
}

TestPeer::Link* TestPeer::Latest() const
{
    if (m_links.empty())
        throw std::logic_error("test peer has no connection");
    return m_links.back().get();
}

std::size_t TestPeer::Accepted() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_links.size();
}

bool TestPeer::WaitForAccepted(std::size_t count, std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_links.size() >= count; });
}

TestPeer::Clock::time_point TestPeer::AcceptedAt(std::size_t n) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_links.at(n - 1)->AcceptedAt;
}

void TestPeer::Send(const std::string& bytes)
{
    int s;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        s = Latest()->Socket;
    }
    std::size_t sent = 0;
    while (sent < bytes.size())
    {
        const long n = testplatform::SendSome(s, bytes.data() + sent, bytes.size() - sent);
        if (n <= 0)
            return;
        sent += static_cast<std::size_t>(n);
    }
}

void TestPeer::SendInPieces(const std::string& bytes, const std::vector<std::size_t>& sizes)
{
    std::size_t offset = 0;
    for (std::size_t size : sizes)
    {
        Send(bytes.substr(offset, size));
        offset += size;
        std::this_thread::sleep_for(PiecePause);
    }
    if (offset < bytes.size())
        Send(bytes.substr(offset));
}

void TestPeer::Close()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    testplatform::StopWriting(Latest()->Socket);
}

void TestPeer::Reset()
{
    Link* link;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        link = Latest();
    }
    // Stop our reader first, then close with a zero linger time: RST.
    testplatform::StopReading(link->Socket);
    link->Reader.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    std::atomic<int> socket(link->Socket);
    testplatform::ResetConnection(socket);
    testplatform::CloseSocket(socket);
    link->Socket = -1;
}

std::string TestPeer::Received() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return Latest()->Received;
}

std::string TestPeer::ReceivedOn(std::size_t n) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_links.at(n - 1)->Received;
}

bool TestPeer::WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const
{
    return WaitUntilReceived([count](const std::string& received) { return received.size() >= count; }, timeout);
}

bool TestPeer::WaitUntilReceived(const std::function<bool(const std::string&)>& condition,
                                 std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout,
                              [&] { return !m_links.empty() && condition(m_links.back()->Received); });
}

bool TestPeer::WaitForClientClose(std::chrono::milliseconds timeout) const
{
    std::unique_lock<std::mutex> lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return !m_links.empty() && m_links.back()->ClientClosed; });
}
