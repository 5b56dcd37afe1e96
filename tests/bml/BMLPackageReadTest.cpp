#include <gtest/gtest.h>

#include <random>
#include <string>
#include <tuple>

#include "bml/CAPIPackage.h"
#include "bml/CBMLFieldMap.h"
#include "tests/bml/BMLTestBytes.h"

using namespace bmltest;

namespace
{

Bytes Window(CBMLPackage& package)
{
    return Bytes(package.GetBuffer(), package.GetBuffer() + package.GetLength());
}

class BMLPackageRead : public ::testing::Test
{
protected:
    // Four elements at offsets 0, 10, 23 (with a 3-byte extension) and 38.
    BMLPackageRead()
        : m_bytes(Cat({Element(1026, Be16(3)), Element(1046, Text("abcde")), Element(1048, Be32(9), Bytes{7, 7, 7}),
                       Element(1027, Text("ok"))}))
    {
        m_window.Attach(m_bytes.data(), 0, uint32_t(m_bytes.size()), nullptr);
    }

    Bytes m_bytes;
    CBMLPackage m_window;
};

TEST_F(BMLPackageRead, LocateMovesTheCursorOnlyWhenFound)
{
    EXPECT_EQ(23, m_window.Locate(1048));
    EXPECT_EQ(23u, m_window.GetCursor());
    EXPECT_EQ(23, m_window.Locate(1048));  // the same element again
    EXPECT_EQ(38, m_window.Locate(1027));
    // Before the cursor: found by wrapping to the start.
    EXPECT_EQ(10, m_window.Locate(1046));
    EXPECT_EQ(10u, m_window.GetCursor());
    // Absent: every element examined once, cursor restored.
    EXPECT_EQ(-1, m_window.Locate(1141));
    EXPECT_EQ(10u, m_window.GetCursor());
}

TEST_F(BMLPackageRead, LocateStopsAtAMalformedElementAndRestoresTheCursor)
{
    Bytes bytes = m_bytes;
    bytes[10 + 7] = 200;  // InstrumentID value length now runs past the window
    CBMLPackage window;
    window.Attach(bytes.data(), 0, uint32_t(bytes.size()), nullptr);
    EXPECT_EQ(0, window.Locate(1026));
    EXPECT_EQ(-1, window.Locate(1048));
    EXPECT_EQ(0u, window.GetCursor());
    EXPECT_EQ(10, window.Locate(1046));  // the bad element itself is still found by tag
}

TEST_F(BMLPackageRead, GetPackageTwiceGivesTheSameElement)
{
    CBMLPackage first, second;
    ASSERT_EQ(0, m_window.GetPackage(1046, &first));
    ASSERT_EQ(0, m_window.GetPackage(1046, &second));
    EXPECT_EQ(first.GetData(), second.GetData());
    EXPECT_EQ(Text("abcde"), Window(second));
    EXPECT_EQ(0u, second.GetCapacity());
    EXPECT_EQ(nullptr, second.GetParent());
    // The extension is skipped: the value is the number.
    ASSERT_EQ(0, m_window.GetPackage(1048, &first));
    EXPECT_EQ(Be32(9), Window(first));
    boost::shared_ptr<CBMLPackage> shared = m_window.GetPackage(1027);
    ASSERT_TRUE(shared);
    EXPECT_EQ(Text("ok"), Window(*shared));
}

TEST_F(BMLPackageRead, FailedGetPackageDetachesTheChild)
{
    CBMLPackage child;
    ASSERT_EQ(0, m_window.GetPackage(1046, &child));
    EXPECT_EQ(-1, m_window.GetPackage(1141, &child));
    EXPECT_FALSE(child.IsAttached());
    EXPECT_FALSE(m_window.GetPackage(1141));
}

TEST(BMLAPIPackageRead, AttachReceivedReadsHeadAndOpensBody)
{
    const Bytes body = Element(1141, Element(1046, Text("IF2403")));
    const Bytes message = Message(125, -7, 1, body);
    CAPIPackage package;
    ASSERT_EQ(0, package.AttachReceived(message.data(), uint32_t(message.size())));
    EXPECT_EQ(125, package.GetServiceNo());
    EXPECT_EQ(-7, package.GetRequestId());
    EXPECT_EQ(1, package.GetEndFlag());
    EXPECT_EQ(message.data(), package.GetBuffer());
    EXPECT_EQ(message.size(), package.GetLength());
    EXPECT_EQ(body, Bytes(package.GetData(), package.GetData() + package.CBMLPackage::GetLength()));

    CBMLPackage quot;
    ASSERT_EQ(0, package.GetPackage(BMLTag::Quot, &quot));
    char instrument[16] = {};
    const BMLFieldBinding binding = {&BMLDict::InstrumentID, instrument, sizeof instrument, 0, nullptr};
    ASSERT_EQ(0, CBMLFieldMap(&binding, 1).Unpack(quot.GetBuffer(), quot.GetLength()));
    EXPECT_STREQ("IF2403", instrument);
}

// What AttachReceived must give for any body: the head fields and the window
// as the general search finds them (GetPackage, the head's field map).
// Head fields, window, window length and cursor.
using ReceivedView = std::tuple<uint16_t, int32_t, int32_t, const uint8_t*, uint32_t, uint32_t>;

ReceivedView BySearch(const Bytes& message)
{
    uint16_t serviceNo = 0;
    int32_t requestId = 0;
    int32_t endFlag = 0;
    CBMLPackage whole;
    whole.Attach(const_cast<uint8_t*>(message.data()), 0, uint32_t(message.size()), nullptr);
    CBMLPackage head;
    if (whole.GetPackage(BMLTag::ApiHead, &head) == 0)
    {
        const BMLFieldBinding bindings[] = {{&BMLDict::ServiceNo, &serviceNo, 2, 0, nullptr},
                                            {&BMLDict::RequestID, &requestId, 4, 0, nullptr},
                                            {&BMLDict::EndFlag, &endFlag, 4, 0, nullptr}};
        CBMLFieldMap(bindings).Unpack(head.GetData(), head.CBMLPackage::GetLength());
    }
    CBMLPackage body;
    whole.GetPackage(BMLTag::ApiBody, &body);
    return ReceivedView{serviceNo, requestId, endFlag, body.GetData(), body.CBMLPackage::GetLength(), 0};
}

ReceivedView Received(const Bytes& message)
{
    CAPIPackage package;
    package.AttachReceived(message.data(), uint32_t(message.size()));
    EXPECT_EQ(message.data(), package.GetBuffer());
    EXPECT_EQ(message.size(), package.GetLength());
    EXPECT_EQ(0u, package.GetCapacity());
    return ReceivedView{package.GetServiceNo(), package.GetRequestId(), package.GetEndFlag(),
                        package.GetData(),      package.CBMLPackage::GetLength(), package.GetCursor()};
}

// Messages as senders write them, then damaged in or just after the head:
// AttachReceived takes a short way for the first kind, and must agree with
// the search for every kind.
TEST(BMLAPIPackageRead, AttachReceivedAgreesWithTheSearchForAnyHead)
{
    std::mt19937 random(1009);
    int asWritten = 0;
    for (int round = 0; round < 20000; ++round)
    {
        const Bytes body = Element(1141, Bytes(random() % 40, uint8_t(random())));
        Bytes message = Message(uint16_t(random()), int32_t(random()), int32_t(random()), body);
        const bool damaged = random() % 4 != 0;
        if (damaged)
            switch (random() % 4)
            {
            case 0:  // any byte of the head or of the ApiBody header changed
                message[random() % 50] ^= uint8_t(1u << (random() % 8));
                break;
            case 1:  // an ApiBody that claims more or less than is there
                message[46 + random() % 4] = uint8_t(random());
                break;
            case 2:  // cut anywhere
                message.resize(random() % message.size());
                break;
            default:  // an extension on ApiHead or on one of its fields
            {
                const std::size_t at = std::vector<std::size_t>{0, 8, 18, 30}[random() % 4];
                message[at + 3] = 2;
                message.insert(message.begin() + long(at) + 4, 2, uint8_t(0xEE));
                break;
            }
            }
        asWritten += damaged ? 0 : 1;
        SCOPED_TRACE("round " + std::to_string(round));
        ASSERT_TRUE(BySearch(message) == Received(message));
    }
    EXPECT_GT(asWritten, 1000);
}

TEST(BMLAPIPackageRead, BodyAndHeadInAnyOrderAndMissing)
{
    const Bytes head = Element(1009, Element(1008, Be16(117)));
    const Bytes apiBody = Element(1010, Element(1025, Bytes()));
    Bytes message = Cat({apiBody, head});
    CAPIPackage package;
    package.AttachReceived(message.data(), uint32_t(message.size()));
    EXPECT_EQ(117, package.GetServiceNo());
    EXPECT_EQ(0, package.GetRequestId());
    EXPECT_TRUE(package.IsAttached());

    // No ApiHead, no ApiBody: service 0 and an unattached window, even when
    // the same object held another message before.
    message = Element(1141, Bytes());
    package.AttachReceived(message.data(), uint32_t(message.size()));
    EXPECT_EQ(0, package.GetServiceNo());
    EXPECT_FALSE(package.IsAttached());
    CBMLPackage child;
    EXPECT_EQ(-1, package.GetPackage(BMLTag::Quot, &child));
}

}  // namespace
