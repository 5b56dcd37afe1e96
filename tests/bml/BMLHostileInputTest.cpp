// Untrusted bodies: random bytes and valid messages with lying lengths must
// never make the codec read or write outside the buffer (run this under
// AddressSanitizer: every buffer here is a heap block of exactly its
// length), loop forever, or hand out a window outside the buffer.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <random>

#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"
#include "bml/CBMLRecordSet.h"
#include "tests/bml/BMLTestBytes.h"

using namespace bmltest;

namespace
{

struct Decoded
{
    char InstrumentID[16];
    char ExchangeID[17];
    char BSFlag;
    int16_t RspNo;
    int32_t AskQty5;
    double Price;
    int64_t SessionID;
};

class Exerciser
{
public:
    Exerciser(const uint8_t* data, uint32_t length) : m_begin(data), m_end(data + length) {}

    void Run()
    {
        CAPIPackage package;
        package.AttachReceived(m_begin, uint32_t(m_end - m_begin));
        CheckWindow(package);
        Descend(package, 0);

        CBMLPackage whole;
        whole.Attach(const_cast<uint8_t*>(m_begin), 0, uint32_t(m_end - m_begin), nullptr);
        Descend(whole, 0);
        Unpack(m_begin, uint32_t(m_end - m_begin));
    }

private:
    static constexpr uint16_t Tags[] = {1009, 1010, 1141, 1282, 1046, 1637, 1638, 1026, 0, 0xFFFF};

    void CheckWindow(const CBMLPackage& p)
    {
        if (!p.IsAttached())
            return;
        CBMLPackage& q = const_cast<CBMLPackage&>(p);
        ASSERT_GE(p.GetData(), m_begin);
        ASSERT_LE(p.GetData() + q.CBMLPackage::GetLength(), m_end);
    }

    void Descend(CBMLPackage& parent, int depth)
    {
        for (uint16_t tag : Tags)
        {
            const int at = parent.Locate(tag);
            ASSERT_LE(at, int(parent.CBMLPackage::GetLength()));
            CBMLPackage child;
            if (parent.GetPackage(tag, &child) == 0)
            {
                CheckWindow(child);
                Unpack(child.GetData(), child.GetLength());
                if (depth < 2)
                    Descend(child, depth + 1);
            }
            CBMLRecordSet set;
            parent.GetRecordSet(tag, &set);
            Walk(set);
        }
    }

    void Walk(CBMLRecordSet& set)
    {
        const uint32_t count = set.CountRecords();
        ASSERT_LE(count, set.GetLength() / 4);
        uint32_t visited = 0;
        while (set.NextRecord())
        {
            ++visited;
            ASSERT_LE(visited, count);
            CheckWindow(set);
            Unpack(set.GetData(), set.CBMLPackage::GetLength());
            CBMLPackage child;
            if (set.GetPackage(1046, &child) == 0)
                CheckWindow(child);
        }
        ASSERT_EQ(count, visited);
    }

    void Unpack(const uint8_t* data, uint32_t length)
    {
        Decoded d;
        std::memset(&d, 0, sizeof d);
        const BMLFieldBinding bindings[] = {
            {&BMLDict::InstrumentID, d.InstrumentID, sizeof d.InstrumentID, 0, nullptr},
            {&BMLDict::AskQty5, &d.AskQty5, sizeof d.AskQty5, 0, nullptr},
            {&BMLDict::Price, &d.Price, sizeof d.Price, 0, nullptr},
            {&BMLDict::SysMode, &d.BSFlag, sizeof d.BSFlag, 0, nullptr},
            {&BMLDict::SessionID, &d.SessionID, sizeof d.SessionID, 0, nullptr},
            {&BMLDict::RspNo, &d.RspNo, sizeof d.RspNo, 0, nullptr},
            {&BMLDict::ExchangeID, d.ExchangeID, sizeof d.ExchangeID, 0, nullptr}};
        CBMLFieldMap(bindings).Unpack(data, length);
        ASSERT_LT(strnlen(d.InstrumentID, sizeof d.InstrumentID), sizeof d.InstrumentID);
        ASSERT_LT(strnlen(d.ExchangeID, sizeof d.ExchangeID), sizeof d.ExchangeID);
    }

