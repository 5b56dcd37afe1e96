// What happened to a session, as a plain record: the link came or went, or
// the server answered a request. Answers carry the server's result (RspNo 0
// is success) and the record of the answer, copied, so that the event
// outlives the notification it came from.
#ifndef KELMMD_SESSIONEVENT_H
#define KELMMD_SESSIONEVENT_H

#include <KelmRivoMdApi.h>

#include <string>

namespace kelmmd
{

struct SessionEvent
{
    enum class Kind
    {
        Connected,
        Disconnected,
        Login,
        Logout,
        Subscribe,
        Unsubscribe,
    };

    Kind Type = Kind::Connected;
    int RequestId = 0;          ///< the request answered; 0 for subscriptions
    bool HasInfo = false;       ///< the answer carried the server's result
    int RspNo = 0;
    std::string RspDesc;
    bool HasRecord = false;     ///< the answer carried its record
    std::string Instrument;     ///< Subscribe, Unsubscribe
    std::string UserCode;       ///< Logout
    LoginResultRecord Login{};  ///< Login
    bool Automatic = false;     ///< Login: sent by the session itself after a reconnect

    bool Succeeded() const { return HasInfo && RspNo == 0; }

    /// "connected", "disconnected", "login", "logout", "subscribe", "unsubscribe"
    static const char* Name(Kind kind)
    {
        switch (kind)
        {
        case Kind::Connected:
            return "connected";
        case Kind::Disconnected:
            return "disconnected";
        case Kind::Login:
            return "login";
        case Kind::Logout:
            return "logout";
        case Kind::Subscribe:
            return "subscribe";
        case Kind::Unsubscribe:
            return "unsubscribe";
        }
        return "unknown";
    }
};

}  // namespace kelmmd

#endif
