// What kelm-md-bridge was asked to do.
#ifndef KELM_TOOLS_BRIDGE_BRIDGEOPTIONS_H
#define KELM_TOOLS_BRIDGE_BRIDGEOPTIONS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "RedisAddress.h"

struct BridgeOptions
{
    std::vector<std::string> Servers;  // "tcp://HOST:PORT", tried in turn
    std::string User;
    std::string Password;
    std::string Broker;
    RedisAddress Redis;
    std::string Prefix = "kelm:md:";
    uint64_t MaxLen = 100000;          // entries kept per stream, approximately; 0: all
    std::size_t Buffer = 500000;       // quotes kept while Redis is away
    double StatusInterval = 5;         // seconds between status lines; 0: none
    double FlushTimeout = 5;           // seconds to write what is buffered at the end
    double RedisTimeout = 2;           // seconds to connect to Redis or wait for a reply
    std::vector<std::string> Instruments;
    std::string Metrics;               // HOST:PORT of the Prometheus endpoint; empty: none
    double HealthMaxQuoteAge = 30;     // seconds without a quote before /healthz says 503; 0: not checked
};

#endif
