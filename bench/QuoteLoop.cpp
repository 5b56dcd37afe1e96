// Runs one quote case a given number of times and nothing else, for counting
// instructions under callgrind: the count of a run with N quotes minus that of
// a run with M quotes, divided by N - M, is the cost of one quote without the
// start-up.
//
//   bench_quote_loop ours|peer|floor COUNT
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "CInProcessClient.h"
#include "CProtoQuotePeer.h"
#include "CountingApp.h"
#include "QuoteSample.h"

namespace
{

int RunOurs(long count)
{
    const std::vector<uint8_t> frame = QuoteSample::Frame();
    CInProcessClient client;
    for (long i = 0; i < count; ++i)
        if (client.Receive(frame.data(), uint32_t(frame.size())) != 0)
            return 1;
    return client.Quotes() == uint64_t(count) ? 0 : 1;
}

int RunPeer(long count)
{
    const std::vector<uint8_t> frame = CProtoQuotePeer::Frame(QuoteSample::Record());
    CountingApp app;
    CProtoQuotePeer peer(app);
    for (long i = 0; i < count; ++i)
        if (peer.Receive(frame.data(), uint32_t(frame.size())) != 0)
            return 1;
    return app.quotes == uint64_t(count) ? 0 : 1;
}

// One copy of the frame per quote: the floor, not a decoder.
int RunFloor(long count)
{
    const std::vector<uint8_t> frame = QuoteSample::Frame();
    std::vector<uint8_t> copy(frame.size());
    volatile uint8_t sink = 0;
    for (long i = 0; i < count; ++i)
    {
        std::memcpy(copy.data(), frame.data(), frame.size());
        sink = sink + copy[i % copy.size()];
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
    {
        std::fprintf(stderr, "usage: %s ours|peer|floor COUNT\n", argv[0]);
        return 2;
    }
    const std::string which = argv[1];
    const long count = std::strtol(argv[2], nullptr, 10);
    if (which == "ours")
        return RunOurs(count);
    if (which == "peer")
        return RunPeer(count);
    if (which == "floor")
        return RunFloor(count);
    std::fprintf(stderr, "unknown case %s\n", argv[1]);
    return 2;
}
