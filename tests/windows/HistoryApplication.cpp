// A MinGW application on the installed headers: logs in to a quote server,
// then runs the history queries and reads the link's figures through the
// extension interface (HistoryChecks.h).
//
//   history_application HOST:PORT INSTRUMENT
//
// Exit status 0 when every check held.
#include <KelmRivoMdApi.h>

#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "HistoryChecks.h"

namespace
{

class Session : public CKelmRivoMdCallback
{
public:
    Session() : connected(CreateEventA(nullptr, 0, 0, nullptr)), loggedIn(CreateEventA(nullptr, 0, 0, nullptr)) {}
    ~Session() override
    {
        CloseHandle(connected);
        CloseHandle(loggedIn);
    }
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    void NotifyConnected() override { SetEvent(connected); }
    void NotifyLoginResult(LoginResultRecord*, ResponseInfoRecord* info, int, bool) override
    {
        loginResult = info ? info->RspNo : -1;
        SetEvent(loggedIn);
    }

    HANDLE connected;
    HANDLE loggedIn;
    volatile int loginResult = -1;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        printf("usage: history_application HOST:PORT INSTRUMENT\n");
        return 2;
    }
    historychecks::Checker check;
    Session session;
    CKelmRivoMdApi* api = CKelmRivoMdApi::CreateRivoMdApi();
    api->SetCallbackObject(&session);
    char url[160] = "tcp://";
    strncat(url, argv[1], sizeof url - strlen(url) - 1);
    api->AddServerUrl(url);
    api->Launch();
    check(WaitForSingleObject(session.connected, 60000) == 0, "connected");
    LoginRequestRecord login;
    memset(&login, 0, sizeof login);
    strcpy(login.UserCode, "mingw");
    check(api->SubmitLogin(&login, 1) == 0, "login queued");
    check(WaitForSingleObject(session.loggedIn, 60000) == 0 && session.loginResult == 0, "logged in");
    if (check.failures == 0)
        historychecks::Run(api, argv[1], argv[2], check);
    api->Dispose();
    printf(check.failures == 0 ? "all checks passed\n" : "%d checks failed\n", check.failures);
    return check.failures == 0 ? 0 : 1;
}
