// The C++ side of the Python benchmarks, around the end-to-end pusher:
//
//   bench_python_feed push N   listens on loopback and prints "port P"; once
//                              a client connects, prints "start T" (steady
//                              clock, ns) and sends N quote frames as fast as
//                              the socket takes them, prints "sent N", then
//                              keeps the connection until standard input ends.
//   bench_python_feed app N    the C++ application of the end-to-end
//                              benchmark (NotifyQuote counts) fed the same
//                              way in this process; prints "quotes_per_second R".
//   bench_python_feed queue N [PAUSE]
//                              the same through the session layer's quote
//                              queue, read in batches by a thread of its own
//                              into one reused buffer, as the Python batches
//                              are: what the queue costs apart from Python.
//                              PAUSE (microseconds) after each batch leaves
//                              the reader almost idle, to tell what the
//                              hand-over costs the network thread itself.
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include <kelmmd/CMdSession.h>

#include "CLibraryClient.h"
#include "CPusher.h"
#include "QuoteSample.h"

namespace
{

using Clock = std::chrono::steady_clock;
const std::chrono::milliseconds kTimeout(20000);

int64_t Nanoseconds(Clock::time_point time)
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(time.time_since_epoch()).count();
}

int Push(CPusher& pusher, uint64_t count)
{
    std::printf("port %u\n", pusher.Port());
    std::fflush(stdout);
    if (!pusher.Accept(kTimeout))
        return 1;
    std::printf("start %lld\n", static_cast<long long>(Nanoseconds(Clock::now())));
    std::fflush(stdout);
    std::printf("sent %llu\n", static_cast<unsigned long long>(pusher.Flood(count)));
    std::fflush(stdout);
    for (std::string line; std::getline(std::cin, line);)
    {
    }
    return 0;
}

int Application(CPusher& pusher, uint64_t count)
{
    CLibraryClient client(pusher.Port(), 0);
    if (!client.Connect(kTimeout) || !pusher.Accept(kTimeout))
        return 1;
    client.TimeArrivalOf(count);
    const Clock::time_point start = Clock::now();
    std::thread push([&] { pusher.Flood(count); });
    const bool complete = client.WaitQuotes(count, kTimeout + std::chrono::seconds(60));
    push.join();
    if (!complete)
        return 1;
    const double seconds = std::chrono::duration<double>(client.TimedArrival() - start).count();
    std::printf("quotes_per_second %.0f\n", double(count) / seconds);
    return 0;
}

int Queue(CPusher& pusher, uint64_t count, std::chrono::microseconds pause)
{
    kelmmd::SessionSettings settings;
    settings.Addresses = {"tcp://127.0.0.1:" + std::to_string(pusher.Port())};
    kelmmd::CMdSession session(settings);
    if (!session.Connect(kTimeout) || !pusher.Accept(kTimeout))
        return 1;
    std::vector<MarketDepthRecord> batch(16384);
    const Clock::time_point start = Clock::now();
    std::thread push([&] { pusher.Flood(count); });
    uint64_t received = 0;
    while (received + session.QuotesDropped() < count)
    {
        const std::size_t taken = session.Quotes().NextBatch(batch.data(), batch.size(), kTimeout);
        if (taken == 0)
            break;
        received += taken;
        if (pause.count() > 0)
            std::this_thread::sleep_for(pause);
    }
    const Clock::time_point end = Clock::now();
    push.join();
    const double seconds = std::chrono::duration<double>(end - start).count();
    std::printf("quotes_per_second %.0f\n", double(received) / seconds);
    std::printf("dropped %llu\n", static_cast<unsigned long long>(session.QuotesDropped()));
    return received + session.QuotesDropped() == count ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv)
{
    const uint64_t count = argc >= 3 ? std::strtoull(argv[2], nullptr, 10) : 0;
    const std::chrono::microseconds pause(argc == 4 ? std::strtoll(argv[3], nullptr, 10) : 0);
    const bool queue = argc >= 3 && std::strcmp(argv[1], "queue") == 0;
    if (count == 0 || argc > (queue ? 4 : 3) ||
        (std::strcmp(argv[1], "push") != 0 && std::strcmp(argv[1], "app") != 0 && !queue))
    {
        std::fprintf(stderr, "usage: %s push COUNT | app COUNT | queue COUNT [PAUSE]\n", argv[0]);
        return 2;
    }
    const std::vector<uint8_t> frame = QuoteSample::Frame();
    CPusher pusher(frame, QuoteSample::StampOffset(frame));
    if (std::strcmp(argv[1], "push") == 0)
        return Push(pusher, count);
    return queue ? Queue(pusher, count, pause) : Application(pusher, count);
}
