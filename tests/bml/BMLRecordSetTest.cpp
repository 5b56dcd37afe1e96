#include <gtest/gtest.h>

#include <cstring>

#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"
#include "bml/CBMLRecordSet.h"
#include "tests/bml/BMLTestBytes.h"

using namespace bmltest;

namespace
{

struct DayBar
{
    char Date[11];
    double ClosePrice;
    int32_t Qty;
};

// 30 bytes: Date (18) + Qty (12).
const Bytes RecordA = Cat({Element(1287, Text("2024-03-05")), Element(1048, Be32(3))});
// 41 bytes: Date (18) + Qty with a 3-byte extension (15) + an empty RspDesc (8).
const Bytes RecordB = Cat({Element(1287, Text("2024-03-06")), Element(1048, Be32(7), Bytes{1, 2, 3}), Element(1027, Bytes())});

// A received day-data answer: RspInfo, then the list.
class BMLRecordSetRead : public ::testing::Test
{
protected:
    BMLRecordSetRead() : m_map(m_bindings) { std::memset(&m_bar, 0, sizeof m_bar); }

    void Open(const Bytes& listValue)
    {
        m_message = Message(153, 1, 0, Cat({Element(1025, Element(1026, Be16(0))), Element(1282, listValue)}));
        m_package.AttachReceived(m_message.data(), uint32_t(m_message.size()));
        ASSERT_EQ(0, m_package.GetRecordSet(BMLTag::DayDataList, &m_set));
    }

    int UnpackCurrent() { return m_map.Unpack(m_set.GetData(), m_set.CBMLPackage::GetLength()); }

    Bytes m_message;
    CAPIPackage m_package;
    CBMLRecordSet m_set;
    DayBar m_bar;
    const BMLFieldBinding m_bindings[3] = {
        {&BMLDict::Date, m_bar.Date, sizeof m_bar.Date, 0, nullptr},
        {&BMLDict::ClosePrice, &m_bar.ClosePrice, sizeof m_bar.ClosePrice, 0, nullptr},
        {&BMLDict::Qty, &m_bar.Qty, sizeof m_bar.Qty, 0, nullptr}};
    const CBMLFieldMap m_map;
};

TEST_F(BMLRecordSetRead, EmptyListHasNoRecords)
{
    Open(Bytes());
    EXPECT_FALSE(m_set.IsAttached());
    EXPECT_EQ(0u, m_set.CountRecords());
    EXPECT_FALSE(m_set.NextRecord());
}

TEST_F(BMLRecordSetRead, AbsentListLeavesTheSetUnattached)
{
    const Bytes message = Message(153, 1, 0, Element(1025, Bytes()));
    CAPIPackage package;
    package.AttachReceived(message.data(), uint32_t(message.size()));
    EXPECT_EQ(-1, package.GetRecordSet(BMLTag::DayDataList, &m_set));
    EXPECT_EQ(0u, m_set.CountRecords());
    EXPECT_FALSE(m_set.NextRecord());
    boost::shared_ptr<CBMLRecordSet> shared = package.GetRecordSet(BMLTag::DayDataList);
    ASSERT_TRUE(shared);
    EXPECT_FALSE(shared->IsAttached());
}

TEST_F(BMLRecordSetRead, RecordsOfDifferentLengthsAreVisitedInOrder)
{
    ASSERT_EQ(30u, RecordA.size());
    ASSERT_EQ(41u, RecordB.size());
    Open(Cat({ListRecord(RecordA), ListRecord(RecordB)}));
    EXPECT_EQ(79u, m_set.GetLength());
    EXPECT_EQ(2u, m_set.CountRecords());

    ASSERT_TRUE(m_set.NextRecord());
    EXPECT_EQ(30u, m_set.CBMLPackage::GetLength());
    EXPECT_EQ(34u, m_set.GetNextOffset());
    ASSERT_EQ(0, UnpackCurrent());
    EXPECT_STREQ("2024-03-05", m_bar.Date);
    EXPECT_EQ(3, m_bar.Qty);
    EXPECT_TRUE(m_set.HasMoreRecords());

    ASSERT_TRUE(m_set.NextRecord());
    EXPECT_EQ(41u, m_set.CBMLPackage::GetLength());
    EXPECT_EQ(79u, m_set.GetNextOffset());
    ASSERT_EQ(0, UnpackCurrent());
    EXPECT_STREQ("2024-03-06", m_bar.Date);
    EXPECT_EQ(7, m_bar.Qty);
    EXPECT_FALSE(m_set.HasMoreRecords());
    EXPECT_FALSE(m_set.NextRecord());
    EXPECT_FALSE(m_set.NextRecord());

    // Attaching again starts over at the first record.
    ASSERT_EQ(0, m_package.GetRecordSet(BMLTag::DayDataList, &m_set));
    ASSERT_TRUE(m_set.NextRecord());
    EXPECT_EQ(34u, m_set.GetNextOffset());
}

TEST_F(BMLRecordSetRead, TruncatedLastRecordEndsTheIteration)
{
    Open(Cat({ListRecord(RecordA), Be32(50), RecordB}));
    EXPECT_EQ(1u, m_set.CountRecords());
    EXPECT_TRUE(m_set.NextRecord());
    EXPECT_FALSE(m_set.NextRecord());
    EXPECT_EQ(34u, m_set.GetNextOffset());
}

TEST_F(BMLRecordSetRead, RecordLengthNearTheTopOfTheRangeDoesNotWrap)
{
    // 0 - 38 and 0 - 34 make 34 + 4 + length wrap to 0 and 4 in 32 bits.
    for (uint32_t lie : {0xFFFFFFFFu, 0u - 38u, 0u - 34u})
    {
        Open(Cat({ListRecord(RecordA), Be32(lie), RecordA}));
        EXPECT_EQ(1u, m_set.CountRecords()) << lie;
        EXPECT_TRUE(m_set.NextRecord());
        EXPECT_FALSE(m_set.NextRecord()) << lie;
    }
}

TEST_F(BMLRecordSetRead, ZeroLengthRecordIsAnEmptyWindow)
{
    Open(Cat({ListRecord(Bytes()), ListRecord(RecordA)}));
    EXPECT_EQ(2u, m_set.CountRecords());
    ASSERT_TRUE(m_set.NextRecord());
    EXPECT_EQ(0u, m_set.CBMLPackage::GetLength());
    EXPECT_EQ(-1, UnpackCurrent());
    EXPECT_STREQ("", m_bar.Date);
    ASSERT_TRUE(m_set.NextRecord());
    ASSERT_EQ(0, UnpackCurrent());
    EXPECT_STREQ("2024-03-05", m_bar.Date);
}

TEST_F(BMLRecordSetRead, LookUpsSearchTheCurrentRecordOnly)
{
    Open(Cat({ListRecord(RecordA), ListRecord(Element(1096, BeDouble(9.5)))}));
    CBMLPackage child;
    EXPECT_EQ(-1, m_set.GetPackage(1287, &child));  // before the first record: nothing
    ASSERT_TRUE(m_set.NextRecord());
    EXPECT_EQ(0, m_set.GetPackage(1287, &child));
    EXPECT_EQ(-1, m_set.GetPackage(1096, &child));
    ASSERT_TRUE(m_set.NextRecord());
    EXPECT_EQ(-1, m_set.GetPackage(1287, &child));
    ASSERT_EQ(0, m_set.GetPackage(1096, &child));
    EXPECT_EQ(BeDouble(9.5), Bytes(child.GetData(), child.GetData() + child.GetLength()));
}

}  // namespace
