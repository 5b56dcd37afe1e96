// Settings of the quote simulator, filled from the command line of
// kelm-quote-sim or by the watcher's embedded server.
#ifndef KELM_TOOLS_SIM_QUOTESIMSETTINGS_H
#define KELM_TOOLS_SIM_QUOTESIMSETTINGS_H

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct SimInstrument
{
    std::string Code;      // InstrumentID, at most 15 characters
    std::string Exchange;  // ExchangeID, at most 16 characters
};

struct QuoteSimSettings
{
    // Beyond this the ticks cannot be timed on one thread anyway; a higher
    // rate is refused rather than silently not met.
    static constexpr double MaxRate = 100000;

    std::string ListenHost = "127.0.0.1";
    uint16_t ListenPort = 0;                    // 0: an ephemeral port
    std::map<std::string, std::string> Users;   // code -> password; empty: anyone
    std::string TradeDate;                      // YYYY-MM-DD; empty: today
    std::string SysName = "kelm-quote-sim";
    std::vector<SimInstrument> Instruments;     // the universe
    uint64_t Seed = 1;
    double Rate = 2.0;                          // quotes per second per instrument
    std::string ReplayFile;                     // CSV as the watcher records it
    double Speed = 1.0;                         // replay speed factor; 0: as fast as possible
    std::chrono::milliseconds ReplayWait{1000}; // see CQuoteSimulator
    std::chrono::milliseconds HeartbeatIdle{30000};
    std::chrono::milliseconds SilenceTimeout{150000};
    // Bytes of quotes a client may have waiting before further quotes to it
    // are dropped (and counted); twice as much of other packages waiting
    // disconnects it.
    std::size_t MaxClientQueueBytes = 4 << 20;
    bool LogEvents = false;                     // connections, logins, subscriptions to stderr
};

#endif
