// History queries and link figures through the extension interface, by an
// application on the public headers and the shared library, against
// kelm-quote-sim as a process.
#include "AppRecorder.h"
#include "sim/SimProcess.h"
#include "support/TestSpinning.h"

#include <KelmRivoMdExtension.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace
{

using namespace std::chrono_literals;

// Every history notification, by request id.
class HistoryRecorder : public CKelmRivoMdExtensionCallback
{
public:
    struct Answer
    {
        std::vector<MinuteBarRecord> minutes;
        std::vector<DayBarRecord> days;
        std::vector<TradeTickRecord> trades;
        int notifications = 0;
        int nullRecords = 0;
        int lastFlags = 0;  // notifications with isLast
        bool lastFlagOnLast = false;
        ResponseInfoRecord info{};
        bool hasInfo = false;
    };

    void NotifyMinuteBar(const MinuteBarRecord* bar, const ResponseInfoRecord* info, int id, bool last) override
    {
        Note(bar, info, id, last, &Answer::minutes);
    }
    void NotifyDayBar(const DayBarRecord* bar, const ResponseInfoRecord* info, int id, bool last) override
    {
        Note(bar, info, id, last, &Answer::days);
    }
    void NotifyTradeTick(const TradeTickRecord* trade, const ResponseInfoRecord* info, int id, bool last) override
    {
        Note(trade, info, id, last, &Answer::trades);
    }

    // The whole answer to id, once its last record has come.
    Answer Complete(int id)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        EXPECT_TRUE(m_changed.wait_for(lock, 20s, [&] { return m_answers[id].lastFlags > 0; })) << "request " << id;
        return m_answers[id];
    }

    int Notifications()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_total;
    }

    bool WaitForNotifications(int count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 20s, [&] { return m_total >= count; });
    }

    std::atomic<bool> disposed{false};
    std::atomic<int> afterDispose{0};
    // Called from inside the first notification, when set.
    std::function<void()> onFirst;

private:
    template <class Record>
    void Note(const Record* record, const ResponseInfoRecord* info, int id, bool last,
              std::vector<Record> Answer::*list)
    {
        if (disposed)
            ++afterDispose;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            Answer& answer = m_answers[id];
            ++answer.notifications;
            ++m_total;
            if (record)
                (answer.*list).push_back(*record);
            else
                ++answer.nullRecords;
            answer.lastFlags += last;
            answer.lastFlagOnLast = last;
            answer.hasInfo = info != nullptr;
            if (info)
                answer.info = *info;
            // Under the lock, so that a test woken by the count sees what it did.
            if (onFirst && m_total == 1)
                onFirst();
            m_changed.notify_all();
        }
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::map<int, Answer> m_answers;
    int m_total = 0;
};

class Simulator
{
public:
    explicit Simulator(std::vector<std::string> args) : m_process(KELM_QUOTE_SIM_PATH, WithQuiet(args))
    {
        m_address = m_process.ReadLine();
    }
    std::string Url() const { return "tcp://" + m_address; }
    const std::string& Address() const { return m_address; }

private:
    static std::vector<std::string> WithQuiet(std::vector<std::string> args)
    {
        args.push_back("--quiet");
        return args;
    }
    simtest::Process m_process;
    std::string m_address;
};

template <std::size_t N>
void SetText(char (&field)[N], const char* text)
{
    std::strncpy(field, text, N - 1);
}

class History : public ::testing::Test
{
protected:
    History() : sim({"--trade-date", "2024-03-05", "--rate", "50"}) {}

    ~History() override
    {
        if (api)
            api->Dispose();
    }

    // Launched, connected and logged in.
    void Open()
    {
        api = testspinning::CreateApi();
        extension = CKelmRivoMdExtension::FromApi(api);
        ASSERT_NE(extension, nullptr);
        api->SetCallbackObject(&app);
        extension->SetCallbackObject(&history);
        api->AddServerUrl(sim.Url().c_str());
        api->Launch();
        ASSERT_TRUE(app.Wait([&] { return app.connects == 1; }, 20s));
        LoginRequestRecord login{};
        std::strcpy(login.UserCode, "history");
        ASSERT_EQ(api->SubmitLogin(&login, 1), 0);
        ASSERT_TRUE(app.Wait([&] { return !app.results.empty(); }, 20s));
    }

    int Minutes(int id, const char* code, const char* from, const char* to, int service = 0)
    {
        MinuteBarQueryRecord query{};
        SetText(query.InstrumentID, code);
        SetText(query.DateTimeFrom, from);
        SetText(query.DateTimeTo, to);
        query.Service = service;
        return extension->QueryMinuteBars(&query, id);
    }

