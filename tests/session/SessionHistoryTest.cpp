// History through the session: whole answers over several packages, empty
// and refused ones, queries in flight together, and waits that end early
// when the session is closed or the link is lost.
#include <gtest/gtest.h>

#include <kelmmd/CMdSession.h>

#include <cstring>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <vector>

#include "SessionServers.h"
#include "SessionTestSupport.h"

namespace
{

using namespace sessiontest;
using kelmmd::CSessionError;

// "HH:MM:SS" of a second of the day.
std::string Clock(int second)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
    return text;
}

// The bars are the minutes from first on, one each, of the day 2024-03-04.
void ExpectMinutesFrom(const std::vector<MinuteBarRecord>& bars, int firstMinute, std::size_t count)
{
    ASSERT_EQ(count, bars.size());
    for (std::size_t i = 0; i < bars.size(); ++i)
    {
        ASSERT_STREQ(Clock((firstMinute + static_cast<int>(i)) * 60).c_str(), bars[i].Time) << i;
        ASSERT_STREQ("20240304", bars[i].Date) << i;
        ASSERT_STREQ("ag2406", bars[i].InstrumentID) << i;
    }
}

// A session connected to address and logged in as demo.
std::unique_ptr<kelmmd::CMdSession> LoggedIn(const std::string& address)
{
    kelmmd::SessionSettings settings;
    settings.Addresses = {address};
    auto session = std::make_unique<kelmmd::CMdSession>(settings);
    EXPECT_TRUE(session->Connect(10s));
    session->Login({"demo", "secret", ""}, 10s);
    return session;
}

template <class Server>
class SessionHistory : public ::testing::Test
{
protected:
    void LogIn()
    {
        server.Start();
        session = LoggedIn(server.Address());
    }

    Server server;
    std::unique_ptr<kelmmd::CMdSession> session;
};
TYPED_TEST_SUITE(SessionHistory, SessionServers);

TYPED_TEST(SessionHistory, AnswersOverSeveralPackagesArriveWholeAndInOrder)
{
    this->LogIn();
    kelmmd::CMdSession& session = *this->session;
    const LinkStatsRecord before = session.LinkStats();
    const std::vector<MinuteBarRecord> bars =
        session.MinuteBars(kelmmd::MinuteBarQuery("ag2406", "20240304 09:00", "20240304 14:59:59"), 20s);
    const LinkStatsRecord between = session.LinkStats();
    ExpectMinutesFrom(bars, 9 * 60, 360);
    // One package holds some 60 bars.
    EXPECT_GE(between.PackagesReceived - before.PackagesReceived, 3);

    const std::vector<TradeTickRecord> trades = session.Trades(kelmmd::TradeQuery("ag2406", "20240304"), 20s);
    ASSERT_EQ(1440u, trades.size());
    long long traded = 0;
    for (std::size_t i = 0; i < trades.size(); ++i)
    {
        ASSERT_STREQ(Clock(9 * 3600 + 15 * static_cast<int>(i)).c_str(), trades[i].Time) << i;
        traded += trades[i].Qty;
    }
    // The bars are made of these trades.
    long long barred = 0;
    for (const MinuteBarRecord& bar : bars)
        barred += bar.QtyTotal;
    EXPECT_EQ(barred, traded);
    EXPECT_EQ(bars.front().OpenPrice, trades.front().Price);
    EXPECT_EQ(bars.back().ClosePrice, trades.back().Price);
    EXPECT_EQ(1, session.LinkStats().ConnectionsMade);
}

TYPED_TEST(SessionHistory, AnEmptyAnswerIsEmptyAndARefusalThrowsTheServersAnswer)
{
    this->LogIn();
    kelmmd::CMdSession& session = *this->session;
    EXPECT_TRUE(session.DayBars(kelmmd::DayBarQuery("ag2406", "20300101", "20300110"), 10s).empty());

    try
    {
        session.MinuteBars(kelmmd::MinuteBarQuery("nope", "", ""), 10s);
        ADD_FAILURE() << "a refusal did not throw";
    }
    catch (const CSessionError& error)
    {
        EXPECT_EQ(CSessionError::Kind::Refused, error.Type());
        EXPECT_EQ(2, error.RspNo());
        EXPECT_EQ("Unknown instrument: nope", error.RspDesc());
    }
    const auto refused = session.SubmitTrades(kelmmd::TradeQuery("nope", "20240304"));
    EXPECT_THROW(refused->Get(10s), CSessionError);
    EXPECT_EQ(2, refused->RspNo());
    EXPECT_THROW(session.SubmitMinuteBars(kelmmd::MinuteBarQuery("ag2406", "", "", 193)), std::invalid_argument);
}

