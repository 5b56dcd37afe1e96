// A complete application on the session layer: connects to a quote server,
// logs in, subscribes and prints every quote for SECONDS seconds. When the
// link is lost the session connects, logs in and subscribes again by
// itself; the application only reads quotes and events.
//
//   kelm-quote-sim --listen 127.0.0.1:7000 &
//   session_quotes tcp://127.0.0.1:7000 demo secret 10 au2406 ag2406
//
// Exit status: 0 quotes arrived, 1 none did (no connection, login refused),
// 2 bad arguments.
#include <kelmmd/CMdSession.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>
#include <vector>

namespace
{

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

// Session events worth a line: losses, logins after a reconnect, refusals.
void PrintEvent(const kelmmd::SessionEvent& event)
{
    using Kind = kelmmd::SessionEvent::Kind;
    if (event.Type == Kind::Disconnected)
        std::printf("event: link lost; the session reconnects\n");
    else if (event.Type == Kind::Login && event.Automatic)
        std::printf("event: logged in again: %d %s\n", event.RspNo, event.RspDesc.c_str());
    else if (event.Type == Kind::Subscribe && !event.Succeeded())
        std::printf("event: %s refused: %d %s\n", event.Instrument.c_str(), event.RspNo, event.RspDesc.c_str());
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 6 || std::atoi(argv[4]) <= 0)
    {
        std::fprintf(stderr, "usage: %s tcp://HOST:PORT USER PASSWORD SECONDS INSTRUMENT...\n", argv[0]);
        return 2;
    }
    kelmmd::SessionSettings settings;
    settings.Addresses = {argv[1]};
    kelmmd::CMdSession session(settings);
    try
    {
        if (!session.Connect(seconds(10)))
        {
            std::fprintf(stderr, "no connection to %s\n", argv[1]);
            return 1;
        }
        const LoginResultRecord login = session.Login({argv[2], argv[3], ""}, seconds(10));
        std::printf("logged in, trading day %s\n", login.TradeDate);
    }
    catch (const std::exception& error)  // an unusable address, a refused login
    {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
        return 1;
    }
    session.Subscribe(std::vector<std::string>(argv + 5, argv + argc));

    unsigned long quotes = 0;
    const steady_clock::time_point end = steady_clock::now() + seconds(std::atoi(argv[4]));
    for (steady_clock::time_point now = steady_clock::now(); now < end; now = steady_clock::now())
    {
        MarketDepthRecord q;
        const milliseconds left = std::chrono::duration_cast<milliseconds>(end - now);
        if (session.Quotes().Next(q, left < milliseconds(200) ? left : milliseconds(200)))
        {
            std::printf("%s %s last %.2f bid %.2f ask %.2f\n", q.InstrumentID, q.ModifyTime, q.Price, q.BidPrice1,
                        q.AskPrice1);
            ++quotes;
        }
        while (const auto event = session.Events().Next(milliseconds(0)))
            PrintEvent(*event);
        std::fflush(stdout);
    }
    std::printf("%lu quotes, %lu dropped, %lu reconnects\n", quotes,
                static_cast<unsigned long>(session.QuotesDropped()), static_cast<unsigned long>(session.Reconnects()));
    return quotes > 0 ? 0 : 1;
}
