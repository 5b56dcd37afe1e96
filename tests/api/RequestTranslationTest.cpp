// How the exported API object turns the application's requests into calls on
// the quote client: bounded copies, request ids, counts, and the guards
// against bad arguments.
#include "api/CRivoMdApiImpl.h"
#include "api/RecordingQuoteApi.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

namespace
{

class RequestTranslation : public ::testing::Test
{
protected:
    RequestTranslation()
        : api(new CRivoMdApiImpl(CRivoMdApiImpl::QuoteApiPtr(new RecordingQuoteApi(log))))
    {
    }
    ~RequestTranslation() override
    {
        if (api)
            api->Dispose();
    }

    static void Fill(char* field, std::size_t size, const char* text)
    {
        std::memcpy(field, text, std::min(size, std::strlen(text)));
    }

    static LoginRequestRecord MakeLogin(const char* broker, const char* user, const char* password)
    {
        LoginRequestRecord record;
        std::memset(&record, 0, sizeof record);
        // Fields may be filled to the last byte, without a terminator.
        Fill(record.BrokerCode, sizeof record.BrokerCode, broker);
        Fill(record.UserCode, sizeof record.UserCode, user);
        Fill(record.Password, sizeof record.Password, password);
        return record;
    }

    QuoteApiLog log;
    CKelmRivoMdApi* api;
};

TEST_F(RequestTranslation, FactoryWiringAndDispose)
{
    EXPECT_NE(log.callback, nullptr);
    EXPECT_EQ(static_cast<CTarnQuotSpi*>(static_cast<CRivoMdApiImpl*>(api)), log.callback);
    EXPECT_STREQ(api->GetTradeDate(), "");
    api->Dispose();
    api = nullptr;
    EXPECT_TRUE(log.destroyed);
}

TEST_F(RequestTranslation, ServerUrlDropsSchemeAndIgnoresShortTexts)
{
    api->AddServerUrl("tcp://127.0.0.1:7000");
    api->AddServerUrl("xxxxxxhost:1");
    api->AddServerUrl("tcp:/");
    api->AddServerUrl(nullptr);
    api->AddServerUrl("tcp://");
    ASSERT_EQ(log.addresses.size(), 3u);
    EXPECT_EQ(log.addresses[0], "127.0.0.1:7000");
    EXPECT_EQ(log.addresses[1], "host:1");
    EXPECT_EQ(log.addresses[2], "");
}

TEST_F(RequestTranslation, LoginCutsFieldsAndPassesResult)
{
    log.result = 0;
    const LoginRequestRecord login =
        MakeLogin("BROKER123456", "USER_ABCDEFGHIJKLMNOP", "PASSWORD_0123456789ABCDEF");
    EXPECT_EQ(api->SubmitLogin(&login, 42), 0);
    ASSERT_EQ(log.requests.size(), 1u);
    const QuoteApiLog::Request& request = log.requests[0];
    EXPECT_EQ(request.operation, "Login");
    EXPECT_EQ(request.requestId, 42);
    EXPECT_EQ(request.investor, "USER_ABCDEFGHIJ");          // 15 characters
    EXPECT_EQ(request.instrument, "PASSWORD_0123456789A");   // 20 characters
    LoginReq sent;
    std::memcpy(&sent, request.raw.data(), sizeof sent);
    EXPECT_EQ(sent.IP[0], '\0');
    EXPECT_EQ(sent.ProductType, '\0');
    EXPECT_EQ(sent.ProductVersion, 0);

    log.result = -1;
    EXPECT_EQ(api->SubmitLogin(&login, 1), -1);
    EXPECT_EQ(api->SubmitLogin(nullptr, 1), -1);
    EXPECT_EQ(log.requests.size(), 2u);  // the null record sent nothing
}

TEST_F(RequestTranslation, LogoutNamesTheLastLoginUser)
{
    EXPECT_EQ(api->SubmitLogout(nullptr, 3), -1);
    const LoginRequestRecord first = MakeLogin("B", "first_user", "p");
    const LoginRequestRecord second = MakeLogin("B", "abc", "p");
    api->SubmitLogin(&first, 1);
    api->SubmitLogin(&second, 2);
    LogoutRequestRecord logout;
    std::memset(&logout, 0, sizeof logout);
    std::strcpy(logout.UserCode, "someone_else");
    api->SubmitLogout(&logout, 5);
    ASSERT_EQ(log.requests.size(), 4u);
    EXPECT_EQ(log.requests[0].operation, "Logout");
    EXPECT_EQ(log.requests[0].investor, "");
    EXPECT_EQ(log.requests[3].operation, "Logout");
    EXPECT_EQ(log.requests[3].investor, "abc");
    EXPECT_EQ(log.requests[3].requestId, 5);
}

TEST_F(RequestTranslation, SubscriptionsOneRequestPerCodeWithIdZero)
{
    char longCode[] = "ABCDEFGHIJKLMNOPQRST";   // 20 characters
    char shortCode[] = "ag";
    char* codes[] = {longCode, nullptr, shortCode};
    EXPECT_EQ(api->SubscribeQuotes(codes, 3), 0);
    EXPECT_EQ(api->UnsubscribeQuotes(codes, 1), 0);
    ASSERT_EQ(log.requests.size(), 3u);
    EXPECT_EQ(log.requests[0].operation, "Subscribe");
    EXPECT_EQ(log.requests[0].instrument, "ABCDEFGHIJKLMNO");
    EXPECT_EQ(log.requests[1].instrument, "ag");
    // Nothing of the longer earlier code survives in the reused record.
    QuotSubscribeReq sent;
    std::memcpy(&sent, log.requests[1].raw.data(), sizeof sent);
    for (std::size_t i = 2; i < sizeof sent.InstrumentID; ++i)
        EXPECT_EQ(sent.InstrumentID[i], '\0') << i;
    EXPECT_EQ(log.requests[2].operation, "Unsubscribe");
    for (const QuoteApiLog::Request& request : log.requests)
    {
        EXPECT_EQ(request.requestId, 0);
        EXPECT_EQ(request.investor, "");
    }
}

TEST_F(RequestTranslation, BadCountsAndArraysSendNothing)
{
    char code[] = "cu2501";
    char* codes[] = {code};
    EXPECT_EQ(api->SubscribeQuotes(codes, 0), 0);
    EXPECT_EQ(api->SubscribeQuotes(codes, -1), 0);
    EXPECT_EQ(api->SubscribeQuotes(nullptr, 5), 0);
    EXPECT_EQ(api->UnsubscribeQuotes(nullptr, 5), 0);
    EXPECT_EQ(api->UnsubscribeQuotes(codes, -7), 0);
    EXPECT_TRUE(log.requests.empty());
}

TEST_F(RequestTranslation, ReservedSlotsAndSecondLaunch)
{
    EXPECT_EQ(api->Idle(), 0);
    EXPECT_EQ(api->ReservedRequest1(1, 2), -3);
    EXPECT_EQ(api->ReservedRequest2(1, 2), -3);
    EXPECT_EQ(api->ReservedRequest3(1, 2), -3);
    api->ReservedSetting1(nullptr);
    api->ReservedSetting2(&log);
    api->Launch();
    api->Launch();
    EXPECT_EQ(log.starts, 1);
    EXPECT_TRUE(log.requests.empty());
}

}  // namespace
