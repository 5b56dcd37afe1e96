// Bad input end to end, through the public API against our server on
// loopback: what the application sees when the server sends what it should
// not, and when the application itself calls with bad arguments.
#include "e2e/AppRecorder.h"
#include "net/Platform.h"
#include "reliability/SoakQuote.h"
#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "sim/SimService.h"
#include "support/WireBytes.h"
#include "support/TestSpinning.h"

#include <gtest/gtest.h>

#include <boost/system/system_error.hpp>

#include <cstring>
#include <random>
#include <string>

namespace
{

using namespace std::chrono_literals;

constexpr uint16_t kQuot = 1141;
constexpr uint16_t kInstrumentID = 1046;
constexpr uint16_t kPrice = 1047;
constexpr uint16_t kAmount = 1089;

wire::Bytes Prefix(uint32_t length)
{
    wire::Bytes out;
    wire::PutBE(out, length, 4);
    return out;
}

class BadInput : public ::testing::Test
{
protected:
    ~BadInput() override
    {
        if (api)
            api->Dispose();
        server.Stop();
    }

    void Connect()
    {
        server.Start("127.0.0.1", 0);
        api = testspinning::CreateApi();
        api->SetCallbackObject(&app);
        api->AddServerUrl(("tcp://127.0.0.1:" + std::to_string(server.Port())).c_str());
        api->Launch();
        ASSERT_TRUE(app.Wait([&] { return app.connects == 1; }));
        ASSERT_TRUE(server.WaitFor([&] { return server.SessionCount() == 1; }, 5s));
    }

    // The newest session: after a reconnect the old one is closed.
    uint64_t Session() { return server.SessionIds().back(); }
    void Send(const wire::Bytes& bytes) { server.SendTo(Session(), bytes); }
    void SendQuote(uint64_t n) { server.SendTo(Session(), CSimEncoder::Quote(soak::MakeQuote(n))); }

    // Waits for the quote numbered n as the newest one, intact.
    void ExpectQuote(uint64_t n, std::size_t count)
    {
        ASSERT_TRUE(app.Wait([&] { return app.quotes.size() == count; })) << "quote " << n << " did not come";
        const MarketDepthRecord last = app.Read([&] { return app.quotes.back(); });
        EXPECT_TRUE(soak::IsIntact(last));
        EXPECT_EQ(soak::NumberOf(last), n);
    }

