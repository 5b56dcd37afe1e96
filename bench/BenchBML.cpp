// Costs of the BML codec on the client's hot paths: building a login
// request, and decoding a full quote record (61 fields in binding order),
// set against memcpy of the same number of bytes.
#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"

namespace
{

struct LoginRecord
{
    char InvestorID[16];
    char InvestorPassword[21];
    char IP[101];
    char ProductType;
    int32_t ProductVersion;
};

struct QuoteLevel
{
    double BidPrice;
    int32_t BidQty;
    double AskPrice;
    int32_t AskQty;
};

// Laid out like the quote client's quote record.
struct QuoteRecord
{
    char MatchID[31];
    char TradeDate[11];
    char InstrumentID[16];
    double Price;
    int32_t Qty;
    double BidPrice;
    int32_t BidQty;
    double AskPrice;
    int32_t AskQty;
    double OpenPrice, HighestPrice, LowestPrice, HighLimit, LowLimit;
    uint64_t OI;
    double SettlePrice, PreClose, PreSettle;
    uint64_t PreOI, QtyTotal;
    double Amount;
    char ModifyDate[11];
    char ModifyTime[9];
    QuoteLevel Levels[9];  // levels 2 to 10
    char BSFlag;
    char ExchangeID[17];
};

const BMLDictEntry* const LevelEntries[9][4] = {
    {&BMLDict::BidPrice2, &BMLDict::BidQty2, &BMLDict::AskPrice2, &BMLDict::AskQty2},
    {&BMLDict::BidPrice3, &BMLDict::BidQty3, &BMLDict::AskPrice3, &BMLDict::AskQty3},
    {&BMLDict::BidPrice4, &BMLDict::BidQty4, &BMLDict::AskPrice4, &BMLDict::AskQty4},
    {&BMLDict::BidPrice5, &BMLDict::BidQty5, &BMLDict::AskPrice5, &BMLDict::AskQty5},
    {&BMLDict::BidPrice6, &BMLDict::BidQty6, &BMLDict::AskPrice6, &BMLDict::AskQty6},
    {&BMLDict::BidPrice7, &BMLDict::BidQty7, &BMLDict::AskPrice7, &BMLDict::AskQty7},
    {&BMLDict::BidPrice8, &BMLDict::BidQty8, &BMLDict::AskPrice8, &BMLDict::AskQty8},
    {&BMLDict::BidPrice9, &BMLDict::BidQty9, &BMLDict::AskPrice9, &BMLDict::AskQty9},
    {&BMLDict::BidPrice10, &BMLDict::BidQty10, &BMLDict::AskPrice10, &BMLDict::AskQty10}};

class QuoteMap
{
public:
    explicit QuoteMap(QuoteRecord& q)
    {
        Bind(BMLDict::MatchID, q.MatchID, sizeof q.MatchID);
        Bind(BMLDict::TradeDate, q.TradeDate, sizeof q.TradeDate);
        Bind(BMLDict::InstrumentID, q.InstrumentID, sizeof q.InstrumentID);
        Bind(BMLDict::Price, &q.Price, sizeof q.Price);
        Bind(BMLDict::Qty, &q.Qty, sizeof q.Qty);
        Bind(BMLDict::BidPrice, &q.BidPrice, sizeof q.BidPrice);
        Bind(BMLDict::BidQty, &q.BidQty, sizeof q.BidQty);
        Bind(BMLDict::AskPrice, &q.AskPrice, sizeof q.AskPrice);
        Bind(BMLDict::AskQty, &q.AskQty, sizeof q.AskQty);
        Bind(BMLDict::OpenPrice, &q.OpenPrice, sizeof q.OpenPrice);
        Bind(BMLDict::HighestPrice, &q.HighestPrice, sizeof q.HighestPrice);
        Bind(BMLDict::LowestPrice, &q.LowestPrice, sizeof q.LowestPrice);
        Bind(BMLDict::HighLimit, &q.HighLimit, sizeof q.HighLimit);
        Bind(BMLDict::LowLimit, &q.LowLimit, sizeof q.LowLimit);
        Bind(BMLDict::OI, &q.OI, sizeof q.OI);
        Bind(BMLDict::SettlePrice, &q.SettlePrice, sizeof q.SettlePrice);
        Bind(BMLDict::PreClose, &q.PreClose, sizeof q.PreClose);
        Bind(BMLDict::PreSettle, &q.PreSettle, sizeof q.PreSettle);
        Bind(BMLDict::PreOI, &q.PreOI, sizeof q.PreOI);
        Bind(BMLDict::QtyTotal, &q.QtyTotal, sizeof q.QtyTotal);
        Bind(BMLDict::Amount, &q.Amount, sizeof q.Amount);
        Bind(BMLDict::ModifyDate, q.ModifyDate, sizeof q.ModifyDate);
        Bind(BMLDict::ModifyTime, q.ModifyTime, sizeof q.ModifyTime);
        for (int i = 0; i < 9; ++i)
        {
            QuoteLevel& l = q.Levels[i];
            Bind(*LevelEntries[i][0], &l.BidPrice, sizeof l.BidPrice);
            Bind(*LevelEntries[i][1], &l.BidQty, sizeof l.BidQty);
            Bind(*LevelEntries[i][2], &l.AskPrice, sizeof l.AskPrice);
            Bind(*LevelEntries[i][3], &l.AskQty, sizeof l.AskQty);
        }
        Bind(BMLDict::BSFlag, &q.BSFlag, sizeof q.BSFlag);
        Bind(BMLDict::ExchangeID, q.ExchangeID, sizeof q.ExchangeID);
    }

