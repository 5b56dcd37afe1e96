// The quote simulator: a protocol server that answers logins, logouts,
// subscriptions and history queries and pushes quotes to the connections
// that subscribed, either from a seeded random walk or replayed from a
// recording.
//
// Answers (RspNo 0 on success):
//   1 "Invalid user code or password"   login refused
//   2 "Unknown instrument: CODE"         subscription or query for a code outside the universe
//   3 "Not logged in"                    anything but a login before a successful login
//   4 "Not subscribed: CODE"             unsubscription of a code the connection did not subscribe
// Subscriptions belong to the connection; a logout or disconnect drops them.
//
// History answers are lists split over as many packages as needed; EndFlag
// is 1 on every package but the last and 0 on the last.
//
// A client that does not read fast enough gets no more quotes while
// MaxClientQueueBytes wait to be written to it (they are dropped, counted and
// logged); answers are still queued up to twice that, beyond which the client
// is disconnected.
//
// Replay: every connection gets the recording from its start, filtered to
// its own subscriptions. It starts as soon as the connection has subscribed
// to every instrument of the recording, or ReplayWait after its first
// subscription, whichever comes first. Rows are paced by their ModifyDate
// and ModifyTime divided by Speed; Speed 0 sends them as fast as the
// connection takes them.
#ifndef KELM_TOOLS_SIM_CQUOTESIMULATOR_H
#define KELM_TOOLS_SIM_CQUOTESIMULATOR_H

#include <cstdint>
#include <memory>
#include <string>

#include <boost/asio/io_context.hpp>

#include "QuoteSimSettings.h"

class CQuoteSimulator
{
public:
    // Checks the settings and loads the recording; throws
    // std::invalid_argument or std::runtime_error with a one-line reason.
    explicit CQuoteSimulator(const QuoteSimSettings& settings);
    // The checks of the constructor that need no file: throws
    // std::invalid_argument naming the option at fault.
    static void Validate(const QuoteSimSettings& settings);
    ~CQuoteSimulator();
    CQuoteSimulator(const CQuoteSimulator&) = delete;
    CQuoteSimulator& operator=(const CQuoteSimulator&) = delete;

    // Listens and starts serving on a thread of its own; throws
    // boost::system::system_error when the address cannot be bound.
    void Start();
    // HOST:PORT actually listened on; an IPv6 host in brackets ([::1]:PORT).
    std::string Address() const;
    uint16_t Port() const;
    // Stops serving; may be called from any thread, also from a handler
    // running on the simulator's own I/O context (a signal handler).
    void Stop();
    // Blocks until the simulator has stopped.
    void Wait();
    // The context the simulator runs on, for signal handling.
    boost::asio::io_context& IoContext();

private:
    class Logic;
    std::unique_ptr<Logic> m_logic;
};

#endif
