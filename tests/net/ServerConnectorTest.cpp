// Connecting, rotating through addresses, heartbeats and losses, end to end
// against real peers on loopback with the connector's engine on its own
// thread.
#include "net/CServerConnection.h"
#include "net/CServerConnector.h"
#include "net/Platform.h"
#include "quote/CTarnQuotApiImp.h"

#include "net/NetworkThread.h"
#include "net/RecordingSpi.h"
#include "net/TestFrames.h"
#include "net/TestPeer.h"
#include "support/TestSpinning.h"

#include <boost/system/system_error.hpp>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// How long a test waits for an event before it gives up. A wait ends as soon
// as the event comes; on a loaded machine, under the sanitizers or under an
// emulation layer, events can come late. Timing assertions keep the lower
// bounds that are their point and leave the upper ones generous.
constexpr std::chrono::milliseconds Patience = 20s;

double SecondsBetween(Clock::time_point from, Clock::time_point to)
{
    return std::chrono::duration<double>(to - from).count();
}

TEST(ServerConnectorAddress, HostAndServiceAreTakenAsTheResolverExpectsThem)
{
    struct Case
    {
        const char* Address;
        const char* Host;
        const char* Service;
    };
    const Case cases[] = {
        {"127.0.0.1:8080", "127.0.0.1", "8080"},
        {"quotes.example:65537", "quotes.example", "1"},  // low 16 bits only
        {"h:abc", "h", "0"},                               // no digits
        {"h: 42x", "h", "42"},                             // blanks, then digits up to a non-digit
        {"h:-1", "h", "65535"},
        {"h:1:2", "h", "1"},                               // split at the first colon
        {"h:", "h", "0"},
        {":9000", "", "9000"},                             // this machine
        {"[::1]:9000", "::1", "9000"},                     // IPv6 literal in brackets
        {"[]:9000", "", "9000"},
        {"[::1]", "[", "0"},                               // no "]:": the first colon
        {"h]:1", "h]", "1"},                               // no leading bracket
    };
    for (const Case& c : cases)
    {
        std::string host, service;
        ASSERT_TRUE(CServerConnector::ParseAddress(c.Address, host, service)) << c.Address;
        EXPECT_EQ(c.Host, host) << c.Address;
        EXPECT_EQ(c.Service, service) << c.Address;
    }
    std::string host, service;
    EXPECT_TRUE(CServerConnector::ParseAddress(std::string(127, 'h') + ":1", host, service));
    EXPECT_EQ(127u, host.size());
    EXPECT_FALSE(CServerConnector::ParseAddress(std::string(128, 'h') + ":1", host, service));
    EXPECT_TRUE(CServerConnector::ParseAddress("[" + std::string(127, 'h') + "]:1", host, service));
    EXPECT_EQ(127u, host.size());
    EXPECT_FALSE(CServerConnector::ParseAddress("[" + std::string(128, 'h') + "]:1", host, service));
    EXPECT_FALSE(CServerConnector::ParseAddress("no-colon", host, service));
}

// Until the peer's latest connection has brought count whole frames.
bool WaitForFrames(const TestPeer& peer, std::size_t count)
{
    return peer.WaitUntilReceived(
        [count](const std::string& received) { return TestFrames::Split(received).size() >= count; }, Patience);
}

// A peer on ::1 that holds the port, or nothing where ::1 is not configured.
std::unique_ptr<TestPeer> RefusingOnIpv6(uint16_t port)
{
    TestPeerOptions options = TestPeer::Refusing();
    options.Ipv6 = true;
    options.Port = port;
    return std::make_unique<TestPeer>(options);
}

bool Ipv6LoopbackConfigured()
{
    try
    {
        RefusingOnIpv6(0);
        return true;
    }
    catch (const std::runtime_error&)
    {
        return false;
    }
}

class ServerConnectorTest : public ::testing::Test
{
protected:
    void Start(std::vector<std::string> addresses, uint16_t heartbeatSeconds = 120,
               int spinning = testspinning::Setting())
    {
        m_client.SetCallback(&m_spy);
        m_connector.reset(
            new CServerConnector(m_ioContext, &m_client, std::move(addresses), heartbeatSeconds, 65536, 65536));
        m_started = Clock::now();
        ASSERT_EQ(0, m_connector->Connect());
        m_network.reset(new NetworkThread(m_ioContext, spinning));
    }

