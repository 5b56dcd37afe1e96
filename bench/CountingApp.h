// The application of the in-process quote benchmarks: counts quotes and keeps
// the Amount of the last one, so the call has an effect to check, and does
// nothing more.
#ifndef KELM_BENCH_COUNTINGAPP_H
#define KELM_BENCH_COUNTINGAPP_H

#include <cstdint>

#include <KelmRivoMdApi.h>

class CountingApp final : public CKelmRivoMdCallback
{
public:
    void NotifyQuote(MarketDepthRecord* quote) override
    {
        ++quotes;
        lastAmount = quote->Amount;
    }

    uint64_t quotes = 0;
    double lastAmount = 0;
};

#endif