// Two answers of the same kind at once, one read as its records come.
TYPED_TEST(SessionHistory, QueriesInFlightTogetherAreToldApartByRequestId)
{
    this->LogIn();
    kelmmd::CMdSession& session = *this->session;
    const auto morning =
        session.SubmitMinuteBars(kelmmd::MinuteBarQuery("ag2406", "20240304 09:00", "20240304 11:59"));
    const auto afternoon = session.SubmitMinuteBars(
        kelmmd::MinuteBarQuery("ag2406", "20240304 12:00", "20240304 14:59", KelmMinuteService194));
    const auto trades = session.SubmitTrades(kelmmd::TradeQuery("ag2406", "20240304"));
    EXPECT_NE(morning->RequestId(), afternoon->RequestId());
    EXPECT_NE(afternoon->RequestId(), trades->RequestId());

    std::vector<MinuteBarRecord> first;
    MinuteBarRecord bar;
    while (morning->Next(bar, 10s))
        first.push_back(bar);
    ExpectMinutesFrom(first, 9 * 60, 180);
    EXPECT_NO_THROW(morning->Get(0ms));  // ended, and not refused
    ExpectMinutesFrom(afternoon->Get(10s), 12 * 60, 180);
    EXPECT_EQ(1440u, trades->Get(10s).size());
}

// An answer that comes before the answer to an earlier query still reaches
// its own query.
TEST(SessionHistoryOrder, AnswersThatOvertakeEachOtherReachTheirQueries)
{
    CLoopbackQuoteServer server({true, false, true, true});
    server.Start();
    const std::unique_ptr<kelmmd::CMdSession> owner = LoggedIn(server.Address());
    kelmmd::CMdSession& session = *owner;
    const auto morning =
        session.SubmitMinuteBars(kelmmd::MinuteBarQuery("ag2406", "20240304 09:00", "20240304 11:59"));
    const auto afternoon =
        session.SubmitMinuteBars(kelmmd::MinuteBarQuery("ag2406", "20240304 12:00", "20240304 14:59"));
    ExpectMinutesFrom(morning->Get(10s), 9 * 60, 180);
    ExpectMinutesFrom(afternoon->Get(10s), 12 * 60, 180);
}

// A server that answers logins but never a history query.
const CLoopbackQuoteServer::Behaviour Mute{true, false, false};

CSessionError::Kind FailureOf(const std::function<void()>& call)
{
    try
    {
        call();
    }
    catch (const CSessionError& error)
    {
        return error.Type();
    }
    ADD_FAILURE() << "no CSessionError";
    return CSessionError::Kind::Timeout;
}

TEST(SessionHistoryWait, CloseEndsHistoryWaitsAtOnceAndKeepsTheFigures)
{
    CLoopbackQuoteServer server(Mute);
    server.Start();
    const std::unique_ptr<kelmmd::CMdSession> owner = LoggedIn(server.Address());
    kelmmd::CMdSession& session = *owner;
    const auto answer = session.SubmitDayBars(kelmmd::DayBarQuery("au2406", "", ""));
    auto blocking = std::async(std::launch::async, [&] {
        return FailureOf([&] { session.DayBars(kelmmd::DayBarQuery("au2406", "", ""), 60s); });
    });
    auto waiting = std::async(std::launch::async, [&] { return FailureOf([&] { answer->Get(60s); }); });
    std::this_thread::sleep_for(300ms);  // into their waits; less only weakens the test
    ASSERT_FALSE(EndsWithin(blocking, 0ms));

    session.Close();
    ASSERT_TRUE(EndsWithin(blocking, 2s));
    ASSERT_TRUE(EndsWithin(waiting, 2s));
    EXPECT_EQ(CSessionError::Kind::Closed, blocking.get());
    EXPECT_EQ(CSessionError::Kind::Closed, waiting.get());
    EXPECT_EQ(CSessionError::Kind::Closed,
              FailureOf([&] { session.SubmitTrades(kelmmd::TradeQuery("au2406", "")); }));
    const LinkStatsRecord figures = session.LinkStats();
    EXPECT_EQ(0, figures.Connected);
    EXPECT_EQ(1, figures.ConnectionsMade);
    EXPECT_GE(figures.PackagesReceived, 1);  // the login's answer
}

// The library does not send a query again after a reconnect: a lost link
// ends the wait at once rather than at its timeout.
TEST(SessionHistoryWait, ALostLinkEndsTheWaitWithNotConnected)
{
    CLoopbackQuoteServer server(Mute);
    server.Start();
    const std::unique_ptr<kelmmd::CMdSession> owner = LoggedIn(server.Address());
    kelmmd::CMdSession& session = *owner;
    auto blocking = std::async(std::launch::async, [&] {
        return FailureOf([&] { session.Trades(kelmmd::TradeQuery("au2406", ""), 60s); });
    });
    std::this_thread::sleep_for(300ms);
    ASSERT_FALSE(EndsWithin(blocking, 0ms));
    server.Kill();
    ASSERT_TRUE(EndsWithin(blocking, 5s));
    EXPECT_EQ(CSessionError::Kind::NotConnected, blocking.get());
}

}  // namespace
