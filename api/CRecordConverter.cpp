#include "api/CRecordConverter.h"

#include "bml/ZeroBytes.h"
#include "net/Platform.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>

void CRecordConverter::CopyText(char* target, std::size_t size, const char* source)
{
    if (size == 0)
        return;
    std::size_t n = 0;
    if (source)
        while (n + 1 < size && source[n] != '\0')
        {
            target[n] = source[n];
            ++n;
        }
    std::memset(target + n, 0, size - n);
}

namespace
{

// Eight bytes as a little-endian number, on any host: the byte at the lowest
// address is the lowest. Compilers make one load or store of each.
uint64_t LoadLittle(const char* p)
{
    unsigned char b[8];
    std::memcpy(b, p, 8);
    uint64_t v = 0;
    for (int i = 7; i >= 0; --i)
        v = v << 8 | b[i];
    return v;
}

void StoreLittle(char* p, uint64_t v)
{
    unsigned char b[8];
    for (int i = 0; i < 8; ++i)
        b[i] = static_cast<unsigned char>(v >> (8 * i));
    std::memcpy(p, b, 8);
}

}  // namespace

template <std::size_t N>
void CRecordConverter::CopyTextToZeroed(char* target, const char* source)
{
    static_assert(N % 8 == 0, "whole words");
    constexpr uint64_t ones = 0x0101010101010101ull;
    for (std::size_t i = 0; i < N; i += 8)
    {
        const uint64_t word = LoadLittle(source + i);
        // Bit 7 of every zero byte, and perhaps of bytes above one: the
        // lowest bit set marks the first NUL exactly.
        const uint64_t zeros = (word - ones) & ~word & (ones << 7);
        if (zeros != 0)
        {
            const uint64_t before = ((zeros & (0 - zeros)) >> 7) - 1;
            StoreLittle(target + i, word & before);
            return;
        }
        StoreLittle(target + i, word);
    }
}

void CRecordConverter::CompactDate(char target[9], const char* source, std::size_t sourceSize)
{
    // Characters 1-4, 6-7 and 9-10 of YYYY-MM-DD.
    static const std::size_t kPick[8] = {0, 1, 2, 3, 5, 6, 8, 9};
    if (sourceSize >= 10)
    {
        // The usual case, every character present: no per-character test.
        std::memcpy(target, source, 4);
        std::memcpy(target + 4, source + 5, 2);
        std::memcpy(target + 6, source + 8, 2);
        target[8] = 0;
        return;
    }
    std::memset(target, 0, 9);
    for (std::size_t i = 0; i < 8; ++i)
        if (kPick[i] < sourceSize)
            target[i] = source[kPick[i]];
}

ResponseInfoRecord* CRecordConverter::ToResponseInfo(ResponseInfoRecord& target,
                                                     const RspInfo* source)
{
    if (!source)
        return nullptr;
    std::memset(&target, 0, sizeof target);
    target.RspNo = static_cast<int>(source->RspNo);  // widened without sign: 0..65535
    CopyText(target.RspDesc, sizeof target.RspDesc, source->RspDesc);
    return &target;
}

void CRecordConverter::ToMarketDepth(MarketDepthRecord& target, const QuotRecord& source)
{
    ZeroBytes<sizeof target>(&target);
    CompactDate(target.TradeDate, source.TradeDate, sizeof source.TradeDate);
    CopyTextToZeroed<sizeof target.ExchangeID - 1>(target.ExchangeID, source.ExchangeID);
    target.Price = source.Price;
    target.PreSettle = source.PreSettle;
    target.PreClose = source.PreClose;
    target.PreOI = static_cast<double>(source.PreOI);
    target.OpenPrice = source.OpenPrice;
    target.HighestPrice = source.HighestPrice;
    target.LowestPrice = source.LowestPrice;
    target.QtyTotal = static_cast<int>(static_cast<uint32_t>(source.QtyTotal));  // low 32 bits
    target.Amount = source.Amount;
    target.OI = static_cast<double>(source.OI);
    target.CurrentPrice = source.Price;
    target.SettlePrice = source.SettlePrice;
    target.HighLimit = source.HighLimit;
    target.LowLimit = source.LowLimit;
    CopyTextToZeroed<sizeof target.ModifyTime - 1>(target.ModifyTime, source.ModifyTime);
    target.BidPrice1 = source.BidPrice;
    target.BidQty1 = source.BidQty;
    target.AskPrice1 = source.AskPrice;
    target.AskQty1 = source.AskQty;
    target.BidPrice2 = source.BidPrice2;
    target.BidQty2 = source.BidQty2;
    target.AskPrice2 = source.AskPrice2;
    target.AskQty2 = source.AskQty2;
    target.BidPrice3 = source.BidPrice3;
    target.BidQty3 = source.BidQty3;
    target.AskPrice3 = source.AskPrice3;
    target.AskQty3 = source.AskQty3;
    target.BidPrice4 = source.BidPrice4;
    target.BidQty4 = source.BidQty4;
    target.AskPrice4 = source.AskPrice4;
    target.AskQty4 = source.AskQty4;
    target.BidPrice5 = source.BidPrice5;
    target.BidQty5 = source.BidQty5;
    target.AskPrice5 = source.AskPrice5;
    target.AskQty5 = source.AskQty5;
    CompactDate(target.ModifyDate, source.ModifyDate, sizeof source.ModifyDate);
    CopyTextToZeroed<sizeof source.InstrumentID>(target.InstrumentID, source.InstrumentID);
}

void CRecordConverter::FormatLocalTime(char target[9])
{
    const std::tm local = Platform::LocalTime(std::time(nullptr));
    std::snprintf(target, 9, "%02u:%02u:%02u", static_cast<unsigned>(local.tm_hour) % 100u,
                  static_cast<unsigned>(local.tm_min) % 100u, static_cast<unsigned>(local.tm_sec) % 100u);
}
