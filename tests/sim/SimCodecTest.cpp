// The server's decoding and encoding checked against bytes written out by
// hand, and the splitting of long list answers.
#include <cstring>
#include <string>
#include <variant>

#include <gtest/gtest.h>

#include "bml/BMLByteOrder.h"
#include "bml/CAPIPackage.h"
#include "bml/CBMLRecordSet.h"
#include "sim/CSimEncoder.h"
#include "sim/CSimFieldMaps.h"
#include "sim/CSimFrameAssembler.h"
#include "sim/CSimRequestDecoder.h"
#include "sim/SimTestSupport.h"

using simtest::Bytes;
using simtest::Hex;

namespace
{

const Bytes LogoutFrame = Hex(
    "00000045"
    "03F1 0000 00000022"
    "  03F0 0000 00000002 0076"
    "  03EB 0000 00000004 00000005"
    "  03EC 0000 00000004 00000000"
    "03F2 0000 00000013"
    "  040D 0000 0000000B"
    "    040A 0000 00000003 616263");

const Bytes HeartbeatFrame = Hex(
    "00000032"
    "03F1 0000 00000022"
    "  03F0 0000 00000002 0000"
    "  03EB 0000 00000004 00000000"
    "  03EC 0000 00000004 00000000"
    "03F2 0000 00000000");

// Login answer, request 9: RspInfo {0, "OK"}, then LoginRsp with
// InvestorID u1, TradeDate 2024-03-05, SysName SIM, SysMode R and a
// SessionID of 2^32 + 2 (tag 1638 twice: SysMode, then SessionID).
const Bytes LoginAnswerFrame = Hex(
    "000000B8"
    "03F1 0000 00000022"
    "  03F0 0000 00000002 0075"
    "  03EB 0000 00000004 00000009"
    "  03EC 0000 00000004 00000000"
    "03F2 0000 00000086"
    "  0401 0000 00000014"
    "    0402 0000 00000002 0000"
    "    0403 0000 00000002 4F4B"
    "  0409 0000 00000062"
    "    040A 0000 00000002 7531"
    "    0439 0000 0000000A 323032342D30332D3035"
    "    05BE 0000 00000000"
    "    05EE 0000 00000003 53494D"
    "    0666 0000 00000001 52"
    "    0645 0000 00000001 00"
    "    0649 0000 00000000"
    "    0655 0000 00000001 00"
    "    0666 0000 00000008 00000001 00000002");

Bytes Slice(const Bytes& bytes, std::size_t from, std::size_t count)
{
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(from + count));
}

int32_t EndFlagOf(const Bytes& frame)
{
    CAPIPackage package;
    package.AttachReceived(frame.data() + 4, static_cast<uint32_t>(frame.size() - 4));
    return package.GetEndFlag();
}

// Reads every list record of every frame with the server's own maps.
template <typename Record>
std::vector<Record> DecodeList(const std::vector<SimFrame>& frames, uint16_t listTag)
{
    std::vector<Record> out;
    for (const SimFrame& frame : frames)
    {
        CAPIPackage package;
        package.AttachReceived(frame.data() + 4, static_cast<uint32_t>(frame.size() - 4));
        CBMLRecordSet set;
        package.GetRecordSet(listTag, &set);
        while (set.NextRecord())
        {
            Record record{};
            auto bindings = CSimFieldMaps::Bind(record);
            EXPECT_EQ(0, SimMap(bindings).Unpack(set.GetData(), set.GetLength()));
            out.push_back(record);
        }
    }
    return out;
}

}  // namespace

