// The library end to end over loopback TCP, one connection, against a plain
// reader of the same byte stream:
//   Throughput: the pusher sends --quotes frames as fast as the socket takes
//     them; quotes/s and MB/s until the last one reached NotifyQuote (or the
//     plain reader's last read). Resident memory of the process before the
//     client exists, with the client connected and idle, and its peak during
//     the load (VmHWM, reset before the client is made), is reported with the
//     library's figures; only the first run's are free of pages that earlier
//     runs left resident.
//   Latency: the pusher sends --rate frames per second for --seconds seconds,
//     each stamped with its send time; the send-to-callback (or
//     send-to-receipt) latencies give p50, p99, p99.9 and max. Ours runs
//     twice: with the network thread sleeping (the default) and spinning
//     (--spin, the SetSpinning setting, -1 by default: it polls without end).
//     The heap allocations of the whole process during our runs, per quote,
//     go with them.
// Each case runs --runs times, interleaved (ours, plain reader, ours
// spinning, ours, ...), so that a change in the machine's load falls on every
// receiver alike; the runs are named .../run:N for the report to take median
// and spread.
//
//   bench_end_to_end [--quotes=N] [--rate=R] [--seconds=S] [--runs=K] [--spin=U] [benchmark flags]
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <future>
#include <initializer_list>
#include <string>
#include <thread>
#include <vector>

#include "AllocationCounter.h"
#include "CLibraryClient.h"
#include "CPlainReader.h"
#include "CPusher.h"
#include "LatencySummary.h"
#include "ProcessMemory.h"
#include "QuoteSample.h"

namespace
{

using std::chrono::milliseconds;
using Clock = std::chrono::steady_clock;

const milliseconds kConnectTimeout(5000);
// Added to the expected duration of a run before it is given up.
const milliseconds kGrace(60000);

struct Settings
{
    uint64_t quotes = 2000000;
    double rate = 50000;
    double seconds = 3;
    int runs = 5;
    int spin = -1;  // the spinning row's setting

