// The block write queue and the read loop of CTcpConnection against a real
// peer on loopback, with small blocks.
#include "net/CTcpConnection.h"

#include "net/NetworkThread.h"
#include "net/TestPeer.h"

#include <boost/asio/ip/address_v4.hpp>
#include <boost/asio/post.hpp>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;

// Upper bound of every wait for an event; generous for loaded machines.
constexpr std::chrono::milliseconds Patience = 20s;

// The smallest derived connection: counts its disconnects, keeps its input.
class SinkConnection final : public CTcpConnection
{
public:
    SinkConnection(boost::asio::io_context& ioContext, uint32_t writeBlockSize, uint32_t readBufferSize)
        : CTcpConnection(ioContext, writeBlockSize, readBufferSize), m_disconnects(0)
    {
    }

    int Disconnects() const { return m_disconnects; }

    bool WaitForInput(std::size_t size, std::chrono::milliseconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_grown.wait_for(lock, timeout, [&] { return m_input.size() >= size; });
    }

    std::string Input()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_input;
    }

protected:
    void OnDisconnect(const char*) override { ++m_disconnects; }
    int OnReceive(const char* data, uint32_t length) override
    {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_input.append(data, length);
        }
        m_grown.notify_all();
        return 0;
    }

private:
    std::atomic<int> m_disconnects;
    std::mutex m_mutex;
    std::condition_variable m_grown;
    std::string m_input;
};

std::string Pattern(std::size_t size, std::size_t seed)
{
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 31 + seed * 7) & 0xFF);
    return bytes;
}

class TcpConnectionTest : public ::testing::Test
{
protected:
    void Open(uint32_t writeBlockSize, TestPeerOptions options = TestPeerOptions(), uint32_t readBufferSize = 4096)
    {
        m_peer.reset(new TestPeer(options));
        m_connection = boost::make_shared<SinkConnection>(m_ioContext, writeBlockSize, readBufferSize);
        m_connection->GetSocket().connect(
            {boost::asio::ip::address_v4::loopback(), m_peer->Port()});
        ASSERT_TRUE(m_peer->WaitForAccepted(1, Patience));
        m_network.reset(new NetworkThread(m_ioContext));
        m_network->Run([this] { m_connection->Start(m_connection); });
    }

    void Send(const std::string& bytes)
    {
        m_network->Run([&] { m_connection->Send(bytes.data(), static_cast<int>(bytes.size())); });
    }

    std::size_t Blocks()
    {
        return m_network->Run([this] { return m_connection->GetWriteBlockCount(); });
    }

    // Waits until every queued byte has been confirmed written, which leaves
    // exactly one block.
    bool WaitForOneBlock()
    {
        for (auto end = std::chrono::steady_clock::now() + Patience; std::chrono::steady_clock::now() < end;)
        {
            if (Blocks() == 1)
                return true;
            std::this_thread::sleep_for(2ms);
        }
        return false;
    }

    void TearDown() override
    {
        if (m_network)
        {
            m_network->Run([this] { m_connection->Close("done"); });
            m_network->Join();
        }
    }

    boost::asio::io_context m_ioContext;
    std::unique_ptr<TestPeer> m_peer;
    boost::shared_ptr<SinkConnection> m_connection;
    std::unique_ptr<NetworkThread> m_network;
};

TEST_F(TcpConnectionTest, ExactlyFilledBlockIsFollowedByANewOne)
{
    Open(16);
    const std::string full = Pattern(16, 1);
    const std::string more = Pattern(5, 2);
    const std::size_t blocksAfterBoth = m_network->Run([&] {
        m_connection->Send(full.data(), 16);
        m_connection->Send(more.data(), 5);
        return m_connection->GetWriteBlockCount();
    });
    EXPECT_EQ(2u, blocksAfterBoth);
    ASSERT_TRUE(m_peer->WaitForReceived(21, Patience));
    EXPECT_EQ(full + more, m_peer->Received());
    ASSERT_TRUE(WaitForOneBlock());

    // Drained: the kept block is reused from its start, so a full block's
    // worth fits without another allocation.
    const std::string again = Pattern(16, 3);
    const std::size_t blocksAfterRefill = m_network->Run([&] {
        m_connection->Send(again.data(), 16);
        return m_connection->GetWriteBlockCount();
    });
    EXPECT_EQ(1u, blocksAfterRefill);
    ASSERT_TRUE(m_peer->WaitForReceived(37, Patience));
    EXPECT_EQ(full + more + again, m_peer->Received());
}

