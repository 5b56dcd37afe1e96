#include "QuoteSample.h"

#include <cstring>
#include <stdexcept>

#include "bml/BMLByteOrder.h"
#include "sim/CSimEncoder.h"

namespace
{

// Amount of the sample: a value whose bit pattern occurs nowhere else in the
// frame, so that the stamp's offset can be found by searching for it.
constexpr double kAmountMarker = 98765432109.125;

void Text(char* target, std::size_t size, const char* text)
{
    std::memset(target, 0, size);
    const std::size_t n = std::strlen(text);
    std::memcpy(target, text, n < size ? n : size - 1);
}

}  // namespace

namespace QuoteSample
{

QuotRecord Record()
{
    QuotRecord q;
    std::memset(&q, 0, sizeof q);
    Text(q.MatchID, sizeof q.MatchID, "00123456");
    Text(q.TradeDate, sizeof q.TradeDate, "2024-03-05");
    Text(q.InstrumentID, sizeof q.InstrumentID, "cu2405");
    Text(q.ModifyDate, sizeof q.ModifyDate, "2024-03-05");
    Text(q.ModifyTime, sizeof q.ModifyTime, "10:15:30");
    Text(q.ExchangeID, sizeof q.ExchangeID, "SHFE");
    q.BSFlag[0] = 'B';
    q.Price = 68520.0;
    q.Qty = 3;
    q.BidPrice = 68510.0;
    q.BidQty = 11;
    q.AskPrice = 68530.0;
    q.AskQty = 21;
    q.OpenPrice = 68000.0;
    q.HighestPrice = 68900.0;
    q.LowestPrice = 67950.0;
    q.HighLimit = 73400.0;
    q.LowLimit = 62300.0;
    q.OI = 212345;
    q.SettlePrice = 68400.0;
    q.PreClose = 68100.0;
    q.PreSettle = 68150.0;
    q.PreOI = 210000;
    q.QtyTotal = 123456;
    q.Amount = kAmountMarker;
    double* bidPrices[] = {&q.BidPrice2, &q.BidPrice3, &q.BidPrice4, &q.BidPrice5, &q.BidPrice6,
                           &q.BidPrice7, &q.BidPrice8, &q.BidPrice9, &q.BidPrice10};
    double* askPrices[] = {&q.AskPrice2, &q.AskPrice3, &q.AskPrice4, &q.AskPrice5, &q.AskPrice6,
                           &q.AskPrice7, &q.AskPrice8, &q.AskPrice9, &q.AskPrice10};
    int32_t* bidQtys[] = {&q.BidQty2, &q.BidQty3, &q.BidQty4, &q.BidQty5, &q.BidQty6,
                          &q.BidQty7, &q.BidQty8, &q.BidQty9, &q.BidQty10};
    int32_t* askQtys[] = {&q.AskQty2, &q.AskQty3, &q.AskQty4, &q.AskQty5, &q.AskQty6,
                          &q.AskQty7, &q.AskQty8, &q.AskQty9, &q.AskQty10};
    for (int i = 0; i < 9; ++i)
    {
        *bidPrices[i] = 68500.0 - 10 * i;
        *askPrices[i] = 68540.0 + 10 * i;
        *bidQtys[i] = 12 + i;
        *askQtys[i] = 22 + i;
    }
    return q;
}

std::vector<uint8_t> Frame()
{
    return CSimEncoder::Quote(Record());
}

std::size_t StampOffset(const std::vector<uint8_t>& frame)
{
    uint64_t bits;
    std::memcpy(&bits, &kAmountMarker, sizeof bits);
    uint8_t pattern[8];
    BMLByteOrder::Write64(pattern, bits);
    for (std::size_t i = 0; i + sizeof pattern <= frame.size(); ++i)
        if (std::memcmp(frame.data() + i, pattern, sizeof pattern) == 0)
            return i;
    throw std::runtime_error("the sample frame carries no Amount");
}

void WriteStamp(uint8_t* frame, std::size_t offset, int64_t nanoseconds)
{
    const double value = static_cast<double>(nanoseconds);
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    BMLByteOrder::Write64(frame + offset, bits);
}

int64_t ReadStamp(const uint8_t* frame, std::size_t offset)
{
    const uint64_t bits = BMLByteOrder::Read64(frame + offset);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return static_cast<int64_t>(value);
}

}  // namespace QuoteSample
