// The quote decoder against the general field-map codec: for well-formed and
// for damaged Quot records alike, the record the decoder fills must be the
// one CBMLFieldMap::Unpack fills from a map of the same 61 members, byte for
// byte.
#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"
#include "quote/CQuotDecoder.h"
#include "quote/FieldBinding.h"
#include "support/WireBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

using namespace wire;

// The Quot map built binding by binding over one record, in wire order.
class ReferenceQuote
{
public:
    ReferenceQuote()
    {
        std::memset(&record, 0, sizeof record);
        QuotRecord& r = record;
        const BMLFieldBinding bindings[CQuotDecoder::kFieldCount] = {
            BindField(BMLDict::MatchID, r.MatchID), BindField(BMLDict::TradeDate, r.TradeDate),
            BindField(BMLDict::InstrumentID, r.InstrumentID), BindField(BMLDict::Price, r.Price),
            BindField(BMLDict::Qty, r.Qty), BindField(BMLDict::BidPrice, r.BidPrice),
            BindField(BMLDict::BidQty, r.BidQty), BindField(BMLDict::AskPrice, r.AskPrice),
            BindField(BMLDict::AskQty, r.AskQty), BindField(BMLDict::OpenPrice, r.OpenPrice),
            BindField(BMLDict::HighestPrice, r.HighestPrice), BindField(BMLDict::LowestPrice, r.LowestPrice),
            BindField(BMLDict::HighLimit, r.HighLimit), BindField(BMLDict::LowLimit, r.LowLimit),
            BindField(BMLDict::OI, r.OI), BindField(BMLDict::SettlePrice, r.SettlePrice),
            BindField(BMLDict::PreClose, r.PreClose), BindField(BMLDict::PreSettle, r.PreSettle),
            BindField(BMLDict::PreOI, r.PreOI), BindField(BMLDict::QtyTotal, r.QtyTotal),
            BindField(BMLDict::Amount, r.Amount), BindField(BMLDict::ModifyDate, r.ModifyDate),
            BindField(BMLDict::ModifyTime, r.ModifyTime),
            BindField(BMLDict::BidPrice2, r.BidPrice2), BindField(BMLDict::BidQty2, r.BidQty2),
            BindField(BMLDict::AskPrice2, r.AskPrice2), BindField(BMLDict::AskQty2, r.AskQty2),
            BindField(BMLDict::BidPrice3, r.BidPrice3), BindField(BMLDict::BidQty3, r.BidQty3),
            BindField(BMLDict::AskPrice3, r.AskPrice3), BindField(BMLDict::AskQty3, r.AskQty3),
            BindField(BMLDict::BidPrice4, r.BidPrice4), BindField(BMLDict::BidQty4, r.BidQty4),
            BindField(BMLDict::AskPrice4, r.AskPrice4), BindField(BMLDict::AskQty4, r.AskQty4),
            BindField(BMLDict::BidPrice5, r.BidPrice5), BindField(BMLDict::BidQty5, r.BidQty5),
            BindField(BMLDict::AskPrice5, r.AskPrice5), BindField(BMLDict::AskQty5, r.AskQty5),
            BindField(BMLDict::BidPrice6, r.BidPrice6), BindField(BMLDict::BidQty6, r.BidQty6),
            BindField(BMLDict::AskPrice6, r.AskPrice6), BindField(BMLDict::AskQty6, r.AskQty6),
            BindField(BMLDict::BidPrice7, r.BidPrice7), BindField(BMLDict::BidQty7, r.BidQty7),
            BindField(BMLDict::AskPrice7, r.AskPrice7), BindField(BMLDict::AskQty7, r.AskQty7),
            BindField(BMLDict::BidPrice8, r.BidPrice8), BindField(BMLDict::BidQty8, r.BidQty8),
            BindField(BMLDict::AskPrice8, r.AskPrice8), BindField(BMLDict::AskQty8, r.AskQty8),
            BindField(BMLDict::BidPrice9, r.BidPrice9), BindField(BMLDict::BidQty9, r.BidQty9),
            BindField(BMLDict::AskPrice9, r.AskPrice9), BindField(BMLDict::AskQty9, r.AskQty9),
            BindField(BMLDict::BidPrice10, r.BidPrice10), BindField(BMLDict::BidQty10, r.BidQty10),
            BindField(BMLDict::AskPrice10, r.AskPrice10), BindField(BMLDict::AskQty10, r.AskQty10),
            BindField(BMLDict::BSFlag, r.BSFlag), BindField(BMLDict::ExchangeID, r.ExchangeID),
        };
        std::memcpy(m_bindings, bindings, sizeof m_bindings);
    }