TEST_F(TcpConnectionTest, SendLargerThanABlockSpansSeveralInOrder)
{
    Open(16);
    const std::string head = Pattern(9, 4);
    const std::string big = Pattern(100, 5);
    const std::size_t blocks = m_network->Run([&] {
        m_connection->Send(head.data(), 9);
        m_connection->Send(big.data(), 100);
        return m_connection->GetWriteBlockCount();
    });
    EXPECT_EQ(7u, blocks);  // 109 bytes in blocks of 16
    ASSERT_TRUE(m_peer->WaitForReceived(109, Patience));
    EXPECT_EQ(head + big, m_peer->Received());
    EXPECT_TRUE(WaitForOneBlock());
}

TEST_F(TcpConnectionTest, ShortWritesToASlowReaderKeepEveryByteInOrder)
{
    // Tiny socket buffers on both sides and a reader that takes its time:
    // most writes of a 64 KiB block complete short.
    TestPeerOptions slow;
    slow.ReadSize = 2048;
    slow.ReadPause = 1ms;
    slow.ReceiveBuffer = 4096;
    Open(65536, slow);
    m_network->Run([this] { m_connection->GetSocket().set_option(boost::asio::socket_base::send_buffer_size(4096)); });

    std::string expected;
    for (std::size_t i = 0; i < 120; ++i)
    {
        const std::string piece = Pattern(1 + (i * 2654435761u) % 9000, i);
        expected += piece;
        boost::asio::post(m_ioContext, [this, piece] {
            m_connection->Send(piece.data(), static_cast<int>(piece.size()));
        });
    }
    ASSERT_TRUE(m_peer->WaitForReceived(expected.size(), 3 * Patience));
    EXPECT_EQ(expected, m_peer->Received());
    EXPECT_TRUE(WaitForOneBlock());
}

// With a 16-byte read buffer, a burst is read in full buffers, one after the
// other, with nothing new arriving to wake the reader; then the socket is
// empty and the network thread must be free; then pieces arrive one at a
// time, mostly short of a buffer, and each must be read when it arrives.
TEST_F(TcpConnectionTest, ReadLoopTakesEveryByteInOrderAndWaitsWithoutBlocking)
{
    Open(16, TestPeerOptions(), 16);
    const std::string burst = Pattern(16 * 2048 + 5, 6);
    m_peer->Send(burst);
    ASSERT_TRUE(m_connection->WaitForInput(burst.size(), Patience));

    auto ran = std::make_shared<std::promise<void>>();
    boost::asio::post(m_ioContext, [ran] { ran->set_value(); });
    EXPECT_EQ(std::future_status::ready, ran->get_future().wait_for(Patience));

    std::string pieces = Pattern(700, 7);
    std::string sent = burst;
    for (std::size_t size : {1, 15, 16, 17, 300})
    {
        const std::string piece = pieces.substr(0, size);
        pieces.erase(0, size);
        m_peer->Send(piece);
        sent += piece;
        ASSERT_TRUE(m_connection->WaitForInput(sent.size(), Patience)) << "after a piece of " << size;
    }
    EXPECT_EQ(sent, m_connection->Input());
}

TEST_F(TcpConnectionTest, PeerCloseIsReportedOnce)
{
    Open(16);
    m_peer->Close();
    ASSERT_TRUE(m_peer->WaitForClientClose(Patience));
    EXPECT_TRUE(m_network->Run([this] { return m_connection->IsClosed(); }));
    EXPECT_EQ("", m_network->Run([this] { return m_connection->GetCloseReason(); }));
    // The close at tear-down must not report a second time.
    m_network->Run([this] { m_connection->Close("again"); });
    EXPECT_EQ(1, m_connection->Disconnects());
}

} // namespace
