// kelm-quote-sim as a real process, spoken to over loopback with the quote
// client's own request builder and package dispatcher.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "bml/BMLByteOrder.h"
#include "bml/CAPIPackage.h"
#include "quote/CPackageDispatcher.h"
#include "quote/CRequestBuilder.h"
#include "quote/CTarnQuotSpi.h"
#include "sim/SimProcess.h"
#include "sim/SimTestSupport.h"
#include "tools/sim/CQuoteCsv.h"

using simtest::Bytes;

namespace
{

// What the client's decoders made of the packages.
struct Recorder : CTarnQuotSpi
{
    void OnLoginResponse(const LoginRsp* r, const RspInfo* i, int, int) override
    {
        login = *r;
        info = *i;
    }
    void OnSubscribeResponse(const QuotSubscribeRsp* r, const RspInfo* i, int, int) override
    {
        subscribed = r ? r->InstrumentID : "";
        info = i ? *i : RspInfo{};
    }
    void OnUnsubscribeResponse(const QuotUnSubscribeRsp*, const RspInfo* i, int, int) override
    {
        info = i ? *i : RspInfo{};
    }
    void OnQuote(const QuotRecord* q) override { quotes.push_back(*q); }
    void OnMinDataResponse192(const MinData* r, const RspInfo* i, int, int flag) override
    {
        info = i ? *i : RspInfo{};
        if (r)
            bars.push_back(*r);
        flags.push_back(flag);
    }

    LoginRsp login{};
    RspInfo info{};
    std::string subscribed;
    std::vector<QuotRecord> quotes;
    std::vector<MinData> bars;
    std::vector<int> flags;
};

class Simulator
{
public:
    explicit Simulator(std::vector<std::string> args) : m_process(KELM_QUOTE_SIM_PATH, Args(std::move(args)))
    {
        const std::string address = m_process.ReadLine();
        const auto colon = address.rfind(':');
        if (colon != std::string::npos)
            m_port = static_cast<uint16_t>(std::stoi(address.substr(colon + 1)));
    }

    uint16_t Port() const { return m_port; }
    simtest::Process& Process() { return m_process; }

private:
    static std::vector<std::string> Args(std::vector<std::string> args)
    {
        args.push_back("--quiet");
        return args;
    }

    simtest::Process m_process;
    uint16_t m_port = 0;
};

class Client
{
public:
    explicit Client(uint16_t port, int timeoutMs = 3000) : m_socket(port, timeoutMs) {}

    template <typename Record>
    void Send(uint16_t service, int requestId, const Record& record)
    {
        uint8_t buffer[8192];
        CAPIPackage package;
        package.BeginRequest(service, requestId, buffer + 4);
        CRequestBuilder::AddRecord(package, record);
        BMLByteOrder::Write32(buffer, package.GetLength());
        m_socket.Write(Bytes(buffer, buffer + 4 + package.GetLength()));
    }

    // Reads one package and dispatches it; returns its EndFlag.
    int Receive()
    {
        const Bytes frame = m_socket.ReadFrame();
        CAPIPackage package;
        package.AttachReceived(frame.data() + 4, static_cast<uint32_t>(frame.size() - 4));
        lastService = package.GetServiceNo();
        CPackageDispatcher::Dispatch(package, &recorder);
        return package.GetEndFlag();
    }

    void Login(const char* user, const char* password)
    {
        LoginReq login{};
        std::strcpy(login.InvestorID, user);
        std::strcpy(login.InvestorPassword, password);
        Send(116, 1, login);
        Receive();
    }

    void Subscribe(const char* code, uint16_t service = 7)
    {
        QuotSubscribeReq request{};
        std::strcpy(request.InstrumentID, code);
        Send(service, 2, request);
        // A subscription may be followed at once by a first quote.
        do
            Receive();
        while (lastService == 125);
    }

    Recorder recorder;
    uint16_t lastService = 0;
    simtest::TestClient m_socket;
};

}  // namespace

TEST(QuoteSimProcess, LoginIsAcceptedOrRefusedAndTheProcessStopsOnSigterm)
{
    Simulator sim({"--user", "u1:pw", "--trade-date", "2024-03-05", "--sys-name", "Test System"});
    ASSERT_NE(0, sim.Port());

    Client good(sim.Port());
    good.Login("u1", "pw");
    EXPECT_EQ(0, good.recorder.info.RspNo);
    EXPECT_STREQ("2024-03-05", good.recorder.login.TradeDate);
    EXPECT_STREQ("Test System", good.recorder.login.SysName);
    EXPECT_NE(0u, good.recorder.login.SessionID);

    Client bad(sim.Port());
    bad.Login("u1", "wrong");
    EXPECT_EQ(1, bad.recorder.info.RspNo);
    EXPECT_STREQ("Invalid user code or password", bad.recorder.info.RspDesc);
    // Refused clients get nothing else.
    bad.Subscribe("ag2406");
    EXPECT_EQ(3, bad.recorder.info.RspNo);

    sim.Process().Signal(SIGTERM);
    EXPECT_EQ(0, sim.Process().Wait());
    EXPECT_TRUE(good.m_socket.WaitClosed());
}