    const BMLFieldBinding& Binding(std::size_t i) const { return m_bindings[i]; }

    void Unpack(const Bytes& value) { CBMLFieldMap(m_bindings).Unpack(value.data(), uint32_t(value.size())); }

    QuotRecord record;

private:
    BMLFieldBinding m_bindings[CQuotDecoder::kFieldCount];
};

// One element per member, in wire order, with values of the member's type:
// texts of random length (sometimes longer than the member), numbers random.
std::vector<Bytes> RandomElements(const ReferenceQuote& map, std::mt19937& random)
{
    std::vector<Bytes> elements;
    for (std::size_t i = 0; i < CQuotDecoder::kFieldCount; ++i)
    {
        const BMLDictEntry& entry = *map.Binding(i).Entry;
        const uint64_t number = (uint64_t(random()) << 32) | random();
        switch (entry.Type)
        {
        case 'C':
        {
            const std::size_t length = entry.MaxLength == 0 ? 1 : random() % (entry.MaxLength + 8);
            std::string text;
            for (std::size_t c = 0; c < length; ++c)
                text.push_back(char('A' + random() % 26));
            elements.push_back(Text(entry.Id, text));
            break;
        }
        case 'I':
            elements.push_back(Int32(entry.Id, uint32_t(number)));
            break;
        default:
            elements.push_back(Int64(entry.Id, number));
            break;
        }
    }
    return elements;
}

// Damages the elements one way or another, or not at all.
void Mutate(std::vector<Bytes>& elements, std::mt19937& random)
{
    const std::size_t i = random() % elements.size();
    const std::size_t j = random() % elements.size();
    Bytes& e = elements[i];
    switch (random() % 8)
    {
    case 0:  // an element missing
        elements.erase(elements.begin() + long(i));
        break;
    case 1:  // two elements swapped
        std::swap(elements[i], elements[j]);
        break;
    case 2:  // an element twice
        elements.insert(elements.begin() + long(i), elements[j]);
        break;
    case 3:  // a value length that lies, shorter or longer
        e[7] = uint8_t(random() % 16);
        break;
    case 4:  // an extension in front of the value length
    {
        const uint8_t extension = uint8_t(1 + random() % 4);
        e[3] = extension;
        e.insert(e.begin() + 4, extension, uint8_t(0xEE));
        break;
    }
    case 5:  // an empty value
        e.resize(8);
        e[4] = e[5] = e[6] = e[7] = 0;
        break;
    case 6:  // a tag changed
        e[1] = uint8_t(random());
        break;
    default:
        break;
    }
}

void ExpectSameAsReference(const Bytes& value)
{
    ReferenceQuote reference;
    reference.Unpack(value);
    const Bytes body = Body(125, 0, 0, {Element(BMLTag::Quot, value)});
    CAPIPackage package;
    package.AttachReceived(body.data(), uint32_t(body.size()));
    CQuotDecoder decoder;
    const QuotRecord& decoded = decoder.Decode(package);
    ASSERT_EQ(0, std::memcmp(&reference.record, &decoded, sizeof decoded));
}

TEST(QuoteDecoderEquivalence, FullRecordInOrder)
{
    std::mt19937 random(7);
    const ReferenceQuote map;
    const std::vector<Bytes> elements = RandomElements(map, random);
    Bytes value;
    for (const Bytes& e : elements)
        value.insert(value.end(), e.begin(), e.end());
    ExpectSameAsReference(value);
    // And the decode is not trivially empty.
    ReferenceQuote reference;
    reference.Unpack(value);
    EXPECT_NE(0.0, reference.record.Price);
    EXPECT_NE('\0', reference.record.InstrumentID[0]);
}

TEST(QuoteDecoderEquivalence, DamagedRecords)
{
    std::mt19937 random(20240305);
    const ReferenceQuote map;
    for (int round = 0; round < 5000; ++round)
    {
        std::vector<Bytes> elements = RandomElements(map, random);
        const int damages = int(random() % 4);
        for (int d = 0; d < damages && !elements.empty(); ++d)
            Mutate(elements, random);
        Bytes value;
        for (const Bytes& e : elements)
            value.insert(value.end(), e.begin(), e.end());
        if (random() % 4 == 0 && !value.empty())
            value.resize(random() % value.size());  // cut short anywhere
        if (random() % 4 == 0 && !value.empty())
            value[random() % value.size()] ^= uint8_t(1 + random() % 255);  // one byte flipped
        SCOPED_TRACE("round " + std::to_string(round));
        ExpectSameAsReference(value);
        if (HasFatalFailure())
            return;
    }
}

}  // namespace
