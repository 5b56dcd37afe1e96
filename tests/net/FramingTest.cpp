// Framing of received chunks, fed straight into a connection's receive path.
#include "net/CServerConnection.h"
#include "net/CServerConnector.h"
#include "quote/CTarnQuotApiImp.h"

#include "net/RecordingSpi.h"
#include "net/TestFrames.h"

#include <boost/asio/io_context.hpp>
#include <boost/make_shared.hpp>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{

const char* const TooLarge = "Disconnect because package is too large!";

class FramingTest : public ::testing::Test
{
protected:
    FramingTest()
        : m_connector(m_ioContext, &m_client, {}, 120, 4096, 4096),
          m_connection(boost::make_shared<CServerConnection>(m_ioContext, &m_connector, &m_client, 120, 4096, 4096))
    {
        m_client.SetCallback(&m_spy);
    }

    int Feed(const std::string& bytes)
    {
        return m_connection->OnReceive(bytes.data(), static_cast<uint32_t>(bytes.size()));
    }

    // Three quotes with an empty package between them.
    static std::string Stream()
    {
        return TestFrames::Quote("A") + TestFrames::Prefix(0) + TestFrames::Quote("BB") + TestFrames::Quote("CCC");
    }

    static std::vector<std::string> StreamQuotes() { return {"quote:A", "quote:BB", "quote:CCC"}; }

    boost::asio::io_context m_ioContext;
    RecordingSpi m_spy;
    CTarnQuotApiImp m_client;
    CServerConnector m_connector;
    boost::shared_ptr<CServerConnection> m_connection;
};

TEST_F(FramingTest, EverySplitIntoTwoChunksDeliversEachPackageOnceInOrder)
{
    const std::string stream = Stream();
    for (std::size_t i = 1; i < stream.size(); ++i)
    {
        m_spy.Clear();
        ASSERT_EQ(0, Feed(stream.substr(0, i)));
        ASSERT_EQ(0, Feed(stream.substr(i)));
        ASSERT_EQ(StreamQuotes(), m_spy.Events()) << "split at " << i;
    }
    EXPECT_FALSE(m_connection->IsClosed());
}

TEST_F(FramingTest, EverySplitIntoThreeChunksDeliversEachPackageOnceInOrder)
{
    const std::string stream = Stream();
    for (std::size_t i = 1; i + 1 < stream.size(); ++i)
    {
        for (std::size_t j = i + 1; j < stream.size(); ++j)
        {
            m_spy.Clear();
            ASSERT_EQ(0, Feed(stream.substr(0, i)));
            ASSERT_EQ(0, Feed(stream.substr(i, j - i)));
            ASSERT_EQ(0, Feed(stream.substr(j)));
            ASSERT_EQ(StreamQuotes(), m_spy.Events()) << "split at " << i << " and " << j;
        }
    }
}

TEST_F(FramingTest, OneByteAtATime)
{
    const std::string stream = Stream() + Stream();
    for (char byte : stream)
        ASSERT_EQ(0, Feed(std::string(1, byte)));
    std::vector<std::string> expected = StreamQuotes();
    const std::vector<std::string> again = StreamQuotes();
    expected.insert(expected.end(), again.begin(), again.end());
    EXPECT_EQ(expected, m_spy.Events());
}

TEST_F(FramingTest, LargestBodyIsAssembledAcrossChunks)
{
    // An all-zero body of 8188 bytes carries no ApiHead: it is ignored.
    const std::string frame = TestFrames::Prefix(8188) + std::string(8188, '\0');
    ASSERT_EQ(0, Feed(frame.substr(0, 104)));
    ASSERT_EQ(0, Feed(frame.substr(104, 5000)));
    ASSERT_EQ(0, Feed(frame.substr(5104) + TestFrames::Quote("Z")));
    EXPECT_FALSE(m_connection->IsClosed());
    EXPECT_EQ(std::vector<std::string>{"quote:Z"}, m_spy.Events());
}

// Where the oversized prefix is cut: 0 = it arrives whole.
class OversizedPrefixTest : public FramingTest, public ::testing::WithParamInterface<std::size_t>
{
};

TEST_P(OversizedPrefixTest, ClosesAsSoonAsThePrefixIsComplete)
{
    const std::string before = TestFrames::Quote("A");
    const std::string prefix = TestFrames::Prefix(8189);
    const std::size_t cut = GetParam();
    if (cut > 0)
        ASSERT_EQ(0, Feed(before + prefix.substr(0, cut)));
    else
        ASSERT_EQ(0, Feed(before));
    // No body byte follows: the size alone decides. The quote behind it is
    // never looked at.
    EXPECT_EQ(-1, Feed(prefix.substr(cut) + TestFrames::Quote("B")));
    EXPECT_TRUE(m_connection->IsClosed());
    EXPECT_EQ(TooLarge, m_connection->GetCloseReason());
    EXPECT_EQ((std::vector<std::string>{"quote:A", "disconnected"}), m_spy.Events());
}

INSTANTIATE_TEST_SUITE_P(Cuts, OversizedPrefixTest, ::testing::Values(0u, 1u, 2u, 3u));

TEST_F(FramingTest, StopFromAQuoteNotificationDropsTheRestOfTheChunk)
{
    m_spy.SetAction([this](const std::string& event) {
        if (event == "quote:A")
            m_connector.Stop();
    });
    m_connector.OnConnect(boost::system::error_code(), m_connection);  // now the current connection
    m_spy.Clear();
    EXPECT_EQ(-1, Feed(TestFrames::Quote("A") + TestFrames::Quote("B")));
    EXPECT_EQ("Stoped", m_connection->GetCloseReason());
    EXPECT_EQ(std::vector<std::string>{"quote:A"}, m_spy.Events());
}

TEST_F(FramingTest, SecondCloseReportsNothing)
{
    m_connection->Close("first");
    m_connection->Close("second");
    EXPECT_EQ("first", m_connection->GetCloseReason());
    EXPECT_EQ(std::vector<std::string>{"disconnected"}, m_spy.Events());
}

} // namespace