TEST(QuoteSimProcess, SubscriptionsAreCheckedAndQuotesCarryTheFullBook)
{
    Simulator sim({"--instruments", "ag2406@SIMX,cu2407", "--rate", "50", "--seed", "7"});
    Client client(sim.Port());
    client.Login("anyone", "anything");
    ASSERT_EQ(0, client.recorder.info.RspNo);

    client.Subscribe("zz999");
    EXPECT_EQ(2, client.recorder.info.RspNo);
    EXPECT_STREQ("Unknown instrument: zz999", client.recorder.info.RspDesc);
    client.Subscribe("ag2406");
    EXPECT_EQ(0, client.recorder.info.RspNo);
    EXPECT_EQ("ag2406", client.recorder.subscribed);

    while (client.recorder.quotes.size() < 10)
        client.Receive();
    for (const QuotRecord& quote : client.recorder.quotes)
    {
        EXPECT_STREQ("ag2406", quote.InstrumentID);
        EXPECT_STREQ("SIMX", quote.ExchangeID);
        EXPECT_GT(quote.BidPrice10, 0);
        EXPECT_LT(quote.BidPrice10, quote.BidPrice);
        EXPECT_GT(quote.AskPrice10, quote.AskPrice);
        EXPECT_GT(quote.AskQty5, 0);
        EXPECT_GT(quote.AskQty10, 0);
        EXPECT_LE(quote.Price, quote.HighLimit);
        EXPECT_GE(quote.Price, quote.LowLimit);
        EXPECT_GT(quote.OI, 0u);
    }
    // Volume only grows.
    EXPECT_GT(client.recorder.quotes.back().QtyTotal, client.recorder.quotes.front().QtyTotal);

    QuotUnSubscribeReq off{};
    std::strcpy(off.InstrumentID, "cu2407");
    client.Send(9, 3, off);
    while (client.Receive() == 0 && client.lastService == 125)
    {
    }
    EXPECT_EQ(10, client.lastService);
    EXPECT_EQ(4, client.recorder.info.RspNo);  // cu2407 was never subscribed
}

TEST(QuoteSimProcess, HistoryIsAnsweredOverSeveralPackages)
{
    Simulator sim({"--trade-date", "2024-03-05"});
    Client client(sim.Port());
    client.Login("u", "p");

    // The day before the trading day: generated history, a trade every 15 s.
    MinDataQueryReq query{};
    std::strcpy(query.InstrumentID, "au2406");
    std::strcpy(query.DateTimeFrom, "2024-03-04 09:00:00");
    std::strcpy(query.DateTimeTo, "2024-03-04 14:59:00");
    client.Send(192, 42, query);
    int packages = 0;
    std::vector<int> endFlags;
    do
    {
        endFlags.push_back(client.Receive());
        ++packages;
        ASSERT_EQ(193, client.lastService);
    } while (endFlags.back() == 1);

    EXPECT_GT(packages, 1);
    EXPECT_EQ(0, endFlags.back());
    ASSERT_EQ(360u, client.recorder.bars.size());
    EXPECT_STREQ("2024-03-04 09:00:00", client.recorder.bars.front().DateTime);
    EXPECT_STREQ("2024-03-04 14:59:00", client.recorder.bars.back().DateTime);
    // Only the very last record ends the answer.
    for (std::size_t i = 0; i + 1 < client.recorder.flags.size(); ++i)
        EXPECT_EQ(1, client.recorder.flags[i]) << i;
    EXPECT_EQ(0, client.recorder.flags.back());

    // An unknown instrument is answered with an error and an empty list.
    std::strcpy(query.InstrumentID, "nope");
    client.recorder.bars.clear();
    client.Send(192, 43, query);
    EXPECT_EQ(0, client.Receive());
    EXPECT_EQ(2, client.recorder.info.RspNo);
    EXPECT_TRUE(client.recorder.bars.empty());
}

