// Writes the seed corpora of the fuzz targets from packages our own server
// encodes: fuzz_seeds RECEIVE_DIR CODEC_DIR.
#include "bml/CBMLFieldMap.h"
#include "sim/CSimEncoder.h"
#include "sim/CSimFieldMaps.h"
#include "tests/reliability/SoakQuote.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

namespace
{

using Bytes = std::vector<uint8_t>;

void Write(const std::string& path, const Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

// One stream seed: eight chunk sizes, then the frames.
Bytes Stream(std::initializer_list<uint8_t> cuts, const std::vector<Bytes>& frames)
{
    Bytes out(cuts);
    for (const Bytes& frame : frames)
        Append(out, frame);
    return out;
}

template <class Record>
Bytes RecordBody(Record record)
{
    const auto bindings = CSimFieldMaps::Bind(record);
    uint8_t buffer[8192];
    const int length = SimMap(bindings).Pack(buffer, sizeof buffer);
    return Bytes(buffer, buffer + (length > 0 ? length : 0));
}

// Codec seed: selector, mode, then a record body or a list of three records.
template <class Record>
Bytes CodecSeed(uint8_t selector, bool list, const Record& record)
{
    Bytes out{selector, static_cast<uint8_t>(list ? 1 : 0)};
    const Bytes body = RecordBody(record);
    for (int i = 0; i < (list ? 3 : 1); ++i)
    {
        if (list)
            for (int shift = 24; shift >= 0; shift -= 8)
                out.push_back(static_cast<uint8_t>(body.size() >> shift));
        Append(out, body);
    }
    return out;
}

template <class Record>
Record Filled()
{
    Record record;
    std::memset(&record, 0, sizeof record);
    return record;
}

void WriteReceiveSeeds(const std::string& dir)
{
    RspInfo info = Filled<RspInfo>();
    std::strcpy(info.RspDesc, "ok");
    LoginRsp login = Filled<LoginRsp>();
    std::strcpy(login.InvestorID, "u1");
    std::strcpy(login.TradeDate, "2026-12-08");
    login.SessionID = 42;
    QuotSubscribeRsp sub = Filled<QuotSubscribeRsp>();
    std::strcpy(sub.InstrumentID, "cu2501");
    QuotUnSubscribeRsp unsub = Filled<QuotUnSubscribeRsp>();
    std::strcpy(unsub.InstrumentID, "ag2506");
    MinData bar = Filled<MinData>();
    std::strcpy(bar.InstrumentID, "cu2501");
    bar.ClosePrice = 1.5;
    TradeDetailRecord trade = Filled<TradeDetailRecord>();
    std::strcpy(trade.MatchID, "7");
    DayData day = Filled<DayData>();
    std::strcpy(day.Date, "2026-12-08");

    const Bytes quote = CSimEncoder::Quote(soak::MakeQuote(1));
    Write(dir + "/session", Stream({0, 0, 0, 0, 0, 0, 0, 0},
                                   {CSimEncoder::Heartbeat(), CSimEncoder::LoginAnswer(1, &info, &login),
                                    CSimEncoder::SubscribeAnswer(2, &info, &sub), quote,
                                    CSimEncoder::Quote(soak::MakeQuote(2))}));
    Write(dir + "/quote-split", Stream({1, 3, 7, 64, 5, 200, 2, 0}, {quote, quote}));
    Write(dir + "/answers", Stream({9, 0, 0, 0, 0, 0, 0, 0},
                                   {CSimEncoder::LogoutAnswer(3, &info, nullptr),
                                    CSimEncoder::UnsubscribeAnswer(4, nullptr, &unsub),
                                    CSimEncoder::EmptyPackage(117, 5, 0)}));
    Write(dir + "/lists", Stream({0, 0, 0, 0, 0, 0, 0, 0},
                                 {CSimEncoder::MinDataAnswer(151, 6, &info, {bar, bar}).at(0),
                                  CSimEncoder::DayDataAnswer(7, &info, {day}).at(0),
                                  CSimEncoder::TradeDetailAnswer(8, nullptr, {trade, trade}).at(0),
                                  CSimEncoder::MinDataAnswer(195, 9, &info, {}).at(0)}));
}

void WriteCodecSeeds(const std::string& dir)
{
    const QuotRecord quote = soak::MakeQuote(12345);
    RspInfo info = Filled<RspInfo>();
    std::strcpy(info.RspDesc, "done");
    LoginRsp login = Filled<LoginRsp>();
    std::strcpy(login.InvestorName, "name");
    MinData bar = Filled<MinData>();
    bar.OpenPrice = 2.25;
    TradeDetailRecord trade = Filled<TradeDetailRecord>();
    trade.Qty = 3;
    for (bool list : {false, true})
    {
        const std::string suffix = list ? "-list" : "";
        Write(dir + "/quote" + suffix, CodecSeed(0, list, quote));
        Write(dir + "/rspinfo" + suffix, CodecSeed(1, list, info));
        Write(dir + "/login" + suffix, CodecSeed(2, list, login));
        Write(dir + "/mindata" + suffix, CodecSeed(6, list, bar));
        Write(dir + "/trade" + suffix, CodecSeed(8, list, trade));
    }
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: %s RECEIVE_DIR CODEC_DIR\n", argv[0]);
        return 2;
    }
    WriteReceiveSeeds(argv[1]);
    WriteCodecSeeds(argv[2]);
    return 0;
}
