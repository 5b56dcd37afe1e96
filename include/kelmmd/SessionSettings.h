// How a session is set up, and the credentials of its logins.
#ifndef KELMMD_SESSIONSETTINGS_H
#define KELMMD_SESSIONSETTINGS_H

#include <KelmRivoMdApi.h>

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "CQuoteQueue.h"
#include "SessionEvent.h"

namespace kelmmd
{

struct Credentials
{
    std::string User;      ///< at most 15 characters are sent
    std::string Password;  ///< at most 20
    std::string Broker;    ///< at most 10; not sent, echoed in the result
};

struct SessionSettings
{
    /// "tcp://HOST:PORT", in order of preference.
    std::vector<std::string> Addresses;

    /// The quote queue: its size in quotes (about 600 bytes each), and
    /// whether its memory is taken up front.
    std::size_t QueueCapacity = 65536;
    CQuoteQueue::Memory QueueMemory = CQuoteQueue::Memory::TouchedUpFront;
    /// How long a reader polls the empty quote queue before it sleeps (see
    /// CQuoteQueue); 0 sleeps at once.
    std::chrono::microseconds QueuePoll = CQuoteQueue::kDefaultPoll;
    /// The event queue, in events; the oldest are discarded beyond it.
    std::size_t EventCapacity = 10000;

    /// Log in again after every reconnect (once a login has succeeded, until
    /// a logout) and subscribe the current codes again after every login.
    /// Codes subscribed before the login go out with the login then. Off:
    /// every request goes out when it is made, and only then.
    bool AutoResubscribe = true;

    /// How the library's network thread waits for the server: 0 sleeps (the
    /// default); a positive number of microseconds keeps it polling that long
    /// after each event; -1 polls without end. Polling hands quotes on a few
    /// microseconds sooner and keeps a core busy while it polls.
    int Spinning = 0;

    /// When set, quotes are handed to OnQuote instead of the quote queue,
    /// and events to OnEvent instead of the event queue. Both run on the
    /// library's network thread, one at a time: they must be quick, must
    /// not wait for the application, and must not call the session. What
    /// they throw is lost with the notification.
    std::function<void(const MarketDepthRecord&)> OnQuote;
    std::function<void(const SessionEvent&)> OnEvent;
};

}  // namespace kelmmd

#endif