TEST(QuoteSimProcess, ReplaysARecordingInOrder)
{
    const std::string path = simtest::TempPath("replay_in_order.csv");
    std::vector<MarketDepthRecord> rows(3);
    const char* codes[] = {"ag2406", "cu2407", "ag2406"};
    for (int i = 0; i < 3; ++i)
    {
        std::memset(&rows[i], 0, sizeof rows[i]);
        std::strcpy(rows[i].InstrumentID, codes[i]);
        std::strcpy(rows[i].TradeDate, "20240305");
        std::strcpy(rows[i].ModifyDate, "20240305");
        std::strcpy(rows[i].ModifyTime, "09:30:00");
        rows[i].Price = 100.5 + i;
        rows[i].QtyTotal = 10 * (i + 1);
        rows[i].AskQty5 = i + 1;
    }
    {
        std::ofstream out(path);
        out << CQuoteCsv::Header() << "\n";
        for (const MarketDepthRecord& row : rows)
            out << CQuoteCsv::Format(row) << "\n";
    }
    Simulator sim({"--replay", path, "--speed", "0"});
    Client client(sim.Port());
    client.Login("u", "p");
    client.Subscribe("ag2406");
    client.Subscribe("cu2407");
    while (client.recorder.quotes.size() < 3)
        client.Receive();
    for (int i = 0; i < 3; ++i)
    {
        EXPECT_STREQ(codes[i], client.recorder.quotes[i].InstrumentID);
        EXPECT_STREQ("2024-03-05", client.recorder.quotes[i].TradeDate);
        EXPECT_EQ(100.5 + i, client.recorder.quotes[i].Price);
        EXPECT_EQ(uint64_t(10 * (i + 1)), client.recorder.quotes[i].QtyTotal);
        EXPECT_EQ(i + 1, client.recorder.quotes[i].AskQty5);
    }
}

TEST(QuoteSimProcess, HeartbeatsAnIdleClientAndDropsASilentOne)
{
    Simulator sim({"--heartbeat", "0.2", "--timeout", "0.6"});
    simtest::TestClient client(sim.Port());
    const Bytes heartbeat = client.ReadFrame();
    EXPECT_EQ(54u, heartbeat.size());
    EXPECT_EQ(simtest::Hex("00000032 03F1 0000 00000022 03F0 0000 00000002 0000"), Bytes(heartbeat.begin(), heartbeat.begin() + 22));
    EXPECT_TRUE(client.WaitClosed());
}

TEST(QuoteSimProcess, RejectsBadCommandLines)
{
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--listen", "localhost"}, {"--user", "nopassword"}, {"--trade-date", "2024-13-01"},
             {"--rate", "-1"}, {"--instruments", ","}, {"--replay", "/nonexistent/file.csv"}, {"--bogus"}})
    {
        simtest::Process process(KELM_QUOTE_SIM_PATH, args);
        EXPECT_EQ("", process.ReadLine());
        EXPECT_NE(0, process.Wait()) << args[0];
    }
}

namespace
{

// The resident set of a process, in KiB.
long ResidentKiB(int pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.compare(0, 6, "VmRSS:") == 0)
            return std::stol(line.substr(6));
    return -1;
}

std::string FileText(const std::string& path)
{
    std::ifstream in(path);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool WaitForText(const std::string& path, const std::string& text, std::chrono::seconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;)
    {
        if (FileText(path).find(text) != std::string::npos)
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

}  // namespace

// A client that stops reading (a watcher stopped with SIGSTOP) costs the
// simulator a bounded queue: quotes to it are dropped and counted, and the
// simulator goes on serving others.
TEST(QuoteSimProcess, AStoppedClientCostsABoundedQueue)
{
    const std::string log = simtest::TempPath("sim_stopped_client.log");
    simtest::Process sim(KELM_QUOTE_SIM_PATH, {"--rate", "100000"}, false, log);
    const std::string address = sim.ReadLine();
    simtest::Process watcher(KELM_MD_WATCH_PATH, {"--server", "tcp://" + address, "--format", "csv", "au2406", "ag2406",
                                                  "cu2407", "rb2410", "IF2406"});
    // Stopped once a quote has come, so that its subscriptions were sent.
    ASSERT_EQ(0u, watcher.ReadLine(std::chrono::seconds(30)).find("InstrumentID,"));
    ASSERT_FALSE(watcher.ReadLine(std::chrono::seconds(30)).empty());
    watcher.Signal(SIGSTOP);
    ASSERT_TRUE(WaitForText(log, "connection 1 falls behind: dropping quotes", std::chrono::seconds(60)))
        << FileText(log);

    // Unbounded, the queue grew by tens of MiB a second here.
    const long atFirstDrop = ResidentKiB(sim.Pid());
    long highest = atFirstDrop;
    for (int i = 0; i < 20; ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        highest = std::max(highest, ResidentKiB(sim.Pid()));
    }
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // The sanitizers' allocators keep freed memory for a while.
    EXPECT_LT(highest - atFirstDrop, 16 * 1024) << "KiB at the first drop: " << atFirstDrop;
#endif

    // Still serving: another client logs in and gets its quotes.
    Client other(static_cast<uint16_t>(std::stoi(address.substr(address.rfind(':') + 1))), 30000);
    other.Login("u", "p");
    EXPECT_EQ(0, other.recorder.info.RspNo);
    other.Subscribe("au2406");
    while (other.recorder.quotes.size() < 100)
        other.Receive();

    watcher.Signal(SIGKILL);
    EXPECT_TRUE(WaitForText(log, " quotes dropped while it was behind)", std::chrono::seconds(60))) << FileText(log);
    std::remove(log.c_str());
}
