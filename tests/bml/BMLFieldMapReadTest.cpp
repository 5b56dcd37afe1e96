#include <gtest/gtest.h>

#include <cstring>

#include "bml/CBMLFieldMap.h"
#include "tests/bml/BMLTestBytes.h"

using namespace bmltest;

namespace
{

int Unpack(const CBMLFieldMap& map, const Bytes& body)
{
    return map.Unpack(body.data(), uint32_t(body.size()));
}

// The tail of the quote record: AskQty5 ... BSFlag, ExchangeID, tag 1637 twice.
struct QuoteTail
{
    int32_t AskQty5;
    char BSFlag;
    char ExchangeID[17];
};

class SharedTag1637 : public ::testing::Test
{
protected:
    SharedTag1637() : m_quote(), m_map(m_bindings) {}

    QuoteTail m_quote;
    const BMLFieldBinding m_bindings[3] = {
        {&BMLDict::AskQty5, &m_quote.AskQty5, sizeof m_quote.AskQty5, 0, nullptr},
        {&BMLDict::BSFlag, &m_quote.BSFlag, sizeof m_quote.BSFlag, 0, nullptr},
        {&BMLDict::ExchangeID, m_quote.ExchangeID, sizeof m_quote.ExchangeID, 0, nullptr}};
    const CBMLFieldMap m_map;
};

TEST_F(SharedTag1637, InBindingOrderEachFieldGetsItsOwnElement)
{
    const Bytes body = Cat({Element(1637, Be32(77)), Element(1045, Text("B")), Element(1637, Text("CFFEX"))});
    ASSERT_EQ(0, Unpack(m_map, body));
    EXPECT_EQ(77, m_quote.AskQty5);
    EXPECT_EQ('B', m_quote.BSFlag);
    EXPECT_STREQ("CFFEX", m_quote.ExchangeID);
}

TEST_F(SharedTag1637, AbsentAskQty5TakesTheExchangeCodeBytes)
{
    const Bytes body = Cat({Element(1045, Text("S")), Element(1637, Text("CFFEX"))});
    ASSERT_EQ(0, Unpack(m_map, body));
    EXPECT_EQ(int32_t(0x43464645), m_quote.AskQty5);  // "CFFE"
    EXPECT_EQ('S', m_quote.BSFlag);
    EXPECT_STREQ("CFFEX", m_quote.ExchangeID);
}

TEST_F(SharedTag1637, WithoutBSFlagTheExchangeCodeIsTheVolumeBytes)
{
    const Bytes body = Cat({Element(1637, Be32(0x53484645)), Element(1637, Text("DCE"))});
    ASSERT_EQ(0, Unpack(m_map, body));
    EXPECT_EQ(0x53484645, m_quote.AskQty5);
    EXPECT_STREQ("SHFE", m_quote.ExchangeID);
}

TEST(BMLFieldMapRead, SharedTag1638SysModeAndSessionId)
{
    char sysMode = 0;
    int64_t session = 0;
    const BMLFieldBinding bindings[] = {{&BMLDict::SysMode, &sysMode, 1, 0, nullptr},
                                        {&BMLDict::SessionID, &session, sizeof session, 0, nullptr}};
    ASSERT_EQ(0, Unpack(CBMLFieldMap(bindings), Cat({Element(1638, Text("R")), Element(1638, Be64(0x123456789A))})));
    EXPECT_EQ('R', sysMode);
    EXPECT_EQ(0x123456789A, session);

    // Out of binding order each binding takes the other's element: SysMode
    // the first byte of the session number, SessionID a 1-byte value that
    // is too short for it.
    sysMode = 0;
    session = 0;
    EXPECT_EQ(-1, Unpack(CBMLFieldMap(bindings), Cat({Element(1638, Be64(0x4142434445464748)), Element(1638, Text("R"))})));
    EXPECT_EQ('A', sysMode);
    EXPECT_EQ(0, session);
}

struct Mixed
{
    char InstrumentID[16];
    double Price;
    int32_t Qty;
    int64_t OI;
    int16_t RspNo;
};

class BMLFieldMapMixed : public ::testing::Test
{
protected:
    BMLFieldMapMixed() : m_map(m_bindings) { std::memset(&m_r, 0, sizeof m_r); }

