#include <gtest/gtest.h>

#include <cstring>

#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"
#include "bml/CBMLRecordSet.h"
#include "tests/bml/BMLTestBytes.h"

using namespace bmltest;

namespace
{

// Laid out like the quote client's login request.
struct TestLoginReq
{
    char InvestorID[16];
    char InvestorPassword[21];
    char IP[101];
    char ProductType;
    int32_t ProductVersion;
};

struct TestLogoutReq
{
    char InvestorID[16];
};

Bytes Written(CAPIPackage& package)
{
    return Bytes(package.GetBuffer(), package.GetBuffer() + package.GetLength());
}

class BMLPackageWrite : public ::testing::Test
{
protected:
    void SetUp() override { std::memset(m_buffer, 0xAA, sizeof m_buffer); }

    // The transport's send buffer: 4-byte length slot, then the body.
    uint8_t m_buffer[8192];
};

TEST_F(BMLPackageWrite, LogoutRequestIsByteExact)
{
    TestLogoutReq request = {"abc"};
    const BMLFieldBinding bindings[] = {
        {&BMLDict::InvestorID, request.InvestorID, sizeof request.InvestorID, 0, nullptr}};
    CAPIPackage package;
    ASSERT_EQ(0, package.BeginRequest(118, 5, m_buffer + 4));
    EXPECT_EQ(11, package.AddRecord(CBMLFieldMap(bindings), BMLTag::LogoutReq));

    const Bytes expected = {
        0x03, 0xF1, 0x00, 0x00, 0x00, 0x00, 0x00, 0x22,                          // ApiHead, 34
        0x03, 0xF0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x02, 0x00, 0x76,              // ServiceNo 118
        0x03, 0xEB, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x05,  // RequestID 5
        0x03, 0xEC, 0x00, 0x00, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00,  // EndFlag 0
        0x03, 0xF2, 0x00, 0x00, 0x00, 0x00, 0x00, 0x13,                          // ApiBody, 19
        0x04, 0x0D, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0B,                          // LogoutReq, 11
        0x04, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x03, 0x61, 0x62, 0x63};       // InvestorID abc
    EXPECT_EQ(m_buffer + 4, package.GetBuffer());
    EXPECT_EQ(69u, package.GetLength());
    EXPECT_EQ(expected, Written(package));
    // The length slot in front of the body is the transport's: untouched.
    EXPECT_EQ(Bytes(4, 0xAA), Bytes(m_buffer, m_buffer + 4));
}

TEST_F(BMLPackageWrite, BeginRequestAloneGivesHeadAndEmptyBody)
{
    CAPIPackage package;
    ASSERT_EQ(0, package.BeginRequest(0, 0, m_buffer + 4));
    const Bytes expected = Cat({Message(0, 0, 0, Bytes())});
    EXPECT_EQ(50u, package.GetLength());
    EXPECT_EQ(expected, Written(package));
    EXPECT_EQ(CAPIPackage::MaxBodyLength - 50, package.GetCapacity());
    EXPECT_EQ(0u, package.CBMLPackage::GetLength());
    EXPECT_EQ(Bytes(4, 0xAA), Bytes(m_buffer, m_buffer + 4));
}

TEST_F(BMLPackageWrite, LoginWithEmptyFieldsStillCarriesAllFive)
{
    TestLoginReq request;
    std::memset(&request, 0, sizeof request);
    std::strcpy(request.InvestorID, "u1");
    std::strcpy(request.InvestorPassword, "pw");
    const BMLFieldBinding bindings[] = {
        {&BMLDict::InvestorID, request.InvestorID, sizeof request.InvestorID, 0, nullptr},
        {&BMLDict::InvestorPassword, request.InvestorPassword, sizeof request.InvestorPassword, 0, nullptr},
        {&BMLDict::IP, request.IP, sizeof request.IP, 0, nullptr},
        {&BMLDict::ProductType, &request.ProductType, sizeof request.ProductType, 0, nullptr},
        {&BMLDict::ProductVersion, &request.ProductVersion, sizeof request.ProductVersion, 0, nullptr}};
    CAPIPackage package;
    package.BeginRequest(116, 9, m_buffer + 4);
    package.AddRecord(CBMLFieldMap(bindings), BMLTag::LoginReq);

    const Bytes record = Cat({Element(1034, Text("u1")), Element(1035, Text("pw")), Element(1660, Bytes()),
                              Element(1681, Bytes{0}), Element(1682, Be32(0))});
    EXPECT_EQ(Message(116, 9, 0, Element(1032, record)), Written(package));
}

TEST_F(BMLPackageWrite, TextIsCutToMaxLengthAndSingleCharacterAlwaysSent)
{
    char instrument[32] = "ABCDEFGHIJKLMNOPQR";  // 18 characters, MaxLength 15
    char flag = '\0';
    char empty[16] = "";
    const BMLFieldBinding bindings[] = {
        {&BMLDict::InstrumentID, instrument, sizeof instrument, 0, nullptr},
        {&BMLDict::BSFlag, &flag, 1, 0, nullptr},
        {&BMLDict::InvestorID, empty, sizeof empty, 0, nullptr}};
    uint8_t out[64];
    ASSERT_EQ(8 + 15 + 8 + 1 + 8, CBMLFieldMap(bindings).Pack(out, sizeof out));
    EXPECT_EQ(Cat({Element(1046, Text("ABCDEFGHIJKLMNO")), Element(1045, Bytes{0}), Element(1034, Bytes())}),
              Bytes(out, out + 40));
}

TEST_F(BMLPackageWrite, UnterminatedTextIsNotReadPastItsVariable)
{
    struct
    {
        char text[4];
        char after[4];
    } storage = {{'w', 'x', 'y', 'z'}, {'!', '!', '!', '!'}};
    const BMLFieldBinding binding = {&BMLDict::InstrumentID, storage.text, sizeof storage.text, 0, nullptr};
    uint8_t out[32];
    ASSERT_EQ(12, CBMLFieldMap(&binding, 1).Pack(out, sizeof out));
    EXPECT_EQ(Element(1046, Text("wxyz")), Bytes(out, out + 12));
}

TEST_F(BMLPackageWrite, PackFailsWhenRoomRunsOut)
{
    double price = 1.5;
    int32_t qty = 7;
    const BMLFieldBinding bindings[] = {{&BMLDict::Price, &price, sizeof price, 0, nullptr},
                                        {&BMLDict::Qty, &qty, sizeof qty, 0, nullptr}};
    uint8_t out[64];
    const CBMLFieldMap map(bindings);
    EXPECT_EQ(28, map.Pack(out, 28));
    EXPECT_EQ(-1, map.Pack(out, 27));  // value of Qty does not fit
    EXPECT_EQ(-1, map.Pack(out, 23));  // header of Qty does not fit
    EXPECT_EQ(-1, map.Pack(out, 15));  // value of Price does not fit
}

TEST_F(BMLPackageWrite, FailedPackLeavesAnEmptyRecordAndConsistentLengths)
{
    char password[21] = "0123456789";
    const BMLFieldBinding binding = {&BMLDict::InvestorPassword, password, sizeof password, 0, nullptr};
    CBMLPackage outer;
    outer.Attach(m_buffer, 20, 0, nullptr);  // room for the record header only
    EXPECT_EQ(-1, outer.AddRecord(CBMLFieldMap(&binding, 1), BMLTag::LoginReq));
    EXPECT_EQ(8u, outer.GetLength());
    EXPECT_EQ(Element(1032, Bytes()), Bytes(m_buffer, m_buffer + 8));
    EXPECT_EQ(-1, outer.AddRecord(CBMLFieldMap(&binding, 1), BMLTag::LoginReq));  // 12 bytes left: header only
    EXPECT_EQ(16u, outer.GetLength());
    EXPECT_EQ(-1, outer.AddRecord(CBMLFieldMap(&binding, 1), BMLTag::LoginReq));  // 4 bytes: no header
    EXPECT_EQ(16u, outer.GetLength());
}

TEST_F(BMLPackageWrite, NestedCommitsKeepEveryEnclosingLength)
{
    CAPIPackage package;
    package.BeginRequest(7, 1, m_buffer + 4);
    CBMLPackage record, inner;
    ASSERT_EQ(0, package.AddPackage(BMLTag::QuotSubscribeReq, &record));
    ASSERT_EQ(0, record.AddPackage(BMLTag::Quot, &inner));
    EXPECT_EQ(3, inner.AppendBytes("xyz", 3));
    EXPECT_EQ(Message(7, 1, 0, Element(1017, Element(1141, Text("xyz")))), Written(package));
}

TEST_F(BMLPackageWrite, ReadingWindowsAndUnattachedPackagesRefuseWrites)
{
    const Bytes body = Message(8, 2, 0, Element(1025, Element(1026, Be16(0))));
    const Bytes original = body;
    CAPIPackage received;
    received.AttachReceived(body.data(), uint32_t(body.size()));
    CBMLPackage child;
    EXPECT_EQ(-1, received.AppendBytes("zz", 2));
    EXPECT_EQ(-1, received.AddPackage(BMLTag::Quot, &child));
    EXPECT_FALSE(received.AddPackage(BMLTag::Quot));
    EXPECT_EQ(original, body);

    CBMLPackage unattached;
    EXPECT_EQ(-1, unattached.AppendBytes("zz", 2));
    EXPECT_EQ(-1, unattached.AddChild(BMLTag::Quot, &child));
    EXPECT_EQ(-1, unattached.GetChild(BMLTag::Quot, &child));
    EXPECT_EQ(-1, unattached.Locate(BMLTag::Quot));
    EXPECT_FALSE(unattached.GetPackage(BMLTag::Quot));
    EXPECT_FALSE(unattached.GetRecordSet(BMLTag::DayDataList)->IsAttached());
}

TEST_F(BMLPackageWrite, WrittenListReadsBack)
{
    CAPIPackage package;
    package.BeginRequest(153, 4, m_buffer + 4);
    CBMLRecordSet list;
    ASSERT_EQ(0, package.AddRecordSet(BMLTag::DayDataList, &list));
    for (const char* date : {"2024-03-05", "2024-03-06"})
    {
        const Bytes field = Element(1287, Text(date));
        EXPECT_EQ(18, list.AppendBytes(field.data(), 18));
        EXPECT_EQ(18, list.EndRecord());
    }
    const Bytes expected = Message(
        153, 4, 0,
        Element(1282, Cat({ListRecord(Element(1287, Text("2024-03-05"))), ListRecord(Element(1287, Text("2024-03-06")))})));
    EXPECT_EQ(expected, Written(package));
}

TEST_F(BMLPackageWrite, FactorySlotsShareOwnership)
{
    CAPIPackage package;
    package.BeginRequest(7, 1, m_buffer + 4);
    boost::shared_ptr<CBMLPackage> record = package.AddPackage(BMLTag::QuotSubscribeReq);
    ASSERT_TRUE(record);
    EXPECT_EQ(&package, record->GetParent());
    boost::shared_ptr<CBMLPackage> copy = record;
    EXPECT_EQ(2, record.use_count());
    EXPECT_EQ(3, copy->AppendBytes("abc", 3));
    EXPECT_EQ(50u + 8 + 3, package.GetLength());
    boost::shared_ptr<CBMLRecordSet> list = package.AddRecordSet(BMLTag::MinDataList);
    ASSERT_TRUE(list);
    EXPECT_TRUE(list->IsAttached());
}

}  // namespace