    CSimServer server;
    AppRecorder app;
    CKelmRivoMdApi* api = nullptr;
};

// Oversized and truncated frames: the link is dropped (at once for an
// oversized prefix; at the end of the stream for a truncated frame), the loss
// is reported, the library connects again, and nothing of the bad frame
// reaches the application.
TEST_F(BadInput, StreamDamageDropsTheLinkAndComesBack)
{
    Connect();
    const wire::Bytes damages[] = {
        Prefix(8189),
        Prefix(0xFFFFFFFFu),
        wire::Concat({Prefix(8189), CSimEncoder::Quote(soak::MakeQuote(99))}),
        wire::Concat({Prefix(100), wire::Bytes(10, 0x41)}),  // then the server closes
        wire::Bytes{0, 0},                                   // half a prefix, then the close
    };
    int connects = 1;
    uint64_t n = 1;
    std::size_t quotes = 0;
    for (const wire::Bytes& damage : damages)
    {
        SCOPED_TRACE("damage " + std::to_string(connects));
        SendQuote(n);
        ExpectQuote(n++, ++quotes);
        const uint64_t session = Session();
        Send(damage);
        if (damage.size() < 4 || wire::Bytes(damage.begin(), damage.begin() + 4) == Prefix(100))
            server.CloseSession(session);
        ++connects;
        ASSERT_TRUE(app.Wait([&] { return app.connects == connects; }));
        EXPECT_EQ(app.Read([&] { return app.disconnects; }), connects - 1);
        ASSERT_TRUE(server.WaitFor([&] { return server.SessionCount() == 1 && server.SessionIds().back() != session; }, 5s));
    }
    SendQuote(n);
    ExpectQuote(n, ++quotes);
}

// Packages the library cannot use are dropped one by one and the link stays:
// unknown services, a package without ApiHead, an empty body, an ApiHead
// whose lengths lie, and random bytes.
TEST_F(BadInput, UnusablePackagesAreIgnoredAndTheLinkStays)
{
    Connect();
    std::mt19937 random(11);
    wire::Bytes garbage(600);
    for (uint8_t& byte : garbage)
        byte = static_cast<uint8_t>(random());
    wire::Bytes lyingHead = wire::Body(125, 0, 0, {});
    lyingHead[7] = 0x7F;  // ApiHead's value length now runs past the body
    const wire::Bytes bodies[] = {
        wire::Body(999, 1, 0, {wire::Record(kQuot, {wire::Text(kInstrumentID, "X")})}),
        wire::Body(124, 1, 0, {}),
        wire::Record(1010, {wire::Record(kQuot, {wire::Text(kInstrumentID, "X")})}),  // no ApiHead
        wire::Bytes(),
        lyingHead,
        garbage,
    };
    for (const wire::Bytes& body : bodies)
        Send(wire::Frame(body));
    SendQuote(5);
    ExpectQuote(5, 1);
    // Packages are handled in order: nothing else came in between.
    SendQuote(6);
    ExpectQuote(6, 2);
    EXPECT_EQ(app.Read([&] { return app.disconnects; }), 0);
}

// A quote package whose record is missing or malformed still arrives: members
// that could be read carry their values, the rest read as zero; wrong-sized
// values and over-long texts never reach past their members.
TEST_F(BadInput, MalformedQuotesArriveWithWhatCouldBeRead)
{
    Connect();
    wire::Bytes truncatedAmount = wire::Double(kAmount, 7.0);
    truncatedAmount.resize(truncatedAmount.size() - 3);  // the record ends inside the value
    const wire::Bytes bodies[] = {
        wire::Body(125, 0, 0, {}),                                                          // no Quot
        wire::Body(125, 0, 0, {wire::Record(kQuot, {wire::Text(kInstrumentID, std::string(200, 'L')),
                                                    wire::Double(kPrice, 2.5)})}),          // over-long text
        wire::Body(125, 0, 0, {wire::Record(kQuot, {wire::Text(kInstrumentID, "W"),
                                                    wire::Element(kPrice, {1, 2, 3})})}),   // 3-byte double
        wire::Body(125, 0, 0, {wire::Record(kQuot, {wire::Text(kInstrumentID, "T"), truncatedAmount})}),
    };
    for (const wire::Bytes& body : bodies)
        Send(wire::Frame(body));
    ASSERT_TRUE(app.Wait([&] { return app.quotes.size() == 4; }));
    const std::vector<MarketDepthRecord> quotes = app.Read([&] { return app.quotes; });
    const MarketDepthRecord zero{};
    EXPECT_EQ(std::memcmp(&quotes[0], &zero, sizeof zero), 0);
    // Over-long: the text is cut to its member, the next member still read.
    EXPECT_STREQ(quotes[1].InstrumentID, std::string(15, 'L').c_str());
    EXPECT_EQ(quotes[1].Price, 2.5);
    // A number shorter than its width is not read.
    EXPECT_STREQ(quotes[2].InstrumentID, "W");
    EXPECT_EQ(quotes[2].Price, 0.0);
    EXPECT_STREQ(quotes[3].InstrumentID, "T");
    EXPECT_EQ(quotes[3].Amount, 0.0);
    for (const MarketDepthRecord& quote : quotes)
        EXPECT_NE(std::memchr(quote.InstrumentID, 0, sizeof quote.InstrumentID), nullptr);
    EXPECT_EQ(app.Read([&] { return app.disconnects; }), 0);
}

// The application's own mistakes: null pointers, over-long texts, malformed
// addresses and calls in the wrong state are refused or cut, never followed.
TEST_F(BadInput, ApplicationMistakes)
{
    CKelmRivoMdApi* idle = CKelmRivoMdApi::CreateRivoMdApi(nullptr, true, true);
    idle->SetCallbackObject(nullptr);
    idle->AddServerUrl(nullptr);
    idle->AddServerUrl("tcp:");  // shorter than the scheme: ignored
    EXPECT_EQ(idle->SubmitLogin(nullptr, 1), -1);
    EXPECT_EQ(idle->SubmitLogout(nullptr, 1), -1);  // not launched
    EXPECT_EQ(idle->SubscribeQuotes(nullptr, 3), 0);
    EXPECT_EQ(idle->UnsubscribeQuotes(nullptr, -1), 0);
    idle->Launch();  // no address: nothing to connect to, nothing reported
    idle->Launch();
    idle->Dispose();

    // Refused without asking a name server: no colon, a host over 127 characters.
    for (const std::string& address : {std::string("tcp://no-colon"), "tcp://" + std::string(128, 'h') + ":1"})
    {
        CKelmRivoMdApi* bad = testspinning::CreateApi();
        bad->AddServerUrl(address.c_str());
        if (Platform::ExceptionsReachTheApplication)
            EXPECT_THROW(bad->Launch(), boost::system::system_error) << address;
        else
            EXPECT_NO_THROW(bad->Launch()) << address;
        bad->Dispose();
    }

    Connect();
    LoginRequestRecord login;
    std::memset(&login, 'x', sizeof login);  // no terminator anywhere
    EXPECT_EQ(api->SubmitLogin(&login, 4), 0);
    char longCode[100];
    std::memset(longCode, 'c', sizeof longCode - 1);
    longCode[sizeof longCode - 1] = '\0';
    char* codes[] = {nullptr, longCode};
    EXPECT_EQ(api->SubscribeQuotes(codes, 2), 0);
    ASSERT_TRUE(server.WaitFor([&] { return server.Requests().size() == 2; }, 5s));
    const std::vector<SimRequest> requests = server.Requests();
    const LoginReq& sent = std::get<LoginReq>(requests[0].Record);
    EXPECT_EQ(std::string(sent.InvestorID), std::string(15, 'x'));
    EXPECT_EQ(std::string(sent.InvestorPassword), std::string(20, 'x'));
    EXPECT_EQ(std::string(std::get<QuotSubscribeReq>(requests[1].Record).InstrumentID), std::string(15, 'c'));
}

}  // namespace