    boost::shared_ptr<CServerConnection> Connection() { return m_connector->GetConnection(); }

    // With a heartbeat of 2 s: a heartbeat after a second without sending,
    // then the close after two without a byte (both timers start with the
    // connection, which is after m_started).
    void ExpectHeartbeatThenTimeout(TestPeer& peer, const CServerConnection& dropped)
    {
        ASSERT_TRUE(peer.WaitForReceived(54, Patience));
        EXPECT_GE(SecondsBetween(m_started, Clock::now()), 0.95);
        EXPECT_EQ(TestFrames::Heartbeat(), peer.ReceivedOn(1).substr(0, 54));
        ASSERT_TRUE(m_spy.WaitFor("disconnected", 1, Patience));
        EXPECT_GE(SecondsBetween(m_started, Clock::now()), 1.95);
        EXPECT_EQ("Disconnect because of heartbeat timeout!", dropped.GetCloseReason());
    }

    // Both ends have seen the n-th connection.
    bool Connected(const TestPeer& peer, std::size_t n)
    {
        return m_spy.WaitFor("connected", n, Patience) && peer.WaitForAccepted(n, Patience);
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
    Clock::time_point m_started;
};

TEST_F(ServerConnectorTest, UnusableAddressesFailLikeUnknownNames)
{
    m_client.SetCallback(&m_spy);
    const std::string addresses[] = {"no-colon", std::string(128, 'h') + ":80"};
    for (const std::string& address : addresses)
    {
        CServerConnector connector(m_ioContext, &m_client, {address}, 120, 4096, 4096);
        if (!Platform::ExceptionsReachTheApplication)
        {
            // No raise there: the attempt counts as failed and a retry is due.
            EXPECT_EQ(0, connector.Connect()) << address;
            EXPECT_FALSE(connector.GetConnection());
            connector.Stop();
            continue;
        }
        try
        {
            connector.Connect();
            ADD_FAILURE() << "no error for " << address;
        }
        catch (const boost::system::system_error& error)
        {
            EXPECT_NE(nullptr, std::strstr(error.what(), "resolve")) << error.what();
        }
    }
    CServerConnector empty(m_ioContext, &m_client, {}, 120, 4096, 4096);
    EXPECT_EQ(-1, empty.Connect());
}

TEST_F(ServerConnectorTest, EmptyHostConnectsToThisMachine)
{
    // The empty name resolves to ::1 too where it is configured: a peer there
    // holds the same port and refuses, so only the IPv4 peer can answer.
    std::unique_ptr<TestPeer> peer;
    std::unique_ptr<TestPeer> held;
    const bool ipv6 = Ipv6LoopbackConfigured();
    for (int attempt = 0; attempt < 20 && !peer; ++attempt)
    {
        peer = std::make_unique<TestPeer>();
        try
        {
            if (ipv6)
                held = RefusingOnIpv6(peer->Port());
        }
        catch (const std::runtime_error&)
        {
            peer.reset();  // taken on ::1; try another port
        }
    }
    ASSERT_TRUE(peer);
    Start({":" + std::to_string(peer->Port())});
    ASSERT_TRUE(Connected(*peer, 1));
}

TEST_F(ServerConnectorTest, BracketedIpv6LiteralConnects)
{
    if (!Ipv6LoopbackConfigured())
        GTEST_SKIP() << "::1 is not configured on this machine";
    TestPeerOptions options;
    options.Ipv6 = true;
    TestPeer peer(options);
    Start({"[::1]:" + std::to_string(peer.Port())});
    ASSERT_TRUE(Connected(peer, 1));
}

TEST_F(ServerConnectorTest, PortAbove65535ConnectsToItsLow16Bits)
{
    TestPeer peer;
    Start({"127.0.0.1:" + std::to_string(peer.Port() + 65536u)});
    EXPECT_TRUE(Connected(peer, 1));
}

TEST_F(ServerConnectorTest, FailedAttemptsGoRoundTheAddressesOneSecondApart)
{
    TestPeer first(TestPeer::Refusing());
    TestPeer second(TestPeer::Refusing());
    Start({first.Address(), second.Address()});
    // The first attempt has been refused within Connect: a connect on
    // loopback is answered before the call returns. The first address, which
    // accepts from now on, is reached again only after a pause, a refusal by
    // the second address and another pause.
    first.Listen();
    ASSERT_TRUE(first.WaitForAccepted(1, Patience));
    const double at = SecondsBetween(m_started, first.AcceptedAt(1));
    EXPECT_GE(at, 1.95);
    EXPECT_LT(at, 8.0);
    ASSERT_TRUE(m_spy.WaitFor("connected", 1, Patience));
    // Failed attempts are never reported.
    EXPECT_EQ(std::vector<std::string>{"connected"}, m_spy.Events());
}

TEST_F(ServerConnectorTest, LossStartsAgainFromTheFirstAddress)
{
    TestPeer firstPeer(TestPeer::Refusing());
    TestPeer second;
    Start({firstPeer.Address(), second.Address()});
    ASSERT_TRUE(second.WaitForAccepted(1, Patience));
    EXPECT_GE(SecondsBetween(m_started, second.AcceptedAt(1)), 0.95);  // one pause after the refusal
    ASSERT_TRUE(m_spy.WaitFor("connected", 1, Patience));
    const boost::shared_ptr<CServerConnection> lost = Connection();

    firstPeer.Listen();
    second.Close();
    ASSERT_TRUE(firstPeer.WaitForAccepted(1, Patience));
    ASSERT_TRUE(m_spy.WaitFor("connected", 2, Patience));
    EXPECT_EQ(1u, second.Accepted());
    EXPECT_EQ((std::vector<std::string>{"connected", "disconnected", "connected"}), m_spy.Events());
    EXPECT_TRUE(lost->IsClosed());
    EXPECT_EQ("", lost->GetCloseReason());
    EXPECT_NE(lost, Connection());
}

TEST_F(ServerConnectorTest, UnresolvableAddressOnTheNetworkThreadIsSkipped)
{
    TestPeer refusing(TestPeer::Refusing());
    TestPeer peer;
    Start({refusing.Address(), "no-colon", peer.Address()});
    ASSERT_TRUE(peer.WaitForAccepted(1, Patience));
    // A pause after the refusal, another after the name that cannot be resolved.
    const double at = SecondsBetween(m_started, peer.AcceptedAt(1));
    EXPECT_GE(at, 1.95);
    EXPECT_LT(at, 8.0);
    EXPECT_TRUE(m_spy.WaitFor("connected", 1, Patience));
}

TEST_F(ServerConnectorTest, PeerResetIsOneLossThenAReconnect)
{
    TestPeer peer;
    Start({peer.Address()});
    ASSERT_TRUE(Connected(peer, 1));
    peer.Reset();
    ASSERT_TRUE(Connected(peer, 2));
    EXPECT_EQ((std::vector<std::string>{"connected", "disconnected", "connected"}), m_spy.Events());
}

TEST_F(ServerConnectorTest, StopFromTheLossNotificationEndsTheCycle)
{
    TestPeer peer;
    m_spy.SetAction([this](const std::string& event) {
        if (event == "disconnected")
            m_connector->Stop();
    });
    Start({peer.Address()});
    ASSERT_TRUE(Connected(peer, 1));
    peer.Close();
    ASSERT_TRUE(m_spy.WaitFor("disconnected", 1, Patience));
    // Once the network thread has finished with the loss, a reconnect would
    // have been answered on loopback already and only wait to be accepted.
    m_network->Run([] {});
    EXPECT_FALSE(peer.WaitForAccepted(2, 1000ms));
    EXPECT_EQ(nullptr, Connection());
}

TEST_F(ServerConnectorTest, QuotesArriveInOrderOverTheSocket)
{
    TestPeer peer;
    Start({peer.Address()});
    ASSERT_TRUE(Connected(peer, 1));
    std::string stream;
    std::vector<std::string> expected{"connected"};
    for (int i = 0; i < 300; ++i)
    {
        stream += TestFrames::Quote("Q" + std::to_string(i));
        expected.push_back("quote:Q" + std::to_string(i));
    }
    peer.SendInPieces(stream, {3, 1000, 7001});
    ASSERT_TRUE(m_spy.WaitFor("quote:Q299", 1, Patience));
    EXPECT_EQ(expected, m_spy.Events());
}

class OversizedOverTheSocketTest : public ServerConnectorTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(OversizedOverTheSocketTest, DropsTheLinkAndReconnects)
{
    TestPeer peer;
    Start({peer.Address()});
    ASSERT_TRUE(Connected(peer, 1));
    const boost::shared_ptr<CServerConnection> dropped = Connection();
    const std::string quote = TestFrames::Quote("A");
    const std::string bytes = quote + TestFrames::Prefix(8189) + std::string(100, 'x');
    if (GetParam())
        peer.SendInPieces(bytes, {quote.size() + 2});  // the prefix split 2 + 2
    else
        peer.Send(bytes);
    ASSERT_TRUE(Connected(peer, 2));
    EXPECT_EQ((std::vector<std::string>{"connected", "quote:A", "disconnected", "connected"}), m_spy.Events());
    EXPECT_EQ("Disconnect because package is too large!", dropped->GetCloseReason());
}

INSTANTIATE_TEST_SUITE_P(WholeOrSplit, OversizedOverTheSocketTest, ::testing::Bool());

TEST_F(ServerConnectorTest, SilentLinkSendsHeartbeatsThenTimesOut)
{
    TestPeer peer;
    Start({peer.Address()}, 2);  // heartbeat after 1 s without sending, timeout after 2 s without a byte
    ASSERT_TRUE(Connected(peer, 1));
    const boost::shared_ptr<CServerConnection> dropped = Connection();
    ExpectHeartbeatThenTimeout(peer, *dropped);
    const std::string sent = peer.ReceivedOn(1);
    EXPECT_EQ(0u, sent.size() % 54);
    EXPECT_EQ(TestFrames::Heartbeat(), sent.substr(sent.size() - 54));
    // A request on the closed connection is refused.
    EXPECT_EQ(-1, m_network->Run([&] { return dropped->SendLogout(LogoutReq(), 1); }));
    EXPECT_TRUE(peer.WaitForAccepted(2, Patience));
}

TEST_F(ServerConnectorTest, TrafficFromThePeerKeepsTheLinkUpUntilItStops)
{
    TestPeer peer;
    Start({peer.Address()}, 2);  // timeout after 2 s without a byte
    ASSERT_TRUE(Connected(peer, 1));
    const boost::shared_ptr<CServerConnection> connection = Connection();
    // Quotes 400 ms apart for longer than the timeout.
    std::vector<std::string> expected{"connected"};
    Clock::time_point lastSend = Clock::now();
    double longestGap = 0;
    for (int i = 0; i < 7; ++i)
    {
        std::this_thread::sleep_for(400ms);
        const Clock::time_point now = Clock::now();
        longestGap = std::max(longestGap, SecondsBetween(lastSend, now));
        lastSend = now;
        peer.Send(TestFrames::Quote("K" + std::to_string(i)));
        expected.push_back("quote:K" + std::to_string(i));
    }
    ASSERT_LT(longestGap, 1.9) << "the test paused too long between quotes to judge the timeout";
    ASSERT_TRUE(m_spy.WaitFor("quote:K6", 1, Patience));
    EXPECT_EQ(expected, m_spy.Events());
    // The timeout counts from the last byte received.
    ASSERT_TRUE(m_spy.WaitFor("disconnected", 1, Patience));
    EXPECT_GE(SecondsBetween(lastSend, Clock::now()), 1.95);
    EXPECT_EQ("Disconnect because of heartbeat timeout!", connection->GetCloseReason());
    // Receiving does not count as sending: heartbeats left all along.
    const std::string sent = peer.ReceivedOn(1);
    EXPECT_GE(sent.size(), 3u * 54);
    EXPECT_EQ(TestFrames::Heartbeat(), sent.substr(0, 54));
}

TEST_F(ServerConnectorTest, RequestRestartsTheHeartbeatInterval)
{
    TestPeer peer;
    Start({peer.Address()}, 2);  // heartbeat after 1 s without sending
    ASSERT_TRUE(Connected(peer, 1));
    const boost::shared_ptr<CServerConnection> connection = Connection();
    QuotSubscribeReq request{};
    std::strcpy(request.InstrumentID, "IF2412");
    // Half-way through an interval (just after a heartbeat) a request puts
    // the next heartbeat off to a whole interval after it. The request must
    // leave before the heartbeat that was due; on a machine too slow for
    // that, the next interval is tried.
    bool judged = false;
    for (int attempt = 0; attempt < 3 && !judged; ++attempt)
    {
        peer.Send(TestFrames::Quote("keep"));  // keeps the receive timeout away
        const std::size_t heard = TestFrames::Split(peer.ReceivedOn(1)).size();
        ASSERT_TRUE(WaitForFrames(peer, heard + 1));  // a heartbeat: an interval begins
        std::this_thread::sleep_for(500ms);
        const Clock::time_point requested = Clock::now();
        ASSERT_EQ(0, m_network->Run([&] { return connection->SendSubscribe(request, 5); }));
        peer.Send(TestFrames::Quote("keep"));
        ASSERT_TRUE(WaitForFrames(peer, heard + 3));  // the request and a heartbeat
        const double after = SecondsBetween(requested, Clock::now());
        const std::vector<std::string> frames = TestFrames::Split(peer.ReceivedOn(1));
        ASSERT_EQ(0, TestFrames::ServiceOf(frames[heard]));
        if (TestFrames::ServiceOf(frames[heard + 1]) != 7)
            continue;  // the due heartbeat left first
        EXPECT_EQ(TestFrames::Heartbeat(), frames[heard + 2]);
        EXPECT_GE(after, 0.95);
        judged = true;
    }
    EXPECT_TRUE(judged) << "no request left before the heartbeat due in three tries";
    EXPECT_EQ(0u, m_spy.Count("disconnected"));
}

// A network thread that polls (without end, or for a while after each event)
// keeps the link's timing: a heartbeat after a second without sending, a
// timeout after two without receiving, a reconnect at once, and it stops.
class SpinningConnectorTest : public ServerConnectorTest, public ::testing::WithParamInterface<int>
{
};

TEST_P(SpinningConnectorTest, HeartbeatTimeoutReconnectAndStop)
{
    TestPeer peer;
    Start({peer.Address()}, 2, GetParam());
    ASSERT_TRUE(Connected(peer, 1));
    const boost::shared_ptr<CServerConnection> dropped = Connection();
    ExpectHeartbeatThenTimeout(peer, *dropped);

    ASSERT_TRUE(Connected(peer, 2));
    peer.Send(TestFrames::Quote("S1"));
    ASSERT_TRUE(m_spy.WaitFor("quote:S1", 1, Patience));
    const boost::shared_ptr<CServerConnection> current = Connection();
    const Clock::time_point stopping = Clock::now();
    m_network->Join();
    EXPECT_LT(SecondsBetween(stopping, Clock::now()), 5.0);
    m_connector->Stop();
    EXPECT_EQ("Stoped", current->GetCloseReason());
    EXPECT_EQ((std::vector<std::string>{"connected", "disconnected", "connected", "quote:S1"}), m_spy.Events());
}

INSTANTIATE_TEST_SUITE_P(AlwaysOrAWhile, SpinningConnectorTest, ::testing::Values(CEngineRunner::SpinAlways, 300));

TEST_F(ServerConnectorTest, StopClosesWithoutReportingOrReconnecting)
{
    TestPeer peer;
    Start({peer.Address()});
    ASSERT_TRUE(Connected(peer, 1));
    const boost::shared_ptr<CServerConnection> connection = Connection();
    m_network->Join();
    m_connector->Stop();
    EXPECT_TRUE(connection->IsClosed());
    EXPECT_EQ("Stoped", connection->GetCloseReason());
    EXPECT_TRUE(peer.WaitForClientClose(Patience));
    EXPECT_EQ(std::vector<std::string>{"connected"}, m_spy.Events());
    EXPECT_EQ(1u, peer.Accepted());
}

} // namespace
