// The hand-written golden quote through every way the library decodes a Quot
// record, checked member by member against the record written out by hand:
// a tag mixed up in the dictionary or in a field map shows as a member with
// another member's value.
#include "bml/CAPIPackage.h"
#include "quote/CPackageDispatcher.h"
#include "quote/RecordingSpi.h"
#include "quote/ReferenceQuote.h"
#include "support/GoldenQuote.h"

#include <gtest/gtest.h>

#include <cstring>
#include <utility>
#include <vector>

namespace
{

using namespace wire;

// clang-format off
#define KELM_FOR_EACH_QUOT_MEMBER(X)                                                                        \
    X(MatchID) X(TradeDate) X(InstrumentID) X(Price) X(Qty) X(BidPrice) X(BidQty) X(AskPrice) X(AskQty)    \
    X(OpenPrice) X(HighestPrice) X(LowestPrice) X(HighLimit) X(LowLimit) X(OI) X(SettlePrice) X(PreClose)  \
    X(PreSettle) X(PreOI) X(QtyTotal) X(Amount) X(ModifyDate) X(ModifyTime)                                \
    X(BidPrice2) X(BidQty2) X(AskPrice2) X(AskQty2) X(BidPrice3) X(BidQty3) X(AskPrice3) X(AskQty3)        \
    X(BidPrice4) X(BidQty4) X(AskPrice4) X(AskQty4) X(BidPrice5) X(BidQty5) X(AskPrice5) X(AskQty5)        \
    X(BidPrice6) X(BidQty6) X(AskPrice6) X(AskQty6) X(BidPrice7) X(BidQty7) X(AskPrice7) X(AskQty7)        \
    X(BidPrice8) X(BidQty8) X(AskPrice8) X(AskQty8) X(BidPrice9) X(BidQty9) X(AskPrice9) X(AskQty9)        \
    X(BidPrice10) X(BidQty10) X(AskPrice10) X(AskQty10) X(BSFlag) X(ExchangeID)
// clang-format on

void ExpectGolden(const QuotRecord& actual)
{
    const QuotRecord expected = golden::DecodedQuot();
#define KELM_EXPECT_SAME_MEMBER(m) EXPECT_EQ(0, std::memcmp(&actual.m, &expected.m, sizeof actual.m)) << #m;
    KELM_FOR_EACH_QUOT_MEMBER(KELM_EXPECT_SAME_MEMBER)
#undef KELM_EXPECT_SAME_MEMBER
    // The rest of the bytes, padding included, stay zero.
    EXPECT_EQ(0, std::memcmp(&actual, &expected, sizeof actual));
}

// The quote as the dispatcher hands it to OnQuote from a service-125 package.
std::vector<QuotRecord> Dispatched(const Bytes& quotElement)
{
    const Bytes body = Body(125, 0, 0, {quotElement});
    CAPIPackage package;
    package.AttachReceived(body.data(), static_cast<uint32_t>(body.size()));
    RecordingSpi spi;
    CPackageDispatcher::Dispatch(package, &spi);
    return spi.quotes;
}

TEST(GoldenQuote, GeneralCodecWithTheQuoteFieldMap)
{
    ReferenceQuote reference;
    reference.Unpack(golden::Joined(golden::QuotMembers()));
    ExpectGolden(reference.record);
}

TEST(GoldenQuote, QuoteDecoderInTableOrder)
{
    const std::vector<QuotRecord> quotes = Dispatched(golden::QuotElement());
    ASSERT_EQ(1u, quotes.size());
    ExpectGolden(quotes[0]);
}

// Every member out of its expected place (neighbours swapped pairwise), so
// that the decoder finds each one by searching; the last three stay put,
// so that ExchangeID still follows BSFlag.
TEST(GoldenQuote, QuoteDecoderOutOfOrder)
{
    std::vector<Bytes> members = golden::QuotMembers();
    for (std::size_t i = 0; i + 1 < members.size() - 3; i += 2)
        std::swap(members[i], members[i + 1]);
    const std::vector<QuotRecord> quotes = Dispatched(Element(1141, golden::Joined(members)));
    ASSERT_EQ(1u, quotes.size());
    ExpectGolden(quotes[0]);
}

} // namespace
