// The quote decoder against the general field-map codec: for well-formed and
// for damaged Quot records alike, the record the decoder fills must be the
// one CBMLFieldMap::Unpack fills from a map of the same 61 members, byte for
// byte.
#include "bml/CAPIPackage.h"
#include "quote/CQuotDecoder.h"
#include "quote/ReferenceQuote.h"
#include "support/WireBytes.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

namespace
{

using namespace wire;

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

// The element at its expected place is taken even when its header is not
// the usual one, before any element with the same tag earlier in the
// record: for every member, a copy with another value at the front and the
// member's own element, in place, with an extension.
TEST(QuoteDecoderEquivalence, ElementInPlaceBeforeAnEarlierOneWithItsTag)
{
    std::mt19937 random(11);
    const ReferenceQuote map;
    for (std::size_t k = 0; k < CQuotDecoder::kFieldCount; ++k)
    {
        std::vector<Bytes> elements = RandomElements(map, random);
        Bytes early = elements[k];
        if (early.size() == 8)
            continue;  // an empty text: no other value to give the copy
        early.back() ^= 0xFF;
        Bytes& own = elements[k];
        own[3] = 2;
        own.insert(own.begin() + 4, 2, uint8_t(0xEE));
        elements.insert(elements.begin(), early);
        Bytes value;
        for (const Bytes& e : elements)
            value.insert(value.end(), e.begin(), e.end());
        SCOPED_TRACE("member " + std::to_string(k));
        ExpectSameAsReference(value);
        if (HasFatalFailure())
            return;
    }
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
