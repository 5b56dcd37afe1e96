#include "reliability/CFaultProxy.h"

#include "support/TestPlatform.h"

#include <algorithm>
#include <stdexcept>

namespace
{

constexpr uint32_t kLargestBody = 8188;

// Repeats io(offset, left) until size bytes have moved; false on an error or
// at the end of the stream.
template <class Io>
bool Complete(std::size_t size, Io io)
{
    std::size_t done = 0;
    while (done < size)
    {
        const long n = io(done, size - done);
        if (n < 0 && testplatform::WasInterrupted())
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

bool WriteAll(int fd, const uint8_t* data, std::size_t size)
{
    return Complete(size, [&](std::size_t at, std::size_t left) { return testplatform::SendSome(fd, data + at, left); });
}

bool ReadAll(int fd, uint8_t* data, std::size_t size)
{
    return Complete(size, [&](std::size_t at, std::size_t left) { return testplatform::ReceiveSome(fd, data + at, left); });
}

int ConnectTo(const std::string& host, uint16_t port)
{
    const int fd = testplatform::OpenTcpSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    ::inet_pton(AF_INET, host.c_str(), &address.sin_addr);
    if (fd < 0 || ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    {
        if (fd >= 0)
            testplatform::CloseSocket(fd);
        return -1;
    }
    return fd;
}

void NoDelay(int fd)
{
    testplatform::SetIntOption(fd, IPPROTO_TCP, TCP_NODELAY, 1);
}

}  // namespace

const char* ProxyFaultName(ProxyFault fault)
{
    static const char* const names[] = {"none",      "split",   "delay",    "stall", "garbage",
                                        "duplicate", "corrupt", "oversize", "close", "reset"};
    return names[static_cast<int>(fault)];
}

bool EndsConnection(ProxyFault fault)
{
    return fault == ProxyFault::Duplicate || fault == ProxyFault::Corrupt || fault == ProxyFault::Oversize ||
           fault == ProxyFault::Close || fault == ProxyFault::Reset;
}

// One proxied connection: the client socket, the upstream socket and a pump
// thread per direction.
class CFaultProxy::Link
{
public:
    Link(int client, int upstream, const ProxySettings& settings, const std::atomic<bool>& quiet, uint64_t seed)
        : m_client(client), m_upstream(upstream), m_settings(settings), m_quiet(quiet), m_random(seed)
    {
        NoDelay(m_client);
        m_up = std::thread(&Link::PumpUp, this);
        m_down = std::thread(&Link::PumpDown, this);
    }

    ~Link()
    {
        Shut();
        m_up.join();
        m_down.join();
        testplatform::CloseSocket(m_client);
        testplatform::CloseSocket(m_upstream);
    }

    // Wakes both pumps: their blocking calls fail from here on.
    void Shut()
    {
        Notify([this] { m_ended = true; });
        testplatform::WakeBlockedCalls(m_client);
        testplatform::WakeBlockedCalls(m_upstream);
        Notify([] {});
    }

    // Both pumps have stopped: the link can be joined without waiting.
    bool Ended()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_upDone && m_downDone;
    }

    ProxyConnectionLog Log()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_log;
    }

    std::vector<uint64_t> Counts()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_counts;
    }

private:
    template <class F>
    void Notify(F f)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        f();
        m_changed.notify_all();
    }

    // Client to server, unchanged. The end of the client's stream is how a
    // client that dropped the link shows itself.
    void PumpUp()
    {
        uint8_t buffer[16384];
        for (;;)
        {
            const long n = testplatform::ReceiveSome(m_client, buffer, sizeof buffer);
            if (n < 0 && testplatform::WasInterrupted())
                continue;
            if (n <= 0 || !WriteAll(m_upstream, buffer, static_cast<std::size_t>(n)))
                break;
        }
        Notify([this] {
            if (!m_ended)
                m_log.ClientClosed = true;
            m_upDone = true;
        });
        testplatform::WakeBlockedCalls(m_upstream);
    }

    // Server to client, frame by frame, with faults.
    void PumpDown()
    {
        std::vector<uint8_t> frame;
        while (ReadFrame(frame))
        {
            if (!Forward(frame, Draw()))
                break;
        }
        testplatform::WakeBlockedCalls(m_client);
        Notify([this] { m_downDone = true; });
    }

    bool ReadFrame(std::vector<uint8_t>& frame)
    {
        uint8_t prefix[4];
        if (!ReadAll(m_upstream, prefix, 4))
        {
            Notify([this] {
                if (!m_ended && !m_log.ClientClosed)
                    m_log.UpstreamClosed = true;
            });
            return false;
        }
        const uint32_t length = uint32_t(prefix[0]) << 24 | uint32_t(prefix[1]) << 16 | uint32_t(prefix[2]) << 8 |
                                uint32_t(prefix[3]);
        if (length > kLargestBody)
            return false;  // our own server never sends that
        frame.assign(prefix, prefix + 4);
        frame.resize(4 + length);
        return ReadAll(m_upstream, frame.data() + 4, length);
    }

    ProxyFault Draw()
    {
        if (std::uniform_real_distribution<double>(0, 1)(m_random) >= m_settings.FaultRate ||
            m_settings.Faults.empty() || m_quiet)
            return ProxyFault::None;
        return m_settings.Faults[Below(m_settings.Faults.size())];
    }

    std::size_t Below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(m_random); }

    void Sleep(std::chrono::milliseconds most)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(Below(static_cast<std::size_t>(most.count()) + 1)));
    }

    // Writes the frame with the fault; false when the connection is over.
    bool Forward(std::vector<uint8_t>& frame, ProxyFault fault)
    {
        if (fault != ProxyFault::None)
            Notify([&] {
                ++m_log.FaultsApplied;
                if (m_counts.empty())
                    m_counts.assign(static_cast<std::size_t>(ProxyFault::Reset) + 1, 0);
                ++m_counts[static_cast<std::size_t>(fault)];
            });
        switch (fault)
        {
        case ProxyFault::None:
            return WriteIntact(frame);
        case ProxyFault::Split:
            m_splitLeft = m_settings.SplitFrames;
            return WriteIntact(frame);
        case ProxyFault::Delay:
            Sleep(m_settings.MaxDelay);
            return WriteIntact(frame);
        case ProxyFault::Stall:
            Sleep(m_settings.MaxStall);
            return WriteIntact(frame);
        case ProxyFault::Garbage:
            return WriteGarbage() && WriteIntact(frame);
        case ProxyFault::Duplicate:
            return Damage(fault, [&] {
                return WriteIntact(frame) && WriteAll(m_client, frame.data(), 1 + Below(frame.size() - 1));
            });
        case ProxyFault::Corrupt:
            return Damage(fault, [&] {
                for (std::size_t flips = 1 + Below(4); flips > 0; --flips)
                    frame[Below(frame.size())] ^= static_cast<uint8_t>(1 + Below(255));
                return WriteAll(m_client, frame.data(), frame.size());
            });
        case ProxyFault::Oversize:
            return Damage(fault, [&] { return WriteOversize(); });
        case ProxyFault::Close:
            End(fault);
            testplatform::StopWriting(m_client);  // FIN after what was written
            WaitForClient();
            return false;
        case ProxyFault::Reset:
        {
            End(fault);
            // The other pump must be out of its recv before the close, or
            // the socket would outlive it and no reset would go out.
            testplatform::StopReading(m_client);
            {
                std::unique_lock<std::mutex> lock(m_mutex);
                m_changed.wait(lock, [this] { return m_upDone; });
            }
            testplatform::ResetConnection(m_client);
            return false;
        }
        }
        return false;
    }

    bool WriteIntact(const std::vector<uint8_t>& frame)
    {
        bool written;
        if (m_splitLeft > 0)
        {
            --m_splitLeft;
            written = true;
            for (std::size_t i = 0; written && i < frame.size(); ++i)
                written = WriteAll(m_client, &frame[i], 1);
        }
        else
            written = WriteAll(m_client, frame.data(), frame.size());
        if (written)
            Notify([this] { ++m_log.FramesIntact; });
        return written;
    }

    bool WriteGarbage()
    {
        std::vector<uint8_t> garbage(4 + 1 + Below(300));
        const uint32_t length = static_cast<uint32_t>(garbage.size() - 4);
        garbage[0] = 0;
        garbage[1] = 0;
        garbage[2] = static_cast<uint8_t>(length >> 8);
        garbage[3] = static_cast<uint8_t>(length);
        for (std::size_t i = 4; i < garbage.size(); ++i)
            garbage[i] = static_cast<uint8_t>(Below(256));
        return WriteAll(m_client, garbage.data(), garbage.size());
    }

    bool WriteOversize()
    {
        const uint32_t length = kLargestBody + 1 + static_cast<uint32_t>(Below(0xFFFFFFFFu - kLargestBody - 1));
        const uint8_t prefix[4] = {static_cast<uint8_t>(length >> 24), static_cast<uint8_t>(length >> 16),
                                   static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
        if (!WriteAll(m_client, prefix, 4))
            return false;
        // The client must drop the link on the prefix alone.
        const bool dropped = WaitForClient();
        Notify([&] { m_log.DroppedOnOversize = dropped; });
        return false;
    }

    // Damage, then an orderly close: whatever the client makes of the
    // damaged bytes, it has to come back on a new connection.
    template <class F>
    bool Damage(ProxyFault fault, F write)
    {
        Notify([&] { m_log.Damaged = true; });
        End(fault);
        if (write() && fault != ProxyFault::Oversize)
        {
            testplatform::StopWriting(m_client);
            WaitForClient();
        }
        return false;
    }

    // From here on the proxy ends the link; an oversized prefix leaves the
    // ending to the client.
    void End(ProxyFault fault)
    {
        Notify([&] {
            m_log.Ending = fault;
            m_ended = fault != ProxyFault::Oversize;
        });
    }

    // Waits until the client has closed its side; false when the wait ran out.
    bool WaitForClient()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        const bool closed = m_changed.wait_for(lock, m_settings.DropWait, [this] { return m_upDone; });
        m_ended = true;
        return closed;
    }

    // Replaced by -1 where a reset cannot keep the descriptor (Windows).
    std::atomic<int> m_client;
    const int m_upstream;
    const ProxySettings& m_settings;
    const std::atomic<bool>& m_quiet;
    std::mt19937_64 m_random;
    uint32_t m_splitLeft = 0;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    ProxyConnectionLog m_log;
    bool m_ended = false;   // the proxy is ending the link itself
    bool m_upDone = false;  // the client-to-server pump has stopped
    bool m_downDone = false;  // the server-to-client pump has stopped
    std::vector<uint64_t> m_counts;
    std::thread m_up;
    std::thread m_down;
};

