#include "tools/watch/CSessionRequests.h"

#include <cstdio>
#include <cstring>

int CSessionRequests::Login(CKelmRivoMdApi& api, const std::string& user, const std::string& password,
                            const std::string& broker)
{
    LoginRequestRecord request;
    std::memset(&request, 0, sizeof request);
    std::snprintf(request.BrokerCode, sizeof request.BrokerCode, "%s", broker.c_str());
    std::snprintf(request.UserCode, sizeof request.UserCode, "%s", user.c_str());
    std::snprintf(request.Password, sizeof request.Password, "%s", password.c_str());
    return api.SubmitLogin(&request, 1);
}

void CSessionRequests::Subscribe(CKelmRivoMdApi& api, const std::vector<std::string>& instruments)
{
    // The API takes writable texts.
    std::vector<std::vector<char>> texts;
    std::vector<char*> codes;
    for (const std::string& code : instruments)
        texts.emplace_back(code.c_str(), code.c_str() + code.size() + 1);
    for (std::vector<char>& text : texts)
        codes.push_back(text.data());
    api.SubscribeQuotes(codes.data(), static_cast<int>(codes.size()));
}