    Mixed m_r;
    const BMLFieldBinding m_bindings[5] = {
        {&BMLDict::InstrumentID, m_r.InstrumentID, sizeof m_r.InstrumentID, 0, nullptr},
        {&BMLDict::Price, &m_r.Price, sizeof m_r.Price, 0, nullptr},
        {&BMLDict::Qty, &m_r.Qty, sizeof m_r.Qty, 0, nullptr},
        {&BMLDict::OI, &m_r.OI, sizeof m_r.OI, 0, nullptr},
        {&BMLDict::RspNo, &m_r.RspNo, sizeof m_r.RspNo, 0, nullptr}};
    const CBMLFieldMap m_map;
};

TEST_F(BMLFieldMapMixed, ReverseOrderDecodesCompletely)
{
    const Bytes body = Cat({Element(1026, Be16(0xFFFE)), Element(1088, Be64(uint64_t(-3))), Element(1048, Be32(12)),
                            Element(1047, BeDouble(2.25)), Element(1046, Text("IF2403"))});
    ASSERT_EQ(0, Unpack(m_map, body));
    EXPECT_STREQ("IF2403", m_r.InstrumentID);
    EXPECT_EQ(2.25, m_r.Price);
    EXPECT_EQ(12, m_r.Qty);
    EXPECT_EQ(-3, m_r.OI);
    EXPECT_EQ(-2, m_r.RspNo);
}

TEST_F(BMLFieldMapMixed, ExtensionBytesAreSkipped)
{
    const Bytes body = Cat({Element(1046, Text("ag"), Bytes{9, 9, 9}), Element(1047, BeDouble(-1.0), Bytes{1}),
                            Element(1048, Be32(5))});
    ASSERT_EQ(0, Unpack(m_map, body));
    EXPECT_STREQ("ag", m_r.InstrumentID);
    EXPECT_EQ(-1.0, m_r.Price);
    EXPECT_EQ(5, m_r.Qty);
}

TEST_F(BMLFieldMapMixed, OverlongNumberGivesItsFirstBytesAndTheNextFieldIsFound)
{
    const Bytes body = Cat({Element(1048, Cat({Be32(42), Be32(0xDEADBEEF)})), Element(1088, Be64(99)),
                            Element(1047, BeDouble(3.5))});
    ASSERT_EQ(0, Unpack(m_map, body));
    EXPECT_EQ(42, m_r.Qty);
    EXPECT_EQ(99, m_r.OI);
    EXPECT_EQ(3.5, m_r.Price);
}

TEST_F(BMLFieldMapMixed, AbsentAndEmptyElementsLeaveVariablesUntouched)
{
    std::strcpy(m_r.InstrumentID, "keep");
    m_r.Qty = 31;
    const Bytes body = Cat({Element(1046, Bytes()), Element(1047, BeDouble(8.0))});
    ASSERT_EQ(0, Unpack(m_map, body));
    EXPECT_STREQ("keep", m_r.InstrumentID);
    EXPECT_EQ(8.0, m_r.Price);
    EXPECT_EQ(31, m_r.Qty);
}

TEST_F(BMLFieldMapMixed, MalformedBodiesFailWithoutTouchingLaterFields)
{
    EXPECT_EQ(-1, Unpack(m_map, Bytes()));
    EXPECT_EQ(-1, Unpack(m_map, Bytes(7, 0)));
    // Text value runs past the body: the Price before it is kept, the Qty
    // after it is not reached.
    m_r.Qty = 31;
    const BMLFieldBinding priceThenText[] = {m_bindings[1], m_bindings[0], m_bindings[2]};
    const Bytes body = Cat({Element(1047, BeDouble(4.0)), LyingElement(1046, 30, Text("abc"))});
    EXPECT_EQ(-1, Unpack(CBMLFieldMap(priceThenText), body));
    EXPECT_EQ(4.0, m_r.Price);
    EXPECT_EQ(31, m_r.Qty);
    // A number shorter than its type, and a number cut off by the body's end.
    EXPECT_EQ(-1, Unpack(m_map, Cat({Element(1048, Be16(1)), Element(1046, Text("x"))})));
    EXPECT_EQ(-1, Unpack(CBMLFieldMap(m_bindings + 3, 1), LyingElement(1088, 8, Be32(1))));
    // Value-length field itself cut off (extension runs to the end).
    EXPECT_EQ(-1, Unpack(m_map, Cat({Be16(1046), Be16(2), Be32(0)})));
}

TEST(BMLFieldMapRead, TextIsCutToTheSmallerOfMaxLengthAndCapacity)
{
    char wide[32];
    std::memset(wide, '#', sizeof wide);
    char narrow[8];
    std::memset(narrow, '#', sizeof narrow);
    const Bytes body = Element(1046, Text("ABCDEFGHIJKLMNOPQRST"));  // 20 bytes, MaxLength 15
    const BMLFieldBinding wideBinding = {&BMLDict::InstrumentID, wide, sizeof wide, 0, nullptr};
    ASSERT_EQ(0, Unpack(CBMLFieldMap(&wideBinding, 1), body));
    EXPECT_STREQ("ABCDEFGHIJKLMNO", wide);
    EXPECT_EQ('#', wide[16]);
    const BMLFieldBinding narrowBinding = {&BMLDict::InstrumentID, narrow, sizeof narrow, 0, nullptr};
    ASSERT_EQ(0, Unpack(CBMLFieldMap(&narrowBinding, 1), body));
    EXPECT_STREQ("ABCDEFG", narrow);
}

TEST(BMLFieldMapRead, SingleCharacterFieldNeverReadsPastItsValue)
{
    // MaxLength 0 copies at most min(value length, Capacity) bytes.
    char flags[4] = {'#', '#', '#', '#'};
    const BMLFieldBinding binding = {&BMLDict::BSFlag, flags, sizeof flags, 0, nullptr};
    const Bytes body = Cat({Element(1045, Text("B")), Element(1048, Be32(0x01020304))});
    ASSERT_EQ(0, Unpack(CBMLFieldMap(&binding, 1), body));
    EXPECT_EQ(Bytes({'B', '#', '#', '#'}), Bytes(flags, flags + 4));

    char nul = 'x';
    const BMLFieldBinding one = {&BMLDict::BSFlag, &nul, 1, 0, nullptr};
    ASSERT_EQ(0, Unpack(CBMLFieldMap(&one, 1), Element(1045, Bytes{0})));
    EXPECT_EQ('\0', nul);
}

TEST(BMLFieldMapRead, TypeFIsCodedAsI)
{
    static const BMLDictEntry ratio = {1999, "TestRatio", 'F', 0, 0, ""};
    float value = 1.25f;
    const BMLFieldBinding binding = {&ratio, &value, sizeof value, 0, nullptr};
    uint8_t out[16];
    ASSERT_EQ(12, CBMLFieldMap(&binding, 1).Pack(out, sizeof out));
    EXPECT_EQ(Element(1999, Be32(0x3FA00000)), Bytes(out, out + 12));
    value = 0;
    ASSERT_EQ(0, CBMLFieldMap(&binding, 1).Unpack(out, 12));
    EXPECT_EQ(1.25f, value);
}

TEST(BMLFieldMapRead, UnknownTypeCodeFails)
{
    static const BMLDictEntry odd = {1998, "TestOdd", 'X', 0, 0, ""};
    int32_t value = 0;
    const BMLFieldBinding binding = {&odd, &value, sizeof value, 0, nullptr};
    uint8_t out[16];
    EXPECT_EQ(-1, CBMLFieldMap(&binding, 1).Pack(out, sizeof out));
    EXPECT_EQ(-1, Unpack(CBMLFieldMap(&binding, 1), Element(1998, Be32(1))));
}

TEST(BMLFieldMapRead, RawModeMovesBytesAsTheyStand)
{
    uint8_t record[16] = {1, 2, 0, 4, 5};
    uint32_t used = 5;
    const BMLFieldBinding raw = {&BMLDictionary[0], record, sizeof record, 0, &used};  // Head: a record entry
    uint8_t out[32];
    ASSERT_EQ(13, CBMLFieldMap(&raw, 1).Pack(out, sizeof out));
    EXPECT_EQ(Element(1000, Bytes{1, 2, 0, 4, 5}), Bytes(out, out + 13));
    std::memset(record, 0, sizeof record);
    used = 0;
    ASSERT_EQ(0, CBMLFieldMap(&raw, 1).Unpack(out, 13));
    EXPECT_EQ(5u, used);
    EXPECT_EQ(Bytes({1, 2, 0, 4, 5, 0}), Bytes(record, record + 6));

    used = 17;  // more than the variable holds
    EXPECT_EQ(-1, CBMLFieldMap(&raw, 1).Pack(out, sizeof out));

    char code[8] = "ABCDEFG";
    const BMLFieldBinding fixed = {&BMLDict::TimeEnd, code, sizeof code, BML_BIND_RAW | BML_BIND_FIXED, nullptr};
    ASSERT_EQ(16, CBMLFieldMap(&fixed, 1).Pack(out, sizeof out));
    EXPECT_EQ(Element(1674, Cat({Text("ABCDEFG"), Bytes{0}})), Bytes(out, out + 16));
    EXPECT_EQ(-1, Unpack(CBMLFieldMap(&fixed, 1), Element(1674, Text("ABC"))));  // length must be MaxLength
}

}  // namespace
