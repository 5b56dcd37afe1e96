// What an application of the library repeats after every connect, since the
// library keeps no session: the login, and after it the subscriptions. And
// the deleter of the API object, which is released through Dispose.
#ifndef KELM_TOOLS_WATCH_CSESSIONREQUESTS_H
#define KELM_TOOLS_WATCH_CSESSIONREQUESTS_H

#include <string>
#include <vector>

#include <KelmRivoMdApi.h>

class CSessionRequests
{
public:
    // SubmitLogin's result: 0 sent, -1 no connection.
    static int Login(CKelmRivoMdApi& api, const std::string& user, const std::string& password,
                     const std::string& broker);
    static void Subscribe(CKelmRivoMdApi& api, const std::vector<std::string>& instruments);
};

struct ApiDisposer
{
    void operator()(CKelmRivoMdApi* api) const { api->Dispose(); }
};

#endif