TEST(SimRequestDecoder, DecodesTheLogoutExampleAndEveryRequestKind)
{
    SimRequest request = CSimRequestDecoder::Decode(LogoutFrame.data() + 4, 0x45);
    EXPECT_EQ(118, request.ServiceNo);
    EXPECT_EQ(5, request.RequestID);
    EXPECT_EQ(0, request.EndFlag);
    ASSERT_TRUE(request.RecordComplete);
    ASSERT_TRUE(std::holds_alternative<LogoutReq>(request.Record));
    EXPECT_STREQ("abc", std::get<LogoutReq>(request.Record).InvestorID);

    // A login request, its five fields in order: IP empty, ProductType and
    // ProductVersion zero.
    const Bytes login = Hex(
        "03F1 0000 00000022 03F0 0000 00000002 0074 03EB 0000 00000004 00000001 03EC 0000 00000004 00000000"
        "03F2 0000 00000039"
        "  0408 0000 00000031"
        "    040A 0000 00000002 7531"
        "    040B 0000 00000002 7077"
        "    067C 0000 00000000"
        "    0691 0000 00000001 00"
        "    0692 0000 00000004 00000000");
    request = CSimRequestDecoder::Decode(login.data(), static_cast<uint32_t>(login.size()));
    EXPECT_EQ(116, request.ServiceNo);
    ASSERT_TRUE(request.RecordComplete);
    EXPECT_STREQ("u1", std::get<LoginReq>(request.Record).InvestorID);
    EXPECT_STREQ("pw", std::get<LoginReq>(request.Record).InvestorPassword);

    // Minute query on service 194: InstrumentID, DateTimeFrom, DateTimeTo, ExchangeID.
    const Bytes minute = Hex(
        "03F1 0000 00000022 03F0 0000 00000002 00C2 03EB 0000 00000004 00000007 03EC 0000 00000004 00000000"
        "03F2 0000 0000002E"
        "  04FD 0000 00000026"
        "    0416 0000 00000002 6131"
        "    0503 0000 00000000"
        "    0504 0000 00000000"
        "    0665 0000 00000004 53494D58");
    request = CSimRequestDecoder::Decode(minute.data(), static_cast<uint32_t>(minute.size()));
    EXPECT_EQ(194, request.ServiceNo);
    EXPECT_EQ(7, request.RequestID);
    ASSERT_TRUE(std::holds_alternative<MinDataQueryReq>(request.Record));
    EXPECT_STREQ("a1", std::get<MinDataQueryReq>(request.Record).InstrumentID);
    EXPECT_STREQ("SIMX", std::get<MinDataQueryReq>(request.Record).ExchangeID);

    // A heartbeat carries no record; a known service without its record is
    // reported incomplete rather than guessed.
    request = CSimRequestDecoder::Decode(HeartbeatFrame.data() + 4, 50);
    EXPECT_EQ(0, request.ServiceNo);
    EXPECT_TRUE(std::holds_alternative<std::monostate>(request.Record));
    Bytes subscribeWithoutRecord = HeartbeatFrame;
    subscribeWithoutRecord[4 + 16 + 1] = 7;
    request = CSimRequestDecoder::Decode(subscribeWithoutRecord.data() + 4, 50);
    EXPECT_EQ(7, request.ServiceNo);
    EXPECT_FALSE(request.RecordComplete);
}

TEST(SimEncoder, HeartbeatAndLoginAnswerMatchHandWrittenBytes)
{
    EXPECT_EQ(HeartbeatFrame, CSimEncoder::Heartbeat());
    EXPECT_EQ(54u, CSimEncoder::Heartbeat().size());

    RspInfo info{};
    std::strcpy(info.RspDesc, "OK");
    LoginRsp rsp{};
    std::strcpy(rsp.InvestorID, "u1");
    std::strcpy(rsp.TradeDate, "2024-03-05");
    std::strcpy(rsp.SysName, "SIM");
    rsp.SysMode[0] = 'R';
    rsp.SessionID = (uint64_t(1) << 32) + 2;
    EXPECT_EQ(LoginAnswerFrame, CSimEncoder::LoginAnswer(9, &info, &rsp));

    // Leaving a part out removes exactly its element.
    const SimFrame noInfo = CSimEncoder::LoginAnswer(9, nullptr, &rsp);
    EXPECT_EQ(LoginAnswerFrame.size() - 28, noInfo.size());
    EXPECT_EQ(Hex("03F2 0000 0000006A 0409 0000 00000062"), Slice(noInfo, 4 + 42, 16));
    const SimFrame onlyInfo = CSimEncoder::SubscribeAnswer(3, &info, nullptr, 1);
    EXPECT_EQ(Hex("0000004E"), Slice(onlyInfo, 0, 4));
    EXPECT_EQ(Hex("0008"), Slice(onlyInfo, 4 + 16, 2));
    EXPECT_EQ(Hex("03EC 0000 00000004 00000001 03F2 0000 0000001C 0401 0000 00000014"), Slice(onlyInfo, 4 + 30, 28));
}

