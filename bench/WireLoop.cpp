// Quotes over loopback TCP through the shared library, one at a time: each is
// sent only after the one before has reached NotifyQuote, so that each costs
// the network thread exactly one wake-up. For counting the network thread's
// instructions under callgrind (--separate-threads=yes): the count of a run
// with N quotes minus that of a run with M quotes, divided by N - M, is what
// the library does between the socket and NotifyQuote for one quote,
// waiting, reading and dispatching included.
//
//   bench_wire_loop COUNT
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "CLibraryClient.h"
#include "CPusher.h"
#include "QuoteSample.h"

int main(int argc, char** argv)
{
    const long count = argc == 2 ? std::strtol(argv[1], nullptr, 10) : 0;
    if (count <= 0)
    {
        std::fprintf(stderr, "usage: %s COUNT\n", argv[0]);
        return 2;
    }
    const std::chrono::milliseconds timeout(60000);
    const std::vector<uint8_t> frame = QuoteSample::Frame();
    CPusher pusher(frame, QuoteSample::StampOffset(frame));
    CLibraryClient client(pusher.Port(), 0);
    if (!client.Connect(timeout) || !pusher.Accept(timeout))
        return 1;
    for (long i = 1; i <= count; ++i)
        if (!pusher.Burst(1) || !client.WaitQuotes(uint64_t(i), timeout))
            return 1;
    return 0;
}
