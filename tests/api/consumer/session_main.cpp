// A stand-alone application on the installed session layer: compiled only
// against the installed headers, linked through kelmmduserapi_se::session.
#include <kelmmd/CMdSession.h>

#include <chrono>
#include <cstdio>

#include "ConsumerCheck.h"

int main()
{
    using std::chrono::milliseconds;
    int failures = 0;
    kelmmd::SessionSettings settings;
    settings.Addresses = {"tcp://127.0.0.1:1"};  // nothing listens there
    settings.QueueCapacity = 16;
    kelmmd::CMdSession session(settings);
    failures += Check(!session.Connect(milliseconds(300)), "no connection");
    try
    {
        session.Login({"user", "pw", ""}, milliseconds(100));
        failures += Check(false, "login without a connection");
    }
    catch (const kelmmd::CSessionError& error)
    {
        failures += Check(error.Type() == kelmmd::CSessionError::Kind::NotConnected, "not connected");
    }
    session.Subscribe({"cu2501"});
    failures += Check(session.Subscriptions().size() == 1, "subscription kept for the login");
    session.Close();
    MarketDepthRecord quote;
    const auto start = std::chrono::steady_clock::now();
    failures += Check(!session.Quotes().Next(quote, milliseconds(5000)), "no quote after close");
    failures += Check(std::chrono::steady_clock::now() - start < milliseconds(1000), "no wait after close");
    std::printf("%s\n", failures == 0 ? "session consumer ok" : "session consumer failed");
    return failures == 0 ? 0 : 1;
}