    CBMLFieldMap Map() const { return CBMLFieldMap(m_bindings.data(), uint32_t(m_bindings.size())); }
    size_t Size() const { return m_bindings.size(); }

private:
    void Bind(const BMLDictEntry& entry, void* storage, uint32_t capacity)
    {
        m_bindings.push_back({&entry, storage, capacity, 0, nullptr});
    }

    std::vector<BMLFieldBinding> m_bindings;
};

QuoteRecord SampleQuote()
{
    QuoteRecord q;
    std::memset(&q, 0, sizeof q);
    std::strcpy(q.MatchID, "202403050000123456");
    std::strcpy(q.TradeDate, "2024-03-05");
    std::strcpy(q.InstrumentID, "IF2403");
    std::strcpy(q.ModifyDate, "2024-03-05");
    std::strcpy(q.ModifyTime, "10:15:30");
    std::strcpy(q.ExchangeID, "CFFEX");
    q.BSFlag = 'B';
    q.Price = 3521.4;
    q.Qty = 3;
    q.OI = 123456;
    q.QtyTotal = 987654321;
    q.Amount = 1.5e10;
    for (int i = 0; i < 9; ++i)
        q.Levels[i] = {3521.0 - i, 10 + i, 3522.0 + i, 20 + i};
    return q;
}

// The Quot record's value as the server sends it: every field, in order.
std::vector<uint8_t> PackedQuote()
{
    QuoteRecord q = SampleQuote();
    QuoteMap map(q);
    std::vector<uint8_t> bytes(4096);
    const int n = map.Map().Pack(bytes.data(), uint32_t(bytes.size()));
    bytes.resize(n < 0 ? 0 : size_t(n));
    return bytes;
}

void PackLogin(benchmark::State& state)
{
    LoginRecord login;
    std::memset(&login, 0, sizeof login);
    std::strcpy(login.InvestorID, "10086001");
    std::strcpy(login.InvestorPassword, "secret");
    const BMLFieldBinding bindings[] = {
        {&BMLDict::InvestorID, login.InvestorID, sizeof login.InvestorID, 0, nullptr},
        {&BMLDict::InvestorPassword, login.InvestorPassword, sizeof login.InvestorPassword, 0, nullptr},
        {&BMLDict::IP, login.IP, sizeof login.IP, 0, nullptr},
        {&BMLDict::ProductType, &login.ProductType, sizeof login.ProductType, 0, nullptr},
        {&BMLDict::ProductVersion, &login.ProductVersion, sizeof login.ProductVersion, 0, nullptr}};
    const CBMLFieldMap map(bindings);
    static uint8_t sendBuffer[8192];
    for (auto _ : state)
    {
        CAPIPackage package;
        package.BeginRequest(116, 1, sendBuffer + 4);
        package.AddRecord(map, BMLTag::LoginReq);
        benchmark::DoNotOptimize(package.GetLength());
        benchmark::ClobberMemory();
    }
}
BENCHMARK(PackLogin);

void UnpackQuote(benchmark::State& state)
{
    const std::vector<uint8_t> bytes = PackedQuote();
    QuoteRecord q;
    QuoteMap map(q);
    if (bytes.empty() || map.Size() != 61)
    {
        state.SkipWithError("quote record could not be built");
        return;
    }
    const CBMLFieldMap fieldMap = map.Map();
    // Measure only a decode that is right, shared tag 1637 included.
    std::memset(&q, 0, sizeof q);
    if (fieldMap.Unpack(bytes.data(), uint32_t(bytes.size())) != 0 || std::strcmp(q.ExchangeID, "CFFEX") != 0 ||
        q.Levels[3].AskQty != 23 || q.QtyTotal != 987654321)
    {
        state.SkipWithError("quote record did not decode");
        return;
    }
    // Zeroing the record first is part of every decode the client does.
    for (auto _ : state)
    {
        std::memset(&q, 0, sizeof q);
        benchmark::DoNotOptimize(fieldMap.Unpack(bytes.data(), uint32_t(bytes.size())));
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["record_bytes"] = double(bytes.size());
}
BENCHMARK(UnpackQuote);

void MemcpyQuoteBytes(benchmark::State& state)
{
    const std::vector<uint8_t> bytes = PackedQuote();
    std::vector<uint8_t> copy(bytes.size());
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(copy.data());
        std::memcpy(copy.data(), bytes.data(), bytes.size());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["record_bytes"] = double(bytes.size());
}
BENCHMARK(MemcpyQuoteBytes);

}  // namespace
