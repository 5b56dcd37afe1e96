// One received quote (service 125, all 61 fields) taken through the real
// receive path, set against a floor (one memcpy of the same bytes: what any
// receiver must at least touch; the real work also zeroes and fills two
// records of about 600 bytes, so no decoder comes near it) and against a
// protobuf peer doing the same work (CProtoQuotePeer.h). Each case also
// reports the heap allocations it made per quote, and with repetitions the
// fastest and slowest repetition besides the median.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "AllocationCounter.h"
#include "CInProcessClient.h"
#include "CountingApp.h"
#include "CProtoQuotePeer.h"
#include "QuoteSample.h"

namespace
{

double Fastest(const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); }
double Slowest(const std::vector<double>& v) { return *std::max_element(v.begin(), v.end()); }

// The spread of the repetitions, as aggregates next to the median.
void WithSpread(benchmark::internal::Benchmark* benchmark)
{
    benchmark->ComputeStatistics("min", Fastest)->ComputeStatistics("max", Slowest);
}

// Reports quotes per second, allocations per quote and the frame size.
void Finish(benchmark::State& state, uint64_t allocationsBefore, std::size_t frameBytes)
{
    const uint64_t allocations = AllocationCounter::Count() - allocationsBefore;
    state.SetItemsProcessed(int64_t(state.iterations()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(frameBytes));
    state.counters["allocs_per_quote"] = double(allocations) / double(state.iterations());
    state.counters["frame_bytes"] = double(frameBytes);
}

void Ours(benchmark::State& state)
{
    const uint64_t startCount = AllocationCounter::Count();
    const std::vector<uint8_t> frame = QuoteSample::Frame();
    if (AllocationCounter::Count() == startCount)
    {
        state.SkipWithError("the allocation counter does not see allocations");
        return;
    }
    CInProcessClient client;
    const uint32_t length = uint32_t(frame.size());
    // Only a decode that is right is worth timing.
    if (client.Receive(frame.data(), length) != 0 || client.Quotes() != 1 ||
        client.LastAmount() != QuoteSample::Record().Amount)
    {
        state.SkipWithError("the receive path did not deliver the quote");
        return;
    }
    const uint64_t before = AllocationCounter::Count();
    for (auto _ : state)
        benchmark::DoNotOptimize(client.Receive(frame.data(), length));
    Finish(state, before, frame.size());
    if (client.Quotes() != uint64_t(state.iterations()) + 1)
        state.SkipWithError("quotes were lost");
}
BENCHMARK(Ours)->Apply(WithSpread);

// The floor: one copy of the frame, nothing decoded.
void Floor(benchmark::State& state)
{
    const std::vector<uint8_t> frame = QuoteSample::Frame();
    std::vector<uint8_t> copy(frame.size());
    const uint64_t before = AllocationCounter::Count();
    for (auto _ : state)
    {
        benchmark::DoNotOptimize(copy.data());
        std::memcpy(copy.data(), frame.data(), frame.size());
        benchmark::ClobberMemory();
    }
    Finish(state, before, frame.size());
}
BENCHMARK(Floor)->Apply(WithSpread);

void Peer(benchmark::State& state)
{
    const std::vector<uint8_t> frame = CProtoQuotePeer::Frame(QuoteSample::Record());
    CountingApp app;
    CProtoQuotePeer peer(app);
    const uint32_t length = uint32_t(frame.size());
    if (peer.Receive(frame.data(), length) != 0 || app.quotes != 1 ||
        app.lastAmount != QuoteSample::Record().Amount)
    {
        state.SkipWithError("the protobuf peer did not deliver the quote");
        return;
    }
    const uint64_t before = AllocationCounter::Count();
    for (auto _ : state)
        benchmark::DoNotOptimize(peer.Receive(frame.data(), length));
    Finish(state, before, frame.size());
}
BENCHMARK(Peer)->Apply(WithSpread);

}  // namespace
