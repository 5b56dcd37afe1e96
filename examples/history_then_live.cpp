// History, then live, on one connection: logs in, fetches today's minute
// bars of each instrument, then subscribes and prints the live quotes for
// SECONDS seconds. The first quote of each instrument takes up where its
// bars ended: its day volume is what the bars add up to (while nobody
// else trades it meanwhile).
//
//   kelm-quote-sim --listen 127.0.0.1:7000 &
//   history_then_live tcp://127.0.0.1:7000 demo secret 5 au2406 ag2406
//
// Exit status: 0 quotes arrived, 1 none did (no connection, login or
// history refused), 2 bad arguments.
#include <kelmmd/CMdSession.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <map>
#include <string>
#include <vector>

namespace
{

using std::chrono::milliseconds;
using std::chrono::seconds;
using std::chrono::steady_clock;

// The volume of the bars, after a line about them.
long long PrintBars(const std::string& code, const std::vector<MinuteBarRecord>& bars)
{
    long long volume = 0;
    for (const MinuteBarRecord& bar : bars)
        volume += bar.QtyTotal;
    if (bars.empty())
        std::printf("%s: no minute bars yet today\n", code.c_str());
    else
        std::printf("%s: %zu minute bars from %.5s to %.5s, volume %lld, last close %.2f\n", code.c_str(),
                    bars.size(), bars.front().Time, bars.back().Time, volume, bars.back().ClosePrice);
    return volume;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 6 || std::atoi(argv[4]) <= 0)
    {
        std::fprintf(stderr, "usage: %s tcp://HOST:PORT USER PASSWORD SECONDS INSTRUMENT...\n", argv[0]);
        return 2;
    }
    const std::vector<std::string> codes(argv + 5, argv + argc);
    kelmmd::SessionSettings settings;
    settings.Addresses = {argv[1]};
    kelmmd::CMdSession session(settings);
    std::map<std::string, long long> history;  // code -> volume of its bars
    try
    {
        if (!session.Connect(seconds(10)))
        {
            std::fprintf(stderr, "no connection to %s\n", argv[1]);
            return 1;
        }
        const std::string today = session.Login({argv[2], argv[3], ""}, seconds(10)).TradeDate;
        std::printf("logged in, trading day %s\n", today.c_str());
        for (const std::string& code : codes)
        {
            const auto query = kelmmd::MinuteBarQuery(code, today + " 00:00", today + " 23:59:59");
            history[code] = PrintBars(code, session.MinuteBars(query, seconds(10)));
        }
    }
    catch (const std::exception& error)  // no connection, a refused login or query
    {
        std::fprintf(stderr, "%s: %s\n", argv[1], error.what());
        return 1;
    }
    session.Subscribe(codes);

    unsigned long quotes = 0;
    const steady_clock::time_point end = steady_clock::now() + seconds(std::atoi(argv[4]));
    for (steady_clock::time_point now = steady_clock::now(); now < end; now = steady_clock::now())
    {
        MarketDepthRecord q;
        const milliseconds left = std::chrono::duration_cast<milliseconds>(end - now);
        if (!session.Quotes().Next(q, left < milliseconds(200) ? left : milliseconds(200)))
            continue;
        ++quotes;
        std::printf("%s %s last %.2f volume %d\n", q.InstrumentID, q.ModifyTime, q.Price, q.QtyTotal);
        const auto first = history.find(q.InstrumentID);
        if (first != history.end())
        {
            std::printf("%s %s its history: volume %d at the first quote, %lld in the bars\n", q.InstrumentID,
                        q.QtyTotal == first->second ? "continues" : "does not continue", q.QtyTotal,
                        first->second);
            history.erase(first);
        }
        std::fflush(stdout);
    }
    std::printf("%lu quotes\n", quotes);
    return quotes > 0 ? 0 : 1;
}
