// The link's figures against a real peer on loopback: they count exactly what
// the peer sent and what happened to the link, and another thread can read
// them at any time while the network thread writes them.
#include "net/CLinkStats.h"
#include "net/CServerConnector.h"
#include "quote/CTarnQuotApiImp.h"

#include "net/NetworkThread.h"
#include "net/RecordingSpi.h"
#include "net/TestFrames.h"
#include "net/TestPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

namespace
{

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds Patience = 20s;

class LinkStatsTest : public ::testing::Test
{
protected:
    void Start(const std::string& address, uint16_t heartbeatSeconds)
    {
        m_client.SetCallback(&m_spy);
        m_connector.reset(new CServerConnector(m_ioContext, &m_client, {address}, heartbeatSeconds, 65536, 65536));
        ASSERT_EQ(0, m_connector->Connect());
        m_network.reset(new NetworkThread(m_ioContext));
    }

    CLinkStats::Snapshot Read()
    {
        CLinkStats::Snapshot snapshot{};
        m_client.GetLinkStats().Read(snapshot);
        return snapshot;
    }

    void TearDown() override
    {
        if (m_network)
            m_network->Join();
        if (m_connector)
            m_connector->Stop();
    }

    boost::asio::io_context m_ioContext;
    RecordingSpi m_spy;
    CTarnQuotApiImp m_client;
    std::unique_ptr<CServerConnector> m_connector;
    std::unique_ptr<NetworkThread> m_network;
};

TEST_F(LinkStatsTest, CountsWhatThePeerSentAndWhatBecameOfTheLink)
{
    TestPeer peer;
    const CLinkStats::Snapshot idle = Read();
    EXPECT_FALSE(idle.HasReceived);
    EXPECT_EQ(idle.ConnectionsMade, 0u);

    // A reader on its own thread all along: the address it sees is always
    // whole, and no counter ever goes back.
    std::atomic<bool> stop{false};
    std::atomic<int> torn{0};
    std::atomic<int> backwards{0};
    std::thread reader([&] {
        CLinkStats::Snapshot previous{};
        while (!stop)
        {
            CLinkStats::Snapshot now{};
            m_client.GetLinkStats().Read(now);
            const std::string address = now.ServerAddress;
            torn += !address.empty() && address != peer.Address();
            backwards += now.BytesReceived < previous.BytesReceived || now.PackagesReceived < previous.PackagesReceived;
            previous = now;
        }
    });

    Start(peer.Address(), 120);
    ASSERT_TRUE(m_spy.WaitFor("connected", 1, Patience));
    ASSERT_TRUE(peer.WaitForAccepted(1, Patience));
    EXPECT_EQ(Read().ConnectionsMade, 1u);
    EXPECT_EQ(std::string(Read().ServerAddress), peer.Address());

    // Five quotes, a package of another service, and a quote in pieces.
    std::string stream;
    for (int i = 0; i < 5; ++i)
        stream += TestFrames::Quote("Q" + std::to_string(i));
    stream += TestFrames::Heartbeat();
    peer.Send(stream);
    const std::string split = TestFrames::Quote("SPLIT");
    peer.SendInPieces(split, {1, 5, 30});
    ASSERT_TRUE(m_spy.WaitFor("quote:SPLIT", 1, Patience));
    const CLinkStats::Snapshot received = Read();
    EXPECT_EQ(received.QuotesReceived, 6u);
    EXPECT_EQ(received.PackagesReceived, 7u);
    EXPECT_EQ(received.BytesReceived, stream.size() + split.size());
    EXPECT_TRUE(received.HasReceived);

    // The server falls silent: the age of its last byte grows, its time stays.
    std::this_thread::sleep_for(300ms);
    const CLinkStats::Snapshot silent = Read();
    EXPECT_GE(silent.LastReceiveAge - received.LastReceiveAge, std::chrono::milliseconds(290));
    EXPECT_LT(std::chrono::abs(silent.LastReceiveTime - received.LastReceiveTime), std::chrono::milliseconds(20));
    EXPECT_EQ(silent.BytesReceived, received.BytesReceived);

    // Lost, then connected again at once.
    peer.Reset();
    ASSERT_TRUE(m_spy.WaitFor("disconnected", 1, Patience));
    ASSERT_TRUE(m_spy.WaitFor("connected", 2, Patience));
    const CLinkStats::Snapshot again = Read();
    EXPECT_EQ(again.LinksLost, 1u);
    EXPECT_EQ(again.ConnectionsMade, 2u);
    EXPECT_EQ(std::string(again.ServerAddress), peer.Address());

    m_network->Join();
    m_connector->Stop();
    EXPECT_STREQ(Read().ServerAddress, "");
    EXPECT_EQ(Read().LinksLost, 1u);  // a stop is no loss
    stop = true;
    reader.join();
    EXPECT_EQ(torn, 0);
    EXPECT_EQ(backwards, 0);
}

TEST_F(LinkStatsTest, HeartbeatsAreTheOnesThePeerReceived)
{
    TestPeer peer;
    Start(peer.Address(), 2);  // a heartbeat every second without sending
    ASSERT_TRUE(m_spy.WaitFor("connected", 1, Patience));
    ASSERT_TRUE(peer.WaitForAccepted(1, Patience));
    const std::size_t size = TestFrames::Heartbeat().size();
    // The peer keeps the link up (receiving does not delay the heartbeats)
    // until it has had two of them.
    for (int i = 0; peer.Received().size() < 2 * size && i < 100; ++i)
    {
        peer.Send(TestFrames::Quote("K"));
        std::this_thread::sleep_for(200ms);
    }
    // A heartbeat is counted when it is queued, so what the peer has is
    // framed by two readings of the figure.
    const uint64_t before = Read().HeartbeatsSent;
    ASSERT_GE(before, 2u);
    ASSERT_TRUE(peer.WaitForReceived(before * size, Patience));
    const std::string sent = peer.Received();
    const uint64_t after = Read().HeartbeatsSent;
    EXPECT_EQ(sent.size() % size, 0u);
    EXPECT_LE(before, sent.size() / size);
    EXPECT_GE(after, sent.size() / size);
    EXPECT_EQ(sent.substr(0, size), TestFrames::Heartbeat());
}

}  // namespace
