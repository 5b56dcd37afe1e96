#include "quote/CQuotDecoder.h"

#include "bml/BMLByteOrder.h"
#include "bml/BMLDictionary.h"
#include "bml/BMLElement.h"
#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"
#include "quote/CTarnQuotSpi.h"

#include <cstddef>
#include <cstring>
#include <type_traits>
#include <utility>

namespace
{

// One member of the Quot map, with the width its value has on the wire when
// the member is a number (0 for a text), known from the member's type.
struct QuotMember
{
    BMLMemberBinding binding;
    uint32_t width;
};

template <class Member>
constexpr QuotMember MakeMember(const BMLDictEntry& entry, std::size_t offset)
{
    return QuotMember{BMLMemberBinding{&entry, static_cast<uint32_t>(offset), static_cast<uint32_t>(sizeof(Member))},
                      std::is_arithmetic<Member>::value ? static_cast<uint32_t>(sizeof(Member)) : 0u};
}

#define KELM_QUOT_MEMBER(name) MakeMember<decltype(QuotRecord::name)>(BMLDict::name, offsetof(QuotRecord, name))

// The Quot map, one constant table for every quote: all 61 members in wire
// order. AskQty5 and ExchangeID share tag 1637: the decoder tells them apart
// only by position, ExchangeID being expected right after BSFlag.
constexpr QuotMember kQuotMembers[CQuotDecoder::kFieldCount] = {
    KELM_QUOT_MEMBER(MatchID),
    KELM_QUOT_MEMBER(TradeDate),
    KELM_QUOT_MEMBER(InstrumentID),
    KELM_QUOT_MEMBER(Price),
    KELM_QUOT_MEMBER(Qty),
    KELM_QUOT_MEMBER(BidPrice),
    KELM_QUOT_MEMBER(BidQty),
    KELM_QUOT_MEMBER(AskPrice),
    KELM_QUOT_MEMBER(AskQty),
    KELM_QUOT_MEMBER(OpenPrice),
    KELM_QUOT_MEMBER(HighestPrice),
    KELM_QUOT_MEMBER(LowestPrice),
    KELM_QUOT_MEMBER(HighLimit),
    KELM_QUOT_MEMBER(LowLimit),
    KELM_QUOT_MEMBER(OI),
    KELM_QUOT_MEMBER(SettlePrice),
    KELM_QUOT_MEMBER(PreClose),
    KELM_QUOT_MEMBER(PreSettle),
    KELM_QUOT_MEMBER(PreOI),
    KELM_QUOT_MEMBER(QtyTotal),
    KELM_QUOT_MEMBER(Amount),
    KELM_QUOT_MEMBER(ModifyDate),
    KELM_QUOT_MEMBER(ModifyTime),
    KELM_QUOT_MEMBER(BidPrice2),
    KELM_QUOT_MEMBER(BidQty2),
    KELM_QUOT_MEMBER(AskPrice2),
    KELM_QUOT_MEMBER(AskQty2),
    KELM_QUOT_MEMBER(BidPrice3),
    KELM_QUOT_MEMBER(BidQty3),
    KELM_QUOT_MEMBER(AskPrice3),
    KELM_QUOT_MEMBER(AskQty3),
    KELM_QUOT_MEMBER(BidPrice4),
    KELM_QUOT_MEMBER(BidQty4),
    KELM_QUOT_MEMBER(AskPrice4),
    KELM_QUOT_MEMBER(AskQty4),
    KELM_QUOT_MEMBER(BidPrice5),
    KELM_QUOT_MEMBER(BidQty5),
    KELM_QUOT_MEMBER(AskPrice5),
    KELM_QUOT_MEMBER(AskQty5),
    KELM_QUOT_MEMBER(BidPrice6),
    KELM_QUOT_MEMBER(BidQty6),
    KELM_QUOT_MEMBER(AskPrice6),
    KELM_QUOT_MEMBER(AskQty6),
    KELM_QUOT_MEMBER(BidPrice7),
    KELM_QUOT_MEMBER(BidQty7),
    KELM_QUOT_MEMBER(AskPrice7),
    KELM_QUOT_MEMBER(AskQty7),
    KELM_QUOT_MEMBER(BidPrice8),
    KELM_QUOT_MEMBER(BidQty8),
    KELM_QUOT_MEMBER(AskPrice8),
    KELM_QUOT_MEMBER(AskQty8),
    KELM_QUOT_MEMBER(BidPrice9),
    KELM_QUOT_MEMBER(BidQty9),
    KELM_QUOT_MEMBER(AskPrice9),
    KELM_QUOT_MEMBER(AskQty9),
    KELM_QUOT_MEMBER(BidPrice10),
    KELM_QUOT_MEMBER(BidQty10),
    KELM_QUOT_MEMBER(AskPrice10),
    KELM_QUOT_MEMBER(AskQty10),
    KELM_QUOT_MEMBER(BSFlag),
    KELM_QUOT_MEMBER(ExchangeID),
};

#undef KELM_QUOT_MEMBER

// What the fast path below needs of the dictionary, read once: whether it
// may decode by member type at all (every numeric member has the width of
// its dictionary type, every text member is a plain text field), and per
// member the element header it expects, as the bytes on the wire (tag, no
// extension and, for a number, a value length of exactly its width), and
// the text's maximum length.
struct QuotFastPlan
{
    bool usable = true;
    uint8_t header[CQuotDecoder::kFieldCount][BMLElement::HeaderLength] = {};
    uint32_t maxLength[CQuotDecoder::kFieldCount] = {};
};

// Whether the n bytes at a and b are equal: one load and compare each.
template <std::size_t N>
bool SameBytes(const uint8_t* a, const uint8_t* b)
{
    using Word = std::conditional_t<N == 4, uint32_t, uint64_t>;
    static_assert(sizeof(Word) == N, "4 or 8 bytes");
    Word x;
    Word y;
    std::memcpy(&x, a, N);
    std::memcpy(&y, b, N);
    return x == y;
}

QuotFastPlan MakeFastPlan()
{
    QuotFastPlan plan;
    for (std::size_t i = 0; i < CQuotDecoder::kFieldCount; ++i)
    {
        const QuotMember& m = kQuotMembers[i];
        const BMLDictEntry& entry = *m.binding.Entry;
        if (m.width != 0 && CBMLFieldMap::NumericWidth(entry.Type) != m.width)
            plan.usable = false;
        if (m.width == 0 && (entry.Type != 'C' || (entry.KindFlags & BML_KIND_RAW_MASK) != 0 || m.binding.Capacity == 0))
            plan.usable = false;
        BMLByteOrder::Write64(plan.header[i], uint64_t(entry.Id) << 48 | m.width);
        plan.maxLength[i] = entry.MaxLength;
    }
    return plan;
}

template <uint32_t Width>
void StoreNumber(uint8_t* target, const uint8_t* value)
{
    using Number = std::conditional_t<Width == 2, uint16_t, std::conditional_t<Width == 4, uint32_t, uint64_t>>;
    const Number number = BMLByteOrder::Read<Number>(value);
    std::memcpy(target, &number, sizeof number);
}

// Copies n bytes with a few word moves instead of a call: the texts of a
// quote are short. Writes only target[0, n).
inline void CopyShort(uint8_t* target, const uint8_t* source, uint32_t n)
{
    if (n >= 8)
    {
        for (uint32_t i = 0; i + 8 <= n; i += 8)
            std::memcpy(target + i, source + i, 8);
        std::memcpy(target + n - 8, source + n - 8, 8);
    }
    else if (n >= 4)
    {
        std::memcpy(target, source, 4);
        std::memcpy(target + n - 4, source + n - 4, 4);
    }
    else
    {
        for (uint32_t i = 0; i < n; ++i)
            target[i] = source[i];
    }
}

// A plain text value of v bytes into a member of Capacity bytes, as the
// general rule stores it: a single character (maxLength 0 or 1) as it
// stands, a longer text cut to fit and NUL-terminated.
template <uint32_t Capacity>
void StoreText(uint8_t* target, const uint8_t* value, uint32_t v, uint32_t maxLength)
{
    if (maxLength <= 1)
    {
        std::memcpy(target, value, v < Capacity ? v : Capacity);
        return;
    }
    uint32_t n = v < maxLength ? v : maxLength;
    n = n < Capacity - 1 ? n : Capacity - 1;
    CopyShort(target, value, n);
    target[n] = 0;
}

// The general rule for one member, out of line so that the position stays
// in a register on the fast path: the next position, or -1 on a malformed
// record.
__attribute__((noinline)) int64_t GeneralStep(const BMLMemberBinding& binding, uint8_t* record, const uint8_t* in,
                                              uint32_t length, uint32_t p)
{
    return CBMLFieldMap::UnpackMember(binding, record, in, length, p) == 0 ? int64_t(p) : -1;
}

// Member I: an element that stands where it is expected, with no extension,
// holding a number of exactly the member's width or a text that lies within
// the record, is stored at once; that is the general rule's result for this
// case, reached without the general machinery. Everything else takes the
// general step. False on a malformed record.
template <std::size_t I>
bool DecodeMember(const QuotFastPlan& plan, uint8_t* record, const uint8_t* in, uint32_t length, uint32_t& p)
{
    constexpr uint32_t width = kQuotMembers[I].width;
    constexpr uint32_t offset = kQuotMembers[I].binding.Offset;
    constexpr uint32_t capacity = kQuotMembers[I].binding.Capacity;
    constexpr uint32_t header = BMLElement::HeaderLength;
    // p never passes length, so the differences cannot wrap.
    if constexpr (width != 0)
    {
        if (__builtin_expect(length - p >= header + width && SameBytes<8>(in + p, plan.header[I]), 1))
        {
            StoreNumber<width>(record + offset, in + p + header);
            p += header + width;
            return true;
        }
    }
    else if (__builtin_expect(length - p >= header, 1))
    {
        const uint32_t v = BMLByteOrder::Read32(in + p + 4);
        if (__builtin_expect(SameBytes<4>(in + p, plan.header[I]) && v <= length - p - header, 1))
        {
            // An empty value leaves the member as it is.
            if (v != 0)
                StoreText<capacity>(record + offset, in + p + header, v, plan.maxLength[I]);
            p += header + v;
            return true;
        }
    }
    const int64_t next = GeneralStep(kQuotMembers[I].binding, record, in, length, p);
    p = static_cast<uint32_t>(next);
    return next >= 0;
}

template <std::size_t... I>
void DecodeMembers(const QuotFastPlan& plan, uint8_t* record, const uint8_t* in, uint32_t length,
                   std::index_sequence<I...>)
{
    uint32_t p = 0;
    // Stops at the first failure: members after it stay as they are.
    static_cast<void>((DecodeMember<I>(plan, record, in, length, p) && ...));
}

// Fills record from the value of a Quot element, exactly as
// CBMLFieldMap::Unpack would with the map of kQuotMembers.
void DecodeQuot(QuotRecord& record, const uint8_t* in, uint32_t length)
{
    static const QuotFastPlan plan = MakeFastPlan();
    if (plan.usable)
    {
        DecodeMembers(plan, reinterpret_cast<uint8_t*>(&record), in, length,
                      std::make_index_sequence<CQuotDecoder::kFieldCount>());
        return;
    }
    uint32_t p = 0;
    for (const QuotMember& m : kQuotMembers)
        if (CBMLFieldMap::UnpackMember(m.binding, &record, in, length, p) != 0)
            return;
}

}  // namespace

CQuotDecoder::CQuotDecoder()
{
    std::memset(&m_record, 0, sizeof m_record);
}

const QuotRecord& CQuotDecoder::Decode(CAPIPackage& package)
{
    CBMLPackage quot;
    if (package.GetPackage(BMLTag::Quot, &quot) == 0 && quot.GetLength() > 0)
        DecodeQuot(m_record, quot.GetBuffer(), quot.GetLength());
    return m_record;
}

int CQuotDecoder::Dispatch(CAPIPackage& package, CTarnQuotSpi* callback)
{
    // The decoder's record is the copy handed over: it lives on this stack
    // frame for the duration of the call only.
    CQuotDecoder decoder;
    const QuotRecord& record = decoder.Decode(package);
    if (callback)
        callback->OnQuote(&record);
    return 0;
}