    int Days(int id, const char* code, const char* from, const char* to)
    {
        DayBarQueryRecord query{};
        SetText(query.InstrumentID, code);
        SetText(query.DateFrom, from);
        SetText(query.DateTo, to);
        return extension->QueryDayBars(&query, id);
    }

    int Trades(int id, const char* code, const char* date)
    {
        TradeQueryRecord query{};
        SetText(query.InstrumentID, code);
        SetText(query.TradeDate, date);
        return extension->QueryTrades(&query, id);
    }

    LinkStatsRecord Stats()
    {
        LinkStatsRecord stats;
        std::memset(&stats, 0xAB, sizeof stats);
        EXPECT_EQ(extension->GetLinkStats(&stats), 0);
        return stats;
    }

    Simulator sim;
    AppRecorder app;
    HistoryRecorder history;
    CKelmRivoMdApi* api = nullptr;
    CKelmRivoMdExtension* extension = nullptr;
};

// Exactly one notification of the answer says it is the last, and it is the last.
template <class Answer>
void ExpectOneEnd(const Answer& answer)
{
    EXPECT_EQ(answer.lastFlags, 1);
    EXPECT_TRUE(answer.lastFlagOnLast);
}

TEST_F(History, TheTradingDaysHistoryAgreesWithTheLiveQuotes)
{
    Open();
    // ag2406: its first trade of the day moves away from the previous close,
    // so the day's open tells the two apart.
    char code[] = "ag2406";
    char* codes[] = {code};
    ASSERT_EQ(api->SubscribeQuotes(codes, 1), 0);
    ASSERT_TRUE(app.Wait([&] { return app.quotes.size() >= 10; }, 20s));
    // Once the unsubscription is answered the walk of au2406 stands still for
    // this connection: the last quote before it is the day so far.
    ASSERT_EQ(api->UnsubscribeQuotes(codes, 1), 0);
    ASSERT_TRUE(app.Wait([&] { return app.results.size() == 3; }, 20s));
    const MarketDepthRecord quote = app.Read([&] { return app.quotes.back(); });

    ASSERT_EQ(Minutes(10, "ag2406", "20240305 00:00:00", "20240305 23:59:59"), 0);
    ASSERT_EQ(Days(11, "ag2406", "20240226", "20240305"), 0);
    ASSERT_EQ(Trades(12, "ag2406", ""), 0);

    const auto minutes = history.Complete(10);
    ExpectOneEnd(minutes);
    ASSERT_FALSE(minutes.minutes.empty());
    long long qty = 0;
    double high = 0, low = 1e300, amount = 0;
    for (const MinuteBarRecord& bar : minutes.minutes)
    {
        EXPECT_STREQ(bar.InstrumentID, "ag2406");
        EXPECT_STREQ(bar.ExchangeID, "SIMX");
        EXPECT_STREQ(bar.Date, "20240305");
        EXPECT_EQ(std::strlen(bar.Time), 8u);
        EXPECT_STREQ(bar.Time + 5, ":00");
        qty += bar.QtyTotal;
        high = std::max(high, bar.HighestPrice);
        low = std::min(low, bar.LowestPrice);
        amount += bar.Amount;
    }
    EXPECT_EQ(qty, quote.QtyTotal);
    EXPECT_EQ(high, quote.HighestPrice);
    EXPECT_EQ(low, quote.LowestPrice);
    EXPECT_NEAR(amount, quote.Amount, 1e-6 * quote.Amount);
    EXPECT_EQ(minutes.minutes.front().OpenPrice, quote.OpenPrice);
    EXPECT_EQ(minutes.minutes.back().ClosePrice, quote.Price);
    EXPECT_EQ(static_cast<double>(minutes.minutes.back().OI), quote.OI);
    EXPECT_EQ(std::string(minutes.minutes.back().Time).substr(0, 5), std::string(quote.ModifyTime).substr(0, 5));

    // Monday 26 February to Tuesday 5 March: seven weekdays, the last one today.
    const auto days = history.Complete(11);
    ExpectOneEnd(days);
    ASSERT_EQ(days.days.size(), 7u);
    EXPECT_STREQ(days.days.front().Date, "20240226");
    EXPECT_STREQ(days.days[5].Date, "20240304");
    const DayBarRecord& today = days.days[6];
    EXPECT_STREQ(today.Date, "20240305");
    EXPECT_EQ(today.OpenPrice, quote.OpenPrice);
    EXPECT_EQ(today.HighestPrice, quote.HighestPrice);
    EXPECT_EQ(today.ClosePrice, quote.Price);
    EXPECT_EQ(today.QtyTotal, quote.QtyTotal);
    // The day before ends where today's quotes start from.
    EXPECT_EQ(days.days[5].ClosePrice, quote.PreClose);
    EXPECT_EQ(static_cast<double>(days.days[5].OI), quote.PreOI);
    for (const DayBarRecord& bar : days.days)
    {
        EXPECT_LE(bar.LowestPrice, std::min(bar.OpenPrice, bar.ClosePrice)) << bar.Date;
        EXPECT_GE(bar.HighestPrice, std::max(bar.OpenPrice, bar.ClosePrice)) << bar.Date;
    }

    const auto trades = history.Complete(12);
    ExpectOneEnd(trades);
    ASSERT_FALSE(trades.trades.empty());
    long long traded = 0;
    for (const TradeTickRecord& trade : trades.trades)
    {
        EXPECT_STREQ(trade.Date, "20240305");
        EXPECT_TRUE(trade.BSFlag == 'B' || trade.BSFlag == 'S') << trade.MatchID;
        traded += trade.Qty;
    }
    EXPECT_EQ(traded, quote.QtyTotal);
    EXPECT_EQ(trades.trades.back().Price, quote.Price);
    EXPECT_STREQ(trades.trades.back().Time, quote.ModifyTime);
    EXPECT_EQ(std::string(trades.trades.back().MatchID),
              "ag2406-" + std::to_string(trades.trades.size()));
}

