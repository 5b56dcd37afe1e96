// What kelm-md-watch was asked to do.
#ifndef KELM_TOOLS_WATCH_WATCHOPTIONS_H
#define KELM_TOOLS_WATCH_WATCHOPTIONS_H

#include <cstdint>
#include <string>
#include <vector>

#include "RedisAddress.h"
#include "QuoteSimSettings.h"

enum class WatchFormat
{
    Table,
    Csv,
    Json
};

// With --history the watcher asks for history instead of quotes.
enum class HistoryKind
{
    None,
    Minute,
    Day,
    Trades
};

struct WatchOptions
{
    std::vector<std::string> Servers;  // "tcp://HOST:PORT"; empty: the embedded simulator
    std::string User = "watch";
    std::string Password;
    std::string Broker;
    WatchFormat Format = WatchFormat::Csv;
    uint64_t Count = 0;                // quotes to receive; 0: no limit
    double Duration = 0;               // seconds; 0: no limit
    double ConnectTimeout = 10;        // seconds to wait for a connection and a login; 0: forever
    std::string RecordFile;
    std::vector<std::string> Instruments;
    QuoteSimSettings Embedded;         // the simulator started without --server
    // With FromRedis, quotes come from the streams a bridge writes.
    bool FromRedis = false;
    RedisAddress Redis;
    std::string Prefix = "kelm:md:";
    bool FromStart = false;            // the streams' history first, not only new entries
    // --history: what to ask for, and the range in the library's form
    // (YYYYMMDD, with " HH:MM[:SS]" for minutes); empty ends are the server's.
    HistoryKind History = HistoryKind::None;
    std::string From;
    std::string To;
    int Service = 150;                 // the minute-data service
    std::string Metrics;               // HOST:PORT of the Prometheus endpoint; empty: none
    double HealthMaxQuoteAge = 30;     // seconds without a quote before /healthz says 503; 0: not checked
};

#endif
