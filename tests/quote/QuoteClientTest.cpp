// The quote client with its real transport against our protocol server: the
// queries the exported API does not offer, and their list answers.
#include "net/CServerConnection.h"
#include "quote/CTarnQuotApiImp.h"
#include "quote/RecordingSpi.h"
#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "sim/SimService.h"
#include "support/TestSpinning.h"
#include "support/WireBytes.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstring>
#include <mutex>

namespace
{

using namespace std::chrono_literals;

// RecordingSpi with a lock, since the network thread writes and the test reads.
struct LockedSpi : RecordingSpi
{
    void OnConnected() override { Add([&] { ++connects; }); }
    void OnDisconnected() override { Add([&] { ++disconnects; }); }
    void OnDayDataResponse(const DayData* r, const RspInfo* i, int id, int f) override
    {
        Add([&] { RecordingSpi::OnDayDataResponse(r, i, id, f); });
    }
    void OnTradeDetailResponse(const TradeDetailRecord* r, const RspInfo* i, int id, int f) override
    {
        Add([&] { RecordingSpi::OnTradeDetailResponse(r, i, id, f); });
    }
    bool Wait(const std::function<bool()>& condition)
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, 10s, condition);
    }
    template <class F>
    void Add(F f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        f();
        changed.notify_all();
    }

    std::mutex mutex;
    std::condition_variable changed;
    int connects = 0;
    int disconnects = 0;
};

class QuoteClient : public ::testing::Test
{
protected:
    void Start(CSimServer::RequestHandler handler = nullptr)
    {
        if (handler)
            server.SetRequestHandler(std::move(handler));
        server.Start("127.0.0.1", 0);
        client->SetCallback(&spi);
        client->GetEngineRunner().SetSpinning(testspinning::Setting());
        client->AddServerAddress(("127.0.0.1:" + std::to_string(server.Port())).c_str());
        ASSERT_EQ(client->Start(), 0);
        ASSERT_TRUE(spi.Wait([&] { return spi.connects == 1; }));
    }
    ~QuoteClient() override
    {
        client->Destroy();
        server.Stop();
    }

    CSimServer server;
    LockedSpi spi;
    CTarnQuotApiImp* client = new CTarnQuotApiImp();
};

TEST_F(QuoteClient, ConnectsWithTheProductionHeartbeatAndBufferSizes)
{
    Start();
    const boost::shared_ptr<CServerConnection> connection = client->GetConnection();
    ASSERT_TRUE(connection);
    EXPECT_EQ(connection->GetHeartbeatSeconds(), 120);
    EXPECT_EQ(connection->GetReadBufferSize(), 1048576u);
    EXPECT_EQ(connection->GetWriteBlockSize(), 10485760u);
}

TEST_F(QuoteClient, MinuteQueriesDifferOnlyInService)
{
    Start();
    MinDataQueryReq query{};
    std::strcpy(query.InstrumentID, "IF2403");
    std::strcpy(query.DateTimeFrom, "2024-03-05 09:30:00");
    EXPECT_EQ(client->QueryMinData150(&query, 4), 0);
    EXPECT_EQ(client->QueryMinData192(&query, 4), 0);
    EXPECT_EQ(client->QueryMinData194(&query, 4), 0);
    ASSERT_TRUE(server.WaitFor([&] { return server.Requests().size() == 3; }, 5s));
    const std::vector<SimFrame> frames = server.ReceivedFrames(server.SessionIds().at(0));
    ASSERT_EQ(frames.size(), 3u);
    const uint16_t services[] = {150, 192, 194};
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(frames[i], wire::Frame(wire::Body(
                                 services[i], 4, 0,
                                 {wire::Record(1277, {wire::Text(1046, "IF2403"),
                                                      wire::Text(1283, "2024-03-05 09:30:00"),
                                                      wire::Text(1284, ""), wire::Text(1637, "")})})));
}

TEST_F(QuoteClient, DayDataListOverSeveralPackages)
{
    Start([](const std::shared_ptr<CSimSession>& session, const SimRequest& request) {
        if (request.ServiceNo != SimService::DayDataQuery)
            return;
        std::vector<DayData> days(400);
        for (std::size_t i = 0; i < days.size(); ++i)
        {
            std::snprintf(days[i].InstrumentID, sizeof days[i].InstrumentID, "d%u", static_cast<unsigned>(i % 1000));
            days[i].ClosePrice = static_cast<double>(i);
        }
        RspInfo info{};
        for (const SimFrame& frame : CSimEncoder::DayDataAnswer(request.RequestID, &info, days))
            session->Send(frame);
    });
    DayDataQueryReq query{};
    std::strcpy(query.InstrumentID, "cu2501");
    ASSERT_EQ(client->QueryDayData(&query, 77), 0);
    ASSERT_TRUE(spi.Wait([&] { return spi.dayData.size() == 400; }));
    std::lock_guard<std::mutex> lock(spi.mutex);
    int lastFlags = 0;
    for (std::size_t i = 0; i < spi.dayData.size(); ++i)
    {
        ASSERT_TRUE(spi.dayData[i].hasRecord);
        EXPECT_EQ(spi.dayData[i].requestId, 77);
        EXPECT_EQ(spi.dayData[i].record.ClosePrice, static_cast<double>(i));
        if (spi.dayData[i].flag == 1)
            continue;
        ++lastFlags;
    }
    // Only the very last record of the whole answer carries EndFlag 0.
    EXPECT_EQ(lastFlags, 1);
    EXPECT_EQ(spi.dayData.back().flag, 0);
}

TEST_F(QuoteClient, RequestsAfterStopAreRefused)
{
    Start();
    TradeDetailDataQueryReq query{};
    EXPECT_EQ(client->QueryTradeDetail(&query, 1), 0);
    EXPECT_EQ(client->QueryTradeDetail(nullptr, 1), -1);
    EXPECT_EQ(client->Stop(), 0);
    EXPECT_EQ(client->QueryTradeDetail(&query, 1), -1);
    EXPECT_EQ(client->Stop(), 0);
    EXPECT_EQ(spi.disconnects, 0);
}

}  // namespace
