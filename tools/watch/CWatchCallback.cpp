#include "tools/watch/CWatchCallback.h"

namespace
{

WatchEvent Result(WatchEvent::Kind kind, const ResponseInfoRecord* info)
{
    WatchEvent event;
    event.Type = kind;
    event.RspNo = info ? info->RspNo : -1;
    event.Text = info ? info->RspDesc : "";
    return event;
}

}  // namespace

void CWatchCallback::NotifyConnected()
{
    WatchEvent event;
    event.Type = WatchEvent::Kind::Connected;
    m_queue.Push(event);
}

void CWatchCallback::NotifyDisconnected(int)
{
    WatchEvent event;
    event.Type = WatchEvent::Kind::Disconnected;
    m_queue.Push(event);
}

void CWatchCallback::NotifyLoginResult(LoginResultRecord* result, ResponseInfoRecord* info, int, bool)
{
    WatchEvent event = Result(WatchEvent::Kind::LoginResult, info);
    if (result)
        event.Detail = std::string("trading day ") + result->TradeDate + ", system '" + result->SysName + "'";
    m_queue.Push(event);
}

void CWatchCallback::NotifySubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int, bool)
{
    WatchEvent event = Result(WatchEvent::Kind::SubscribeResult, info);
    event.Detail = instrument ? instrument->InstrumentID : "";
    m_queue.Push(event);
}

void CWatchCallback::NotifyQuote(MarketDepthRecord* quote)
{
    WatchEvent event;
    event.Type = WatchEvent::Kind::Quote;
    event.Quote = *quote;
    m_queue.Push(event);
}
