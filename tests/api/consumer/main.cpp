// A stand-alone application: compiled only against the installed header and
// linked only against the installed library.
#include <KelmRivoMdApi.h>

#include <cstdio>
#include <cstring>

#include "ConsumerCheck.h"

namespace
{

class Callback : public CKelmRivoMdCallback
{
public:
    void NotifyQuote(MarketDepthRecord*) override { ++quotes; }
    int quotes = 0;
};

}  // namespace

int main()
{
    int failures = 0;
    std::printf("version %s\n", CKelmRivoMdApi::GetApiVersion());
    failures += Check(std::strcmp(CKelmRivoMdApi::GetApiVersion(), "V6_6_9") == 0, "version");

    Callback callback;
    CKelmRivoMdApi* api = CKelmRivoMdApi::CreateRivoMdApi("", false, false);
    api->SetCallbackObject(&callback);
    api->AddServerUrl("tcp://127.0.0.1:1");
    failures += Check(api->GetTradeDate() != nullptr && api->GetTradeDate()[0] == '\0',
                      "empty trade date");
    LoginRequestRecord login;
    std::memset(&login, 0, sizeof login);
    std::strcpy(login.UserCode, "user");
    failures += Check(api->SubmitLogin(&login, 1) == -1, "login before launch");
    char code[] = "cu2501";
    char* codes[] = {code};
    failures += Check(api->SubscribeQuotes(codes, 1) == 0, "subscribe before launch");
    failures += Check(api->ReservedRequest1(0, 0) == -3, "reserved request");
    api->Dispose();
    std::printf("%s\n", failures == 0 ? "consumer ok" : "consumer failed");
    return failures == 0 ? 0 : 1;
}