TEST_F(History, AnswersSplitOverPackagesAndQueriesInFlightTogether)
{
    Open();
    const LinkStatsRecord before = Stats();
    // Three queries at once: the day before the trading day, whose minutes
    // fill many packages, under two of the three minute services, and its trades.
    ASSERT_EQ(Minutes(21, "ag2406", "20240304 09:00:00", "20240304 14:59:59"), 0);
    ASSERT_EQ(Minutes(22, "ag2406", "2024-03-04 09:00", "2024-03-04 14:59", KelmMinuteService194), 0);
    ASSERT_EQ(Trades(23, "ag2406", "20240304"), 0);

    const auto first = history.Complete(21);
    const auto second = history.Complete(22);
    const auto trades = history.Complete(23);
    for (const auto* answer : {&first, &second, &trades})
    {
        ExpectOneEnd(*answer);
        EXPECT_EQ(answer->nullRecords, 0);
        EXPECT_TRUE(answer->hasInfo);
        EXPECT_EQ(answer->info.RspNo, 0);
    }
    ASSERT_EQ(first.minutes.size(), 360u);
    EXPECT_STREQ(first.minutes.front().Time, "09:00:00");
    EXPECT_STREQ(first.minutes.back().Time, "14:59:00");
    EXPECT_STREQ(first.minutes.back().Date, "20240304");
    ASSERT_EQ(second.minutes.size(), first.minutes.size());
    EXPECT_EQ(0, std::memcmp(second.minutes.data(), first.minutes.data(),
                             first.minutes.size() * sizeof(MinuteBarRecord)));
    ASSERT_EQ(trades.trades.size(), 1440u);
    EXPECT_STREQ(trades.trades.front().MatchID, "ag2406-20240304-1");
    EXPECT_STREQ(trades.trades.front().Time, "09:00:00");
    EXPECT_EQ(trades.trades.front().Price, first.minutes.front().OpenPrice);
    EXPECT_EQ(trades.trades.back().Price, first.minutes.back().ClosePrice);

    // The answers took many packages; nothing else was asked for.
    const LinkStatsRecord after = Stats();
    EXPECT_GE(after.PackagesReceived - before.PackagesReceived, 3 * 2);
    EXPECT_EQ(after.QuotesReceived, 0);
    EXPECT_GT(after.BytesReceived - before.BytesReceived,
              static_cast<long long>(720 * 100 + 1440 * 60));
}

TEST_F(History, EmptyAndRefusedAnswersArriveOnceWithTheirResult)
{
    Open();
    ASSERT_EQ(Days(31, "cu2407", "20300101", "20300110"), 0);  // after the trading day
    ASSERT_EQ(Trades(32, "cu2407", "20240302"), 0);            // a Saturday
    ASSERT_EQ(Minutes(33, "nope", "", ""), 0);
    ASSERT_EQ(Days(34, "nope", "", ""), 0);
    for (int id : {31, 32})
    {
        const auto answer = history.Complete(id);
        EXPECT_EQ(answer.notifications, 1) << id;
        EXPECT_EQ(answer.nullRecords, 1) << id;
        ExpectOneEnd(answer);
        EXPECT_TRUE(answer.hasInfo);
        EXPECT_EQ(answer.info.RspNo, 0);
    }
    for (int id : {33, 34})
    {
        const auto answer = history.Complete(id);
        EXPECT_EQ(answer.notifications, 1) << id;
        EXPECT_EQ(answer.nullRecords, 1) << id;
        ExpectOneEnd(answer);
        EXPECT_EQ(answer.info.RspNo, 2);
        EXPECT_STREQ(answer.info.RspDesc, "Unknown instrument: nope");
    }
    // Refused here, nothing sent.
    EXPECT_EQ(Minutes(35, "au2406", "", "", 193), -3);
    EXPECT_EQ(extension->QueryDayBars(nullptr, 36), -1);
    EXPECT_EQ(extension->GetLinkStats(nullptr), -1);
}