    uint64_t PacedCount() const { return std::max<uint64_t>(1, uint64_t(rate * seconds)); }
};

// Reads --name=value from argv and removes it; the rest is for the library.
bool TakeOption(int& argc, char** argv, const char* name, double& value)
{
    const std::size_t length = std::strlen(name);
    for (int i = 1; i < argc; ++i)
    {
        if (std::strncmp(argv[i], name, length) != 0 || argv[i][length] != '=')
            continue;
        value = std::strtod(argv[i] + length + 1, nullptr);
        for (int j = i; j + 1 < argc; ++j)
            argv[j] = argv[j + 1];
        --argc;
        return true;
    }
    return false;
}

struct Sample
{
    std::vector<uint8_t> frame = QuoteSample::Frame();
    std::size_t stampOffset = QuoteSample::StampOffset(frame);
};

void ReportThroughput(benchmark::State& state, uint64_t quotes, std::size_t frameSize, Clock::duration elapsed)
{
    const double seconds = std::chrono::duration<double>(elapsed).count();
    state.SetIterationTime(seconds);
    state.counters["quotes"] = double(quotes);
    state.counters["quotes_per_second"] = double(quotes) / seconds;
    state.counters["mb_per_second"] = double(quotes) * double(frameSize) / 1e6 / seconds;
}

void ReportLatency(benchmark::State& state, uint64_t quotes, const std::vector<int64_t>& latencies,
                   Clock::duration elapsed)
{
    state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
    const LatencySummary summary = LatencySummary::Of(latencies);
    state.counters["quotes"] = double(quotes);
    state.counters["p50_us"] = summary.p50Us;
    state.counters["p99_us"] = summary.p99Us;
    state.counters["p999_us"] = summary.p999Us;
    state.counters["max_us"] = summary.maxUs;
}

void ThroughputOurs(benchmark::State& state, const Settings& settings)
{
    const Sample sample;
    for (auto _ : state)
    {
        const double baseKiB = ProcessMemory::ResidentKiB();
        const bool peakReset = ProcessMemory::ResetPeak();
        CPusher pusher(sample.frame, sample.stampOffset);
        CLibraryClient client(pusher.Port(), 0);
        if (!client.Connect(kConnectTimeout) || !pusher.Accept(kConnectTimeout))
        {
            state.SkipWithError("the library did not connect");
            return;
        }
        std::this_thread::sleep_for(milliseconds(200));
        const double idleKiB = ProcessMemory::ResidentKiB();
        client.TimeArrivalOf(settings.quotes);
        Clock::time_point start;
        std::thread push([&] {
            start = Clock::now();
            pusher.Flood(settings.quotes);
        });
        const bool complete = client.WaitQuotes(settings.quotes, kGrace);
        push.join();
        const double peakKiB = ProcessMemory::PeakResidentKiB();
        if (!complete)
        {
            state.SkipWithError("quotes were lost or late");
            return;
        }
        ReportThroughput(state, settings.quotes, sample.frame.size(), client.TimedArrival() - start);
        state.counters["rss_base_kib"] = baseKiB;
        state.counters["rss_idle_kib"] = idleKiB;
        state.counters["rss_peak_kib"] = peakKiB;
        // 0: the kernel kept the peak from the process's start.
        state.counters["rss_peak_reset"] = peakReset ? 1 : 0;
    }
}

void ThroughputPlain(benchmark::State& state, const Settings& settings)
{
    const Sample sample;
    for (auto _ : state)
    {
        CPusher pusher(sample.frame, sample.stampOffset);
        Clock::time_point start;
        std::thread push([&] {
            if (!pusher.Accept(kConnectTimeout))
                return;
            start = Clock::now();
            pusher.Flood(settings.quotes);
        });
        uint64_t received = 0;
        {
            CPlainReader reader(pusher.Port());
            received = reader.ReadBytes(settings.quotes * sample.frame.size());
        }
        const Clock::time_point end = Clock::now();
        push.join();
        if (received != settings.quotes * sample.frame.size())
        {
            state.SkipWithError("the plain reader missed bytes");
            return;
        }
        ReportThroughput(state, settings.quotes, sample.frame.size(), end - start);
    }
}

void LatencyOf(benchmark::State& state, const Settings& settings, int spinning)
{
    const Sample sample;
    const uint64_t count = settings.PacedCount();
    for (auto _ : state)
    {
        CPusher pusher(sample.frame, sample.stampOffset);
        CLibraryClient client(pusher.Port(), count, spinning);
        if (!client.Connect(kConnectTimeout) || !pusher.Accept(kConnectTimeout))
        {
            state.SkipWithError("the library did not connect");
            return;
        }
        client.RecordLatencies();
        // The pusher's thread is made before the count starts: only the
        // library's allocations are counted (and none of this thread's).
        std::promise<void> go;
        std::thread push([&, started = go.get_future()] {
            started.wait();
            pusher.Paced(count, settings.rate);
        });
        const uint64_t allocations = AllocationCounter::Count();
        const Clock::time_point start = Clock::now();
        go.set_value();
        const bool complete =
            client.WaitQuotes(count, milliseconds(int64_t(settings.seconds * 1000)) + kGrace);
        push.join();
        if (!complete)
        {
            state.SkipWithError("quotes were lost or late");
            return;
        }
        state.counters["allocs_per_quote"] = double(AllocationCounter::Count() - allocations) / double(count);
        ReportLatency(state, count, client.Latencies(), Clock::now() - start);
    }
}

void LatencyOurs(benchmark::State& state, const Settings& settings)
{
    LatencyOf(state, settings, 0);
}

void LatencyOursSpinning(benchmark::State& state, const Settings& settings)
{
    LatencyOf(state, settings, settings.spin);
}

void LatencyPlain(benchmark::State& state, const Settings& settings)
{
    const Sample sample;
    const uint64_t count = settings.PacedCount();
    for (auto _ : state)
    {
        CPusher pusher(sample.frame, sample.stampOffset);
        std::thread push([&] {
            if (pusher.Accept(kConnectTimeout))
                pusher.Paced(count, settings.rate);
        });
        std::vector<int64_t> latencies;
        latencies.reserve(count);
        const Clock::time_point start = Clock::now();
        uint64_t received = 0;
        {
            CPlainReader reader(pusher.Port());
            received = reader.ReadStamped(count, sample.frame.size(), sample.stampOffset, latencies);
        }
        push.join();
        if (received != count)
        {
            state.SkipWithError("the plain reader missed frames");
            return;
        }
        ReportLatency(state, count, latencies, Clock::now() - start);
    }
}

using Case = void (*)(benchmark::State&, const Settings&);

void Register(const std::string& name, Case run, const Settings& settings)
{
    benchmark::RegisterBenchmark(name.c_str(), [run, settings](benchmark::State& state) { run(state, settings); })
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kMillisecond);
}

struct Receiver
{
    const char* name;
    Case run;
};

// The receivers in turn, settings.runs times.
void RegisterInterleaved(const std::string& kind, std::initializer_list<Receiver> receivers, const Settings& settings)
{
    for (int run = 1; run <= settings.runs; ++run)
        for (const Receiver& receiver : receivers)
            Register("EndToEnd/" + kind + "/" + receiver.name + "/run:" + std::to_string(run), receiver.run, settings);
}

}  // namespace

int main(int argc, char** argv)
{
    Settings settings;
    double quotes = double(settings.quotes);
    TakeOption(argc, argv, "--quotes", quotes);
    TakeOption(argc, argv, "--rate", settings.rate);
    TakeOption(argc, argv, "--seconds", settings.seconds);
    double runs = settings.runs;
    TakeOption(argc, argv, "--runs", runs);
    double spin = settings.spin;
    TakeOption(argc, argv, "--spin", spin);
    settings.quotes = std::max<uint64_t>(1, uint64_t(quotes));
    settings.runs = int(runs);
    settings.spin = int(spin);
    if (settings.rate <= 0 || settings.seconds <= 0 || settings.runs < 1 || settings.spin == 0 || settings.spin < -1)
    {
        std::fprintf(stderr, "--rate, --seconds and --runs must be positive, --spin -1 or positive\n");
        return 2;
    }
    RegisterInterleaved("Throughput", {{"Ours", ThroughputOurs}, {"PlainReader", ThroughputPlain}}, settings);
    RegisterInterleaved("Latency",
                        {{"Ours", LatencyOurs}, {"PlainReader", LatencyPlain}, {"OursSpinning", LatencyOursSpinning}},
                        settings);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
