// A session across a restart of its server on the same port: the quotes
// come back without the application doing anything, after one automatic
// login and one subscription per code the server accepted, and a code the
// server refused is not asked for again.
#include <gtest/gtest.h>

#include <kelmmd/CMdSession.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "SessionServers.h"
#include "SessionTestSupport.h"
#include "support/TestSpinning.h"

namespace
{

using namespace sessiontest;

std::map<std::string, int> Results(const std::vector<kelmmd::SessionEvent>& answers)
{
    std::map<std::string, int> results;
    for (const kelmmd::SessionEvent& answer : answers)
        results[answer.Instrument] = answer.RspNo;
    return results;
}

template <class Server>
class SessionRestart : public ::testing::Test
{
};
TYPED_TEST_SUITE(SessionRestart, SessionServers);

TYPED_TEST(SessionRestart, QuotesComeBackAfterOneLoginAndOneSubscriptionPerAcceptedCode)
{
    TypeParam server;
    server.Start();
    kelmmd::SessionSettings settings;
    settings.Addresses = {server.Address()};
    settings.Spinning = testspinning::Setting();
    kelmmd::CMdSession session(settings);
    CEventLog events(session);
    ASSERT_TRUE(session.Connect(10s));
    EXPECT_STREQ("demo", session.Login({"demo", "secret", ""}, 10s).UserCode);
    session.Subscribe({"au2406", "ag2406", "nosuch"});
    ASSERT_TRUE(events.WaitFor(Kind::Subscribe, 10s, "nosuch"));
    ASSERT_TRUE(QuotesOf(session, {"au2406", "ag2406"}));
    events.Drain();
    EXPECT_EQ((std::map<std::string, int>{{"ag2406", 0}, {"au2406", 0}, {"nosuch", 2}}),
              Results(events.Take(Kind::Subscribe)));
    EXPECT_EQ((std::vector<std::string>{"ag2406", "au2406"}), session.Subscriptions());
    EXPECT_EQ(1, server.Logins());
    EXPECT_EQ(1, server.Subscriptions("nosuch"));

    const uint16_t port = server.Port();
    server.Kill();
    ASSERT_TRUE(events.WaitFor(Kind::Disconnected));
    EXPECT_FALSE(session.LoggedIn());
    DrainQuotes(session);  // what the first server sent
    events.Forget();
    server.Start(port);

    // From here the application only reads.
    ASSERT_TRUE(QuotesOf(session, {"au2406", "ag2406"}, 20s));
    std::this_thread::sleep_for(500ms);  // time for a request sent twice to arrive
    events.Drain();
    const std::vector<kelmmd::SessionEvent> logins = events.Take(Kind::Login);
    ASSERT_EQ(1u, logins.size());
    EXPECT_TRUE(logins[0].Automatic && logins[0].Succeeded());
    EXPECT_EQ((std::map<std::string, int>{{"ag2406", 0}, {"au2406", 0}}), Results(events.Take(Kind::Subscribe)));
    EXPECT_EQ(1, server.Logins());
    EXPECT_EQ(1, server.Subscriptions("au2406"));
    EXPECT_EQ(1, server.Subscriptions("ag2406"));
    EXPECT_EQ(0, server.Subscriptions("nosuch"));
    // At least one: the library reconnects at once after the loss, and a
    // connection can still be taken by the dying server's listening socket
    // and reset a moment later.
    EXPECT_LE(1u, session.Reconnects());
    EXPECT_TRUE(session.LoggedIn());
}

}  // namespace
