#include "quote/CQuotDecoder.h"

#include "bml/BMLByteOrder.h"
#include "bml/BMLDictionary.h"
#include "bml/BMLElement.h"
#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"
#include "bml/ZeroBytes.h"
#include "quote/CTarnQuotSpi.h"

#include <cstddef>
#include <cstring>
#include <type_traits>

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
// its dictionary type; every text member is a plain text field that the
// member's size alone limits, or a single character), and per member the
// element header it expects, as the bytes on the wire (tag, no extension
// and, for a number, a value length of exactly its width).
struct QuotFastPlan
{
    bool usable = true;
    uint8_t header[CQuotDecoder::kFieldCount][BMLElement::HeaderLength] = {};
};

// A text member whose store the member's size decides alone: a single
// character (maxLength 0 or 1) into one byte, or a text whose maximum length
// is at least what the member holds before its terminator.
bool TextFitsMember(const BMLDictEntry& entry, uint32_t capacity)
{
    if (entry.Type != 'C' || (entry.KindFlags & BML_KIND_RAW_MASK) != 0)
        return false;
    if (capacity == 1)
        return entry.MaxLength <= 1;
    return entry.MaxLength > 1 && entry.MaxLength >= capacity - 1;
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
        if (m.width == 0 && !TextFitsMember(entry, m.binding.Capacity))
            plan.usable = false;
        BMLElement::WriteHeader(plan.header[i], entry.Id, m.width);
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

template <std::size_t N>
void Move(uint8_t* target, const uint8_t* source)
{
    std::memcpy(target, source, N);
}

// Copies n <= MaxN bytes with two overlapping moves of the largest size that
// fits, instead of a call or a loop: the texts of a quote are short. Writes
// only target[0, n).
template <uint32_t MaxN>
void CopyShort(uint8_t* target, const uint8_t* source, uint32_t n)
{
    static_assert(MaxN <= 32, "short texts only");
    if constexpr (MaxN >= 16)
        if (n >= 16)
        {
            Move<16>(target, source);
            Move<16>(target + n - 16, source + n - 16);
            return;
        }
    if constexpr (MaxN >= 8)
        if (n >= 8)
        {
            Move<8>(target, source);
            Move<8>(target + n - 8, source + n - 8);
            return;
        }
    if (n >= 4)
    {
        Move<4>(target, source);
        Move<4>(target + n - 4, source + n - 4);
    }
    else if (n >= 2)
    {
        Move<2>(target, source);
        Move<2>(target + n - 2, source + n - 2);
    }
    else if (n == 1)
    {
        target[0] = source[0];
    }
}

// A plain text value of v bytes (v > 0) into a member of Capacity bytes, as
// the general rule stores it where the plan holds: a single character as it
// stands, a longer text cut to fit and NUL-terminated.
template <uint32_t Capacity>
void StoreText(uint8_t* target, const uint8_t* value, uint32_t v)
{
    if constexpr (Capacity == 1)
    {
        target[0] = value[0];
    }
    else
    {
        const uint32_t n = v < Capacity - 1 ? v : Capacity - 1;
        CopyShort<Capacity - 1>(target, value, n);
        target[n] = 0;
    }
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
        if (__builtin_expect(length - p >= header + width && BMLElement::SameBytes<8>(in + p, plan.header[I]), 1))
        {
            StoreNumber<width>(record + offset, in + p + header);
            p += header + width;
            return true;
        }
    }
    else if (__builtin_expect(length - p >= header, 1))
    {
        const uint32_t v = BMLByteOrder::Read32(in + p + 4);
        if (__builtin_expect(BMLElement::SameBytes<4>(in + p, plan.header[I]) && v <= length - p - header, 1))
        {
            // An empty value leaves the member as it is.
            if (v != 0)
                StoreText<capacity>(record + offset, in + p + header, v);
            p += header + v;
            return true;
        }
    }
    const int64_t next = GeneralStep(kQuotMembers[I].binding, record, in, length, p);
    p = static_cast<uint32_t>(next);
    return next >= 0;
}