TEST(SimEncoder, QuoteCarriesAllMembersInTableOrder)
{
    QuotRecord quote{};
    std::strcpy(quote.TradeDate, "2024-03-05");
    std::strcpy(quote.InstrumentID, "ag2406");
    quote.Price = 1.5;
    quote.AskQty5 = 7;
    quote.BSFlag[0] = 'B';
    std::strcpy(quote.ExchangeID, "SIMX");
    const SimFrame frame = CSimEncoder::Quote(quote);

    // 61 elements: 12 + 18 doubles, 3 longs, 3 + 18 ints, and the texts.
    ASSERT_EQ(4u + 42 + 8 + 8 + 857, frame.size());
    EXPECT_EQ(Hex("00000393"), Slice(frame, 0, 4));
    EXPECT_EQ(Hex("03F0 0000 00000002 007D 03EB 0000 00000004 00000000"), Slice(frame, 12, 22));
    EXPECT_EQ(Hex("03F2 0000 00000361"
                  "0475 0000 00000359"
                  "0430 0000 00000000"
                  "0439 0000 0000000A 323032342D30332D3035"
                  "0416 0000 00000006 616732343036"
                  "0417 0000 00000008 3FF8000000000000"
                  "0418 0000 00000004 00000000"),
              Slice(frame, 46, 16 + 8 + 18 + 14 + 16 + 12));
    // Level 5 ends with AskQty5 (tag 1637); then level 6 starts at 1640.
    const Bytes level5End = Hex("0665 0000 00000004 00000007 0668 0000 00000008");
    EXPECT_NE(std::search(frame.begin(), frame.end(), level5End.begin(), level5End.end()), frame.end());
    // BSFlag and then ExchangeID (tag 1637 again) close the record.
    EXPECT_EQ(Hex("0415 0000 00000001 42 0665 0000 00000004 53494D58"), Slice(frame, frame.size() - 21, 21));
}

