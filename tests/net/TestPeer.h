// A real TCP server on 127.0.0.1 (or ::1) for transport tests: accepts
// connections, records what each client sent, and sends, closes or resets on
// request. Operations act on the most recently accepted connection.
//
// A peer made with Listening = false holds its port bound without listening:
// connections to it are refused, and no other test can take the port until
// the peer listens on it (Listen) or is destroyed.
#ifndef KELM_TESTS_NET_TESTPEER_H
#define KELM_TESTS_NET_TESTPEER_H

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TestPeerOptions
{
    bool Ipv6 = false;                  // ::1 instead of 127.0.0.1
    uint16_t Port = 0;                  // 0: an ephemeral port
    bool Listening = true;              // false: refuse connections until Listen()
    std::size_t ReadSize = 65536;       // bytes asked for by each read
    std::chrono::milliseconds ReadPause{0};  // pause after each read (slow reader)
    int ReceiveBuffer = 0;              // SO_RCVBUF of accepted sockets; 0 = default
};

class TestPeer
{
public:
    using Clock = std::chrono::steady_clock;

    /// Throws std::runtime_error when the address cannot be bound.
    explicit TestPeer(TestPeerOptions options = TestPeerOptions());
    ~TestPeer();
    TestPeer(const TestPeer&) = delete;
    TestPeer& operator=(const TestPeer&) = delete;

    /// A peer that refuses connections on a port it keeps.
    static TestPeerOptions Refusing();

    /// Starts accepting on the held port (a peer made with Listening = false).
    void Listen();

    uint16_t Port() const { return m_port; }
    /// "127.0.0.1:port" or "[::1]:port".
    std::string Address() const;

    std::size_t Accepted() const;
    bool WaitForAccepted(std::size_t count, std::chrono::milliseconds timeout) const;
    /// When the n-th connection (counting from 1) was accepted.
    Clock::time_point AcceptedAt(std::size_t n) const;

    void Send(const std::string& bytes);
    /// Sends the bytes in pieces of the given sizes (the rest last), pausing
    /// in between so that each piece reaches the client on its own.
    void SendInPieces(const std::string& bytes, const std::vector<std::size_t>& sizes);
    /// Orderly close (FIN) of our sending side.
    void Close();
    /// Abortive close (RST).
    void Reset();

    std::string Received() const;
    /// What the client sent on the n-th connection (counting from 1).
    std::string ReceivedOn(std::size_t n) const;
    bool WaitForReceived(std::size_t count, std::chrono::milliseconds timeout) const;
    /// Until condition holds for what the latest connection received.
    bool WaitUntilReceived(const std::function<bool(const std::string&)>& condition,
                           std::chrono::milliseconds timeout) const;
    /// True once the client has closed the latest connection.
    bool WaitForClientClose(std::chrono::milliseconds timeout) const;

private:
    struct Link
    {
        int Socket = -1;
        std::vector<char> Buffer;  // made before the reader starts, which then allocates nothing
        std::string Received;
        bool ClientClosed = false;
        Clock::time_point AcceptedAt;
        std::thread Reader;
    };

    void AcceptLoop();
    void ReadLoop(Link* link);
    Link* Latest() const;

    TestPeerOptions m_options;
    int m_listener;
    uint16_t m_port;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::deque<std::unique_ptr<Link>> m_links;
    bool m_stopping;
    std::thread m_acceptor;
};

#endif