TEST_F(History, FiguresOfTheLinkThroughTheInterface)
{
    api = testspinning::CreateApi();
    extension = CKelmRivoMdExtension::FromApi(api);
    ASSERT_NE(extension, nullptr);
    EXPECT_EQ(CKelmRivoMdExtension::FromApi(nullptr), nullptr);
    EXPECT_EQ(CKelmRivoMdExtension::GetExtensionVersion(), KELM_MD_EXTENSION_VERSION);
    EXPECT_EQ(Days(1, "au2406", "", ""), -1);  // not launched

    LinkStatsRecord idle = Stats();
    EXPECT_EQ(idle.ConnectionsMade, 0);
    EXPECT_EQ(idle.LastReceiveTime, 0);
    EXPECT_EQ(idle.LastReceiveAge, -1);
    EXPECT_EQ(idle.Connected, 0);
    EXPECT_STREQ(idle.ServerAddress, "");
    const LinkStatsRecord zero{};
    EXPECT_EQ(0, std::memcmp(idle.Reserved, zero.Reserved, sizeof zero.Reserved));
    api->Dispose();
    api = nullptr;

    Open();
    char code[] = "rb2410";
    char* codes[] = {code};
    ASSERT_EQ(api->SubscribeQuotes(codes, 1), 0);
    ASSERT_TRUE(app.Wait([&] { return app.quotes.size() >= 3; }, 20s));
    const LinkStatsRecord live = Stats();
    EXPECT_EQ(live.ConnectionsMade, 1);
    EXPECT_EQ(live.LinksLost, 0);
    EXPECT_EQ(live.Connected, 1);
    EXPECT_EQ(std::string(live.ServerAddress), sim.Address());
    EXPECT_GE(live.QuotesReceived, 3);
    EXPECT_GE(live.PackagesReceived, live.QuotesReceived + 2);  // the login and subscription answers
    EXPECT_GT(live.BytesReceived, live.PackagesReceived * 4);
    EXPECT_GE(live.LastReceiveAge, 0);
    const long long now = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::system_clock::now().time_since_epoch())
                              .count();
    EXPECT_LE(live.LastReceiveTime, now);
    EXPECT_GT(live.LastReceiveTime, now - 20000000);
}

// Answers keep coming while the application disposes of the API object:
// nothing may reach it once Dispose has returned.
TEST_F(History, NothingArrivesAfterDisposeReturnsWhileAnswersStream)
{
    for (int round = 0; round < 6; ++round)
    {
        HistoryRecorder recorder;
        api = testspinning::CreateApi();
        extension = CKelmRivoMdExtension::FromApi(api);
        extension->SetCallbackObject(&recorder);
        api->SetCallbackObject(&app);
        api->AddServerUrl(sim.Url().c_str());
        const int connects = app.Read([&] { return app.connects; });
        api->Launch();
        ASSERT_TRUE(app.Wait([&] { return app.connects > connects; }, 20s));
        LoginRequestRecord login{};
        std::strcpy(login.UserCode, "racer");
        const std::size_t results = app.Read([&] { return app.results.size(); });
        ASSERT_EQ(api->SubmitLogin(&login, 1), 0);
        ASSERT_TRUE(app.Wait([&] { return app.results.size() > results; }, 20s));
        for (int id = 0; id < 4; ++id)
            ASSERT_EQ(Trades(100 + id, "IF2406", "20240301"), 0);
        // Dispose at a different point of the stream each round.
        ASSERT_TRUE(recorder.WaitForNotifications(round * 400));
        api->Dispose();
        recorder.disposed = true;
        api = nullptr;
        std::this_thread::sleep_for(50ms);
        EXPECT_EQ(recorder.afterDispose, 0) << "round " << round;
    }
}

// Dispose from inside the first record of a long answer: the rest of the
// list is dropped, and nothing touches the freed API object.
TEST_F(History, DisposeFromInsideAHistoryNotification)
{
    Open();
    history.onFirst = [this] {
        api->Dispose();
        api = nullptr;
        history.disposed = true;
    };
    ASSERT_EQ(Trades(40, "cu2407", "20240304"), 0);
    ASSERT_TRUE(history.WaitForNotifications(1));
    std::this_thread::sleep_for(300ms);
    EXPECT_EQ(history.Notifications(), 1);
    EXPECT_EQ(history.afterDispose, 0);
}

}  // namespace
