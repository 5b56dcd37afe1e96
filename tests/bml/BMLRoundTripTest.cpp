// Property: random records of every type, packed into a message and read
// back through the same map, give back what went in, texts cut as the
// dictionary and the variable's size require.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"

namespace
{

const BMLDictEntry TestFloat = {1997, "TestFloat", 'F', 0, 0, ""};

// Every type code and both shared-tag pairs of the quote and login records.
const BMLDictEntry* const Pool[] = {&BMLDict::BSFlag,  &BMLDict::SysMode,   &BMLDict::InstrumentID, &BMLDict::ExchangeID,
                                    &BMLDict::TimeEnd, &BMLDict::RspDesc,   &BMLDict::RspNo,        &BMLDict::Qty,
                                    &BMLDict::AskQty5, &BMLDict::Price,     &BMLDict::OI,           &BMLDict::SessionID,
                                    &TestFloat};

struct Field
{
    const BMLDictEntry* entry;
    uint32_t capacity;
    uint8_t in[300];
    uint8_t out[300];
};

uint32_t Width(char type)
{
    return type == 'S' ? 2 : (type == 'I' || type == 'F') ? 4 : 8;
}

class RoundTrip
{
public:
    explicit RoundTrip(std::mt19937& rng) : m_rng(rng) {}

    void Fill(Field& f)
    {
        f.entry = Pool[Pick(sizeof Pool / sizeof Pool[0])];
        std::memset(f.out, 0, sizeof f.out);
        for (uint8_t& b : f.in)
            b = uint8_t(m_rng());
        if (f.entry->Type != 'C')
        {
            f.capacity = Width(f.entry->Type);
            return;
        }
        if (f.entry->MaxLength == 0)
        {
            f.capacity = 1;  // one character, any byte, NUL included
            return;
        }
        f.capacity = 1 + Pick(f.entry->MaxLength + 5);
        const uint32_t length = Pick(f.capacity);  // up to capacity - 1 characters
        for (uint32_t i = 0; i < length; ++i)
            f.in[i] = uint8_t(1 + Pick(255));
        f.in[length] = 0;
    }

    // Value bytes on the wire: texts up to their NUL, cut to MaxLength.
    static uint32_t SentLength(const Field& f)
    {
        if (f.entry->Type != 'C')
            return Width(f.entry->Type);
        if (f.entry->MaxLength == 0)
            return 1;
        const size_t n = strnlen(reinterpret_cast<const char*>(f.in), f.capacity);
        return uint32_t(std::min<size_t>(n, f.entry->MaxLength));
    }

    // What the receiving variable, zeroed before, must hold afterwards.
    static std::vector<uint8_t> Expected(const Field& f)
    {
        std::vector<uint8_t> out(f.capacity, 0);
        std::memcpy(out.data(), f.in, SentLength(f));
        return out;
    }

    uint32_t Pick(uint32_t n) { return std::uniform_int_distribution<uint32_t>(0, n - 1)(m_rng); }

private:
    std::mt19937& m_rng;
};

TEST(BMLRoundTrip, RandomRecordsComeBackAsTheyWent)
{
    std::mt19937 rng(20240305);
    RoundTrip gen(rng);
    static uint8_t buffer[8192];
    for (int trial = 0; trial < 3000; ++trial)
    {
        std::vector<Field> fields(1 + gen.Pick(12));
        std::vector<BMLFieldBinding> in, out;
        uint32_t expectedLength = 0;
        for (Field& f : fields)
        {
            gen.Fill(f);
            in.push_back({f.entry, f.in, f.capacity, 0, nullptr});
            out.push_back({f.entry, f.out, f.capacity, 0, nullptr});
            expectedLength += 8 + RoundTrip::SentLength(f);
        }
        const uint16_t tag = uint16_t(1000 + gen.Pick(800));
        const int32_t requestId = int32_t(rng());

        CAPIPackage request;
        request.BeginRequest(uint16_t(rng()), requestId, buffer + 4);
        ASSERT_EQ(int(expectedLength), request.AddRecord(CBMLFieldMap(in.data(), uint32_t(in.size())), tag));

        CAPIPackage received;
        received.AttachReceived(request.GetBuffer(), request.GetLength());
        EXPECT_EQ(requestId, received.GetRequestId());
        CBMLPackage record;
        ASSERT_EQ(0, received.GetPackage(tag, &record));
        ASSERT_EQ(expectedLength, record.GetLength());
        ASSERT_EQ(0, CBMLFieldMap(out.data(), uint32_t(out.size())).Unpack(record.GetBuffer(), record.GetLength()));
        for (size_t i = 0; i < fields.size(); ++i)
            ASSERT_EQ(RoundTrip::Expected(fields[i]), std::vector<uint8_t>(fields[i].out, fields[i].out + fields[i].capacity))
                << "trial " << trial << " field " << i << " " << fields[i].entry->Name;
    }
}

}  // namespace