    const uint8_t* m_begin;
    const uint8_t* m_end;
};

constexpr uint16_t Exerciser::Tags[];

// Copies bytes into a heap block of exactly their length and exercises it.
void ExerciseExact(const Bytes& bytes)
{
    std::unique_ptr<uint8_t[]> exact(new uint8_t[bytes.size() + (bytes.empty() ? 1 : 0)]);
    if (!bytes.empty())
        std::memcpy(exact.get(), bytes.data(), bytes.size());
    Exerciser(exact.get(), uint32_t(bytes.size())).Run();
}

// A plausible answer: head, RspInfo, a quote record and a two-record list.
Bytes ValidMessage()
{
    const Bytes quot = Cat({Element(1046, Text("IF2403")), Element(1047, BeDouble(3.5)), Element(1637, Be32(4)),
                            Element(1638, Text("R")), Element(1638, Be64(9)), Element(1637, Text("CFFEX"))});
    const Bytes list = Cat({ListRecord(Element(1046, Text("a"))), ListRecord(Cat({Element(1046, Text("bb")), Element(1026, Be16(1))}))});
    return Message(153, 3, 0, Cat({Element(1025, Element(1026, Be16(0))), Element(1141, quot), Element(1282, list)}));
}

TEST(BMLHostileInput, RandomBytes)
{
    std::mt19937 rng(8188);
    for (int trial = 0; trial < 20000; ++trial)
    {
        Bytes bytes(rng() % 160);
        for (uint8_t& b : bytes)
        {
            // Mostly small values and tag-like high bytes, so that some
            // headers parse and the search goes deeper than the first one.
            const uint32_t r = rng();
            b = (r & 3) == 0 ? uint8_t(r >> 8) : (r & 3) == 1 ? uint8_t(3 + (r >> 8) % 4) : uint8_t((r >> 8) % 24);
        }
        ExerciseExact(bytes);
        if (HasFatalFailure())
            FAIL() << "trial " << trial;
    }
}

TEST(BMLHostileInput, LyingLengthsInAValidMessage)
{
    const Bytes valid = ValidMessage();
    ExerciseExact(valid);
    const uint32_t lies32[] = {0xFFFFFFFFu, 0xFFFFFFF8u, 0xFFFFFFF0u, 0x80000000u, 0x7FFFFFFFu, 0, 1, 7, 8,
                               uint32_t(valid.size())};
    const uint16_t lies16[] = {0xFFFF, 0xFFF8, 0x8000, 1, 3, 8};
    std::mt19937 rng(4);
    for (int trial = 0; trial < 20000; ++trial)
    {
        Bytes bytes = valid;
        for (int edits = 1 + rng() % 3; edits > 0; --edits)
        {
            const size_t at = rng() % bytes.size();
            const uint32_t kind = rng() % 4;
            if (kind == 0 && at + 4 <= bytes.size())
            {
                const Bytes lie = Be32(lies32[rng() % (sizeof lies32 / sizeof lies32[0])] - (rng() % 2 ? uint32_t(at) : 0));
                std::copy(lie.begin(), lie.end(), bytes.begin() + long(at));
            }
            else if (kind == 1 && at + 2 <= bytes.size())
            {
                const Bytes lie = Be16(lies16[rng() % (sizeof lies16 / sizeof lies16[0])]);
                std::copy(lie.begin(), lie.end(), bytes.begin() + long(at));
            }
            else if (kind == 2)
                bytes[at] = uint8_t(rng());
            else
                bytes.resize(at);
            if (bytes.empty())
                break;
        }
        ExerciseExact(bytes);
        if (HasFatalFailure())
            FAIL() << "trial " << trial;
    }
}

TEST(BMLHostileInput, LengthsThatWrapIn32Bits)
{
    // 8 + 0xFFFFFFF8 is 0 in 32 bits: the next element would be the first again.
    const Bytes wrapToStart = Cat({LyingElement(1046, 0xFFFFFFF8u, Bytes(8, 0)), Element(1047, BeDouble(1.0))});
    CBMLPackage window;
    window.Attach(const_cast<uint8_t*>(wrapToStart.data()), 0, uint32_t(wrapToStart.size()), nullptr);
    EXPECT_EQ(-1, window.Locate(1047));
    EXPECT_EQ(0u, window.GetCursor());
    ExerciseExact(wrapToStart);

    // Extension length 0xFFFF and a value length that wraps after it.
    const Bytes bigExtension = Cat({Be16(1046), Be16(0xFFFF), Be32(0), Element(1047, BeDouble(1.0))});
    window.Attach(const_cast<uint8_t*>(bigExtension.data()), 0, uint32_t(bigExtension.size()), nullptr);
    EXPECT_EQ(-1, window.Locate(1047));
    ExerciseExact(bigExtension);

    // The scan cannot skip the first element, so Price counts as absent.
    double price = 0;
    const BMLFieldBinding binding = {&BMLDict::Price, &price, sizeof price, 0, nullptr};
    EXPECT_EQ(0, CBMLFieldMap(&binding, 1).Unpack(bigExtension.data(), uint32_t(bigExtension.size())));
    EXPECT_EQ(0.0, price);
}

}  // namespace
