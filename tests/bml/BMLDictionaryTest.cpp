#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <set>
#include <string>

#include "bml/BMLDictionary.h"

namespace
{

bool IsRecord(const BMLDictEntry& e)
{
    return e.KindFlags == BML_KIND_RECORD;
}

bool IsList(const BMLDictEntry& e)
{
    return e.KindFlags == BML_KIND_LIST;
}

int IndexOf(const char* name)
{
    for (uint32_t i = 0; i < BML_DICTIONARY_SIZE; ++i)
        if (std::strcmp(BMLDictionary[i].Name, name) == 0)
            return int(i);
    return -1;
}

TEST(BMLDictionary, SizeAndEnds)
{
    EXPECT_EQ(409u, sizeof BMLDictionary / sizeof BMLDictionary[0]);
    EXPECT_EQ(1000, BMLDictionary[0].Id);
    EXPECT_STREQ("Head", BMLDictionary[0].Name);
    EXPECT_EQ(1803, BMLDictionary[408].Id);
    EXPECT_STREQ("Exchange", BMLDictionary[408].Name);
    EXPECT_TRUE(IsRecord(BMLDictionary[408]));
}

TEST(BMLDictionary, CountsByKindAndType)
{
    int records = 0, lists = 0;
    std::map<char, int> plainByType;
    std::set<uint32_t> textLengths;
    for (const BMLDictEntry& e : BMLDictionary)
    {
        ASSERT_TRUE(e.KindFlags == 0 || IsRecord(e) || IsList(e)) << e.Name;
        if (e.KindFlags != 0)
        {
            // Records and lists are always type C with MaxLength 0.
            EXPECT_EQ('C', e.Type) << e.Name;
            EXPECT_EQ(0u, e.MaxLength) << e.Name;
            records += IsRecord(e);
            lists += IsList(e);
            continue;
        }
        ++plainByType[e.Type];
        if (e.Type == 'C')
            textLengths.insert(e.MaxLength);
        else
            EXPECT_EQ(0u, e.MaxLength) << e.Name;
    }
    EXPECT_EQ(105, records);
    EXPECT_EQ(29, lists);
    EXPECT_EQ((std::map<char, int>{{'C', 146}, {'D', 65}, {'I', 58}, {'L', 4}, {'S', 2}}), plainByType);
    EXPECT_EQ((std::set<uint32_t>{0, 8, 10, 15, 16, 19, 20, 30, 40, 50, 100, 140, 256, 500, 1000, 1024}),
              textLengths);
}

TEST(BMLDictionary, SharedIds)
{
    std::map<uint16_t, int> bearers;
    for (const BMLDictEntry& e : BMLDictionary)
        ++bearers[e.Id];
    int twice = 0;
    for (const auto& idCount : bearers)
    {
        if (idCount.first == 1616)
            EXPECT_EQ(3, idCount.second);
        else
            EXPECT_LE(idCount.second, 2) << idCount.first;
        twice += idCount.second == 2;
    }
    EXPECT_EQ(37, twice);

    // Entries sharing an id keep their own references and their own types.
    EXPECT_EQ(BMLDict::AskQty5.Id, BMLDict::ExchangeID.Id);
    EXPECT_NE(&BMLDict::AskQty5, &BMLDict::ExchangeID);
    EXPECT_EQ('I', BMLDict::AskQty5.Type);
    EXPECT_EQ(16u, BMLDict::ExchangeID.MaxLength);
    EXPECT_EQ(1638, BMLDict::SysMode.Id);
    EXPECT_EQ('L', BMLDict::SessionID.Type);
    EXPECT_EQ('I', BMLDict::LyrSessionID.Type);
    EXPECT_EQ(1398, BMLTag::NoticeList);
    EXPECT_EQ(1398, BMLDict::FundIOSeqno.Id);
    EXPECT_EQ(30u, BMLDict::FundIOSeqno.MaxLength);
}

TEST(BMLDictionary, NamesAreUniqueAndKeepTheirSpelling)
{
    std::set<std::string> names;
    for (const BMLDictEntry& e : BMLDictionary)
    {
        EXPECT_LT(std::strlen(e.Name), 32u);
        EXPECT_TRUE(names.insert(e.Name).second) << e.Name;
    }
    for (const char* odd : {"EachQtyLimt", "TotalQtyLimt", "VerifedDate", "ReceiveProvice", "QuotAdviserQuesQuerylist",
                            "ErrSeverTradePort"})
        EXPECT_GE(IndexOf(odd), 0) << odd;
}

TEST(BMLDictionary, TableOrderIsNotIdOrder)
{
    // 1261 stands between 1160 and 1163; 1398/1399 stand before 1393.
    const int his = IndexOf("HisPosiDetailQueryReq");
    ASSERT_GT(his, 0);
    EXPECT_EQ(1160, BMLDictionary[his - 1].Id);
    EXPECT_EQ(1163, BMLDictionary[his + 1].Id);
    EXPECT_LT(IndexOf("NoticeList"), IndexOf("NoticeQueryReq"));
    EXPECT_EQ(IndexOf("Notice") + 1, IndexOf("NoticeQueryReq"));
    // The 1616 bearers in table order.
    EXPECT_LT(IndexOf("OverNightFeeType"), IndexOf("FeeFlag"));
    EXPECT_LT(IndexOf("FeeFlag"), IndexOf("QuestionID"));
}

TEST(BMLDictionary, NamedReferencesAreTableElements)
{
    EXPECT_EQ(&BMLDictionary[IndexOf("InstrumentID")], &BMLDict::InstrumentID);
    EXPECT_EQ(1046, BMLDict::InstrumentID.Id);
    EXPECT_EQ(15u, BMLDict::InstrumentID.MaxLength);
    EXPECT_EQ('S', BMLDict::ServiceNo.Type);
    EXPECT_EQ('L', BMLDict::OI.Type);
    EXPECT_EQ(100u, BMLDict::IP.MaxLength);
    EXPECT_EQ(1009, BMLTag::ApiHead);
    EXPECT_EQ(1010, BMLTag::ApiBody);
    EXPECT_EQ(1141, BMLTag::Quot);
    EXPECT_EQ(1282, BMLTag::DayDataList);
    EXPECT_EQ(1629, BMLTag::QuotAdviserQuesQuerylist);
}

TEST(BMLDictionary, DescriptionsAreGbk)
{
    // "合约代码" and "行情" in GBK.
    EXPECT_STREQ("\xBA\xCF\xD4\xBC\xB4\xFA\xC2\xEB", BMLDict::InstrumentID.Description);
    EXPECT_STREQ("\xD0\xD0\xC7\xE9", BMLDictionary[IndexOf("Quot")].Description);
    for (const BMLDictEntry& e : BMLDictionary)
    {
        const size_t n = strnlen(e.Description, sizeof e.Description);
        EXPECT_GT(n, 0u) << e.Name;
        EXPECT_LT(n, sizeof e.Description) << e.Name;
    }
}

}  // namespace