CFaultProxy::CFaultProxy(std::string upstreamHost, uint16_t upstreamPort, ProxySettings settings)
    : m_upstreamHost(std::move(upstreamHost)),
      m_upstreamPort(upstreamPort),
      m_settings(std::move(settings)),
      m_seeds(m_settings.Seed)
{
}

CFaultProxy::~CFaultProxy()
{
    Stop();
}

void CFaultProxy::Start()
{
    m_listener = testplatform::OpenTcpSocket();
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 16) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &size) != 0)
        throw std::runtime_error("proxy: cannot listen");
    m_port = ntohs(address.sin_port);
    m_acceptThread = std::thread(&CFaultProxy::AcceptLoop, this);
}

void CFaultProxy::AcceptLoop()
{
    while (!m_stopping)
    {
        const int client = static_cast<int>(::accept(m_listener, nullptr, nullptr));
        if (client < 0)
        {
            if (testplatform::AcceptMayRetry())
                continue;
            break;
        }
        const int upstream = ConnectTo(m_upstreamHost, m_upstreamPort);
        if (upstream < 0 || m_stopping)
        {
            testplatform::CloseSocket(client);
            if (upstream >= 0)
                testplatform::CloseSocket(upstream);
            continue;
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        Reap();
        m_entries.push_back(Entry{{}, {}, std::unique_ptr<Link>(new Link(client, upstream, m_settings, m_quiet, m_seeds()))});
    }
}

// Under m_mutex. Ended links hold two finished threads and their stacks
// until joined; a long run would pile them up.
void CFaultProxy::Reap()
{
    for (Entry& entry : m_entries)
    {
        if (!entry.link || !entry.link->Ended())
            continue;
        entry.log = entry.link->Log();
        entry.counts = entry.link->Counts();
        entry.link.reset();
    }
}

void CFaultProxy::Stop()
{
    if (m_listener < 0)
        return;
    m_stopping = true;
    testplatform::WakeBlockedCalls(m_listener);
    if (m_acceptThread.joinable())
        m_acceptThread.join();
    testplatform::CloseSocket(m_listener);
    m_listener = -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (Entry& entry : m_entries)
    {
        if (!entry.link)
            continue;
        entry.link->Shut();
        entry.log = entry.link->Log();
        entry.counts = entry.link->Counts();
        entry.link.reset();
    }
}

std::vector<ProxyConnectionLog> CFaultProxy::Logs()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<ProxyConnectionLog> logs;
    for (Entry& entry : m_entries)
        logs.push_back(entry.link ? entry.link->Log() : entry.log);
    return logs;
}

std::vector<uint64_t> CFaultProxy::FaultCounts()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    std::vector<uint64_t> counts(static_cast<std::size_t>(ProxyFault::Reset) + 1, 0);
    for (Entry& entry : m_entries)
    {
        const std::vector<uint64_t> c = entry.link ? entry.link->Counts() : entry.counts;
        for (std::size_t i = 0; i < c.size(); ++i)
            counts[i] += c[i];
    }
    return counts;
}