// The numbers in a row from member I on (one past the last of them), and
// the bytes their elements take on the wire when each is as expected.
constexpr std::size_t NumbersEnd(std::size_t i)
{
    while (i < CQuotDecoder::kFieldCount && kQuotMembers[i].width != 0)
        ++i;
    return i;
}

constexpr uint32_t NumbersBytes(std::size_t begin, std::size_t end)
{
    uint32_t bytes = 0;
    for (std::size_t i = begin; i < end; ++i)
        bytes += BMLElement::HeaderLength + kQuotMembers[i].width;
    return bytes;
}

// Members I to the last, each by DecodeMember: the way on once a record is
// not as expected. One function per member, so that the fast path can leave
// for it at any member without a copy of the rest for every such place.
template <std::size_t I>
__attribute__((noinline)) void DecodeRest(const QuotFastPlan& plan, uint8_t* record, const uint8_t* in,
                                          uint32_t length, uint32_t p)
{
    if constexpr (I < CQuotDecoder::kFieldCount)
        if (DecodeMember<I>(plan, record, in, length, p))
            DecodeRest<I + 1>(plan, record, in, length, p);
}

template <std::size_t I>
void DecodeFrom(const QuotFastPlan& plan, uint8_t* record, const uint8_t* in, uint32_t length, uint32_t p);

// Member K of the numbers B to E - 1, whose elements are known to lie within
// the record when each is as expected, the first at p: K's element is at a
// fixed distance from p as long as those before it were as expected, so only
// its header is compared. At the first one that differs the rest goes member
// by member.
template <std::size_t B, std::size_t K, std::size_t E>
void DecodeNumbers(const QuotFastPlan& plan, uint8_t* record, const uint8_t* in, uint32_t length, uint32_t p)
{
    if constexpr (K == E)
    {
        DecodeFrom<E>(plan, record, in, length, p + NumbersBytes(B, E));
    }
    else
    {
        constexpr uint32_t at = NumbersBytes(B, K);
        if (__builtin_expect(!BMLElement::SameBytes<8>(in + p + at, plan.header[K]), 0))
            return DecodeRest<K>(plan, record, in, length, p + at);
        StoreNumber<kQuotMembers[K].width>(record + kQuotMembers[K].binding.Offset,
                                           in + p + at + BMLElement::HeaderLength);
        DecodeNumbers<B, K + 1, E>(plan, record, in, length, p);
    }
}

// Members I to the last, the element of I expected at p. A run of numbers is
// checked against the record's length once, then header by header; a text
// is taken by DecodeMember, which is exact wherever p stands.
template <std::size_t I>
void DecodeFrom(const QuotFastPlan& plan, uint8_t* record, const uint8_t* in, uint32_t length, uint32_t p)
{
    if constexpr (I == CQuotDecoder::kFieldCount)
    {
        return;
    }
    else if constexpr (kQuotMembers[I].width == 0)
    {
        if (DecodeMember<I>(plan, record, in, length, p))
            DecodeFrom<I + 1>(plan, record, in, length, p);
    }
    else
    {
        constexpr std::size_t end = NumbersEnd(I);
        // p never passes length, so the difference cannot wrap.
        if (__builtin_expect(length - p < NumbersBytes(I, end), 0))
            return DecodeRest<I>(plan, record, in, length, p);
        DecodeNumbers<I, I, end>(plan, record, in, length, p);
    }
}

// Fills record from the value of a Quot element, exactly as
// CBMLFieldMap::Unpack would with the map of kQuotMembers.
void DecodeQuot(QuotRecord& record, const uint8_t* in, uint32_t length)
{
    static const QuotFastPlan plan = MakeFastPlan();
    if (plan.usable)
    {
        DecodeFrom<0>(plan, reinterpret_cast<uint8_t*>(&record), in, length, 0);
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
    ZeroBytes<sizeof m_record>(&m_record);
}

const QuotRecord& CQuotDecoder::Decode(CAPIPackage& package)
{
    const CBMLPackage::Value quot = package.FindValue(BMLTag::Quot);
    if (quot.data != nullptr && quot.length > 0)
        DecodeQuot(m_record, quot.data, quot.length);
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
