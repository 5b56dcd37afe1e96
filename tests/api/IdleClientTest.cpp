// The library as an application sees it before Launch: a real quote client
// that is not started.
#include <KelmRivoMdApi.h>
#include "quote/CTarnQuotApiImp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

TEST(IdleClient, RequestsBeforeLaunch)
{
    EXPECT_STREQ(CKelmRivoMdApi::GetApiVersion(), "V6_6_9");
    CKelmRivoMdApi* api = CKelmRivoMdApi::CreateRivoMdApi("", false, false);
    ASSERT_NE(api, nullptr);
    const char* tradeDate = api->GetTradeDate();
    ASSERT_NE(tradeDate, nullptr);
    EXPECT_STREQ(tradeDate, "");
    api->AddServerUrl("tcp://127.0.0.1:1");

    LoginRequestRecord login;
    std::memset(&login, 0, sizeof login);
    std::strcpy(login.UserCode, "u");
    EXPECT_EQ(api->SubmitLogin(&login, 1), -1);
    EXPECT_EQ(api->SubmitLogout(nullptr, 1), -1);
    char code[] = "cu2501";
    char* codes[] = {code};
    EXPECT_EQ(api->SubscribeQuotes(codes, 1), 0);
    EXPECT_EQ(api->UnsubscribeQuotes(codes, 1), 0);
    EXPECT_EQ(api->ReservedRequest1(0, 0), -3);
    api->Dispose();
}

TEST(IdleClient, QuoteClientNotStarted)
{
    CTarnQuotApiImp* client = new CTarnQuotApiImp();
    client->AddServerAddress("127.0.0.1:1");
    LoginReq login;
    std::memset(&login, 0, sizeof login);
    QuotSubscribeReq subscribe;
    std::memset(&subscribe, 0, sizeof subscribe);
    MinDataQueryReq minData;
    std::memset(&minData, 0, sizeof minData);
    EXPECT_EQ(client->Login(&login, 1), -1);
    EXPECT_EQ(client->Subscribe(&subscribe, 1), -1);
    EXPECT_EQ(client->QueryMinData192(&minData, 1), -1);
    EXPECT_EQ(client->Stop(), 0);
    EXPECT_EQ(client->Stop(), 0);
    client->Destroy();
}

TEST(IdleClient, ErrorTextsAreGbk)
{
    CTarnQuotApiImp client;
    EXPECT_EQ(std::string(client.GetErrorText(0)),
              std::string("\xB2\xD9\xD7\xF7\xB3\xC9\xB9\xA6\xA3\xA1"));
    EXPECT_EQ(std::string(client.GetErrorText(-1)),
              std::string("\xB2\xD9\xD7\xF7\xCA\xA7\xB0\xDC\xA3\xA1"));
    EXPECT_EQ(std::string(client.GetErrorText(7)),
              std::string("\xCE\xB4\xD6\xAA\xB4\xED\xCE\xF3\xB1\xE0\xC2\xEB"));
}