TEST(SimEncoder, ListAnswersHaveTheListLayoutAndSplitWithEndFlags)
{
    DayData day{};
    std::strcpy(day.InstrumentID, "x");
    std::strcpy(day.Date, "2024-03-05");
    const std::vector<SimFrame> one = CSimEncoder::DayDataAnswer(4, nullptr, {day});
    ASSERT_EQ(1u, one.size());
    EXPECT_EQ(0, EndFlagOf(one[0]));
    // DayDataList (1282): one record of 147 bytes behind its length.
    EXPECT_EQ(Hex("03F2 0000 0000009F 0502 0000 00000097 00000093 0416 0000 00000001 78"), Slice(one[0], 46, 29));

    const std::vector<SimFrame> empty = CSimEncoder::TradeDetailAnswer(4, nullptr, {});
    ASSERT_EQ(1u, empty.size());
    EXPECT_EQ(Hex("03F2 0000 00000008 0648 0000 00000000"), Slice(empty[0], 46, 16));

    std::vector<MinData> bars(300);
    for (std::size_t i = 0; i < bars.size(); ++i)
    {
        std::snprintf(bars[i].InstrumentID, sizeof bars[i].InstrumentID, "ag2406");
        std::snprintf(bars[i].DateTime, sizeof bars[i].DateTime, "2024-03-05 09:%02zu:00", i % 60);
        bars[i].ClosePrice = 100.0 + double(i);
        bars[i].QtyTotal = i;
        std::snprintf(bars[i].ExchangeID, sizeof bars[i].ExchangeID, "SIMX");
    }
    RspInfo info{};
    std::strcpy(info.RspDesc, "OK");
    const std::vector<SimFrame> frames = CSimEncoder::MinDataAnswer(193, 11, &info, bars);
    ASSERT_GT(frames.size(), 2u);
    for (std::size_t i = 0; i < frames.size(); ++i)
    {
        EXPECT_LE(frames[i].size(), 8192u);
        EXPECT_EQ(frames[i].size() - 4, BMLByteOrder::Read32(frames[i].data()));
        EXPECT_EQ(i + 1 < frames.size() ? 1 : 0, EndFlagOf(frames[i])) << "package " << i;
    }
    // Every package but the last is filled close to the limit.
    EXPECT_GT(frames[0].size(), 8192u - 200);
    const std::vector<MinData> decoded = DecodeList<MinData>(frames, BMLTag::MinDataList);
    ASSERT_EQ(bars.size(), decoded.size());
    for (std::size_t i = 0; i < bars.size(); ++i)
    {
        EXPECT_STREQ(bars[i].DateTime, decoded[i].DateTime);
        EXPECT_EQ(bars[i].ClosePrice, decoded[i].ClosePrice);
        EXPECT_EQ(bars[i].QtyTotal, decoded[i].QtyTotal);
    }
}

TEST(SimFrameAssembler, CutsFramesSplitAnywhere)
{
    const Bytes stream = simtest::Cat(simtest::Cat(LogoutFrame, HeartbeatFrame), Hex("00000000"));
    // Every split point of the stream into two chunks, and byte by byte.
    for (std::size_t cut = 0; cut <= stream.size(); ++cut)
    {
        CSimFrameAssembler assembler;
        std::vector<Bytes> frames;
        auto collect = [&](const uint8_t* f, uint32_t n) { frames.emplace_back(f, f + n); };
        ASSERT_TRUE(assembler.Feed(stream.data(), cut, collect));
        ASSERT_TRUE(assembler.Feed(stream.data() + cut, stream.size() - cut, collect));
        ASSERT_EQ(3u, frames.size()) << "cut at " << cut;
        EXPECT_EQ(LogoutFrame, frames[0]);
        EXPECT_EQ(HeartbeatFrame, frames[1]);
        EXPECT_EQ(Hex("00000000"), frames[2]);
        EXPECT_EQ(0u, assembler.Pending());
    }
    CSimFrameAssembler bytewise;
    int count = 0;
    for (uint8_t b : stream)
        bytewise.Feed(&b, 1, [&](const uint8_t*, uint32_t) { ++count; });
    EXPECT_EQ(3, count);
}

TEST(SimFrameAssembler, RefusesAnnouncementsAboveTheLimitAsSoonAsThePrefixIsIn)
{
    CSimFrameAssembler accepted;
    Bytes full = Hex("00001FFC");  // 8188
    full.resize(4 + 8188);
    int frames = 0;
    EXPECT_TRUE(accepted.Feed(full.data(), full.size(), [&](const uint8_t*, uint32_t n) {
        EXPECT_EQ(8192u, n);
        ++frames;
    }));
    EXPECT_EQ(1, frames);

    CSimFrameAssembler refused;
    const Bytes tooLarge = Hex("00001FFD");  // 8189, arriving in two pieces
    EXPECT_TRUE(refused.Feed(tooLarge.data(), 2, [](const uint8_t*, uint32_t) { FAIL(); }));
    EXPECT_FALSE(refused.Feed(tooLarge.data() + 2, 2, [](const uint8_t*, uint32_t) { FAIL(); }));
    EXPECT_TRUE(refused.Failed());
    EXPECT_FALSE(refused.Feed(LogoutFrame.data(), LogoutFrame.size(), [](const uint8_t*, uint32_t) { FAIL(); }));
}
