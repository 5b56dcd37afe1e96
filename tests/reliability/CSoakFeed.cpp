#include "reliability/CSoakFeed.h"

#include "reliability/SoakQuote.h"
#include "sim/CSimEncoder.h"
#include "sim/SimService.h"

#include <chrono>
#include <cstring>

namespace
{

// Frames kept queued per session: enough to keep the link busy, few enough
// that a stalled client does not make the server hoard memory.
constexpr std::size_t kBacklog = 64;

SimSessionSettings FeedSettings()
{
    SimSessionSettings settings;
    settings.KeepReceivedFrames = false;
    return settings;
}

}  // namespace

CSoakFeed::CSoakFeed() : m_server(FeedSettings())
{
    m_server.SetRequestHandler(
        [this](const std::shared_ptr<CSimSession>& session, const SimRequest& request) { OnRequest(session, request); });
    m_server.SetSessionClosedHandler([this](const std::shared_ptr<CSimSession>& session) {
        m_feeds.erase(session->Id());
        m_requests.erase(session->Id());
    });
}

CSoakFeed::~CSoakFeed()
{
    Stop();
}

void CSoakFeed::Start()
{
    m_server.Start("127.0.0.1", 0);
    m_pusher = std::thread(&CSoakFeed::Push, this);
}

void CSoakFeed::StopPushing()
{
    m_stopping = true;
    if (m_pusher.joinable())
        m_pusher.join();
}

void CSoakFeed::Stop()
{
    StopPushing();
    m_server.Stop();
}

void CSoakFeed::OnRequest(const std::shared_ptr<CSimSession>& session, const SimRequest& request)
{
    const int seen = ++m_requests[session->Id()];
    RspInfo info;
    std::memset(&info, 0, sizeof info);
    if (seen == 1 && request.ServiceNo == SimService::Login)
    {
        LoginRsp answer;
        std::memset(&answer, 0, sizeof answer);
        std::strcpy(answer.TradeDate, "2026-12-08");
        session->Send(CSimEncoder::LoginAnswer(request.RequestID, &info, &answer));
    }
    else if (seen == 2 && request.ServiceNo == SimService::Subscribe)
    {
        QuotSubscribeRsp answer;
        std::memset(&answer, 0, sizeof answer);
        std::strcpy(answer.InstrumentID, "SK");
        session->Send(CSimEncoder::SubscribeAnswer(request.RequestID, &info, &answer));
        m_feeds[session->Id()] = Feed{session, FirstQuoteOf(session->Id())};
    }
    else if (request.ServiceNo != SimService::Heartbeat)
        ++m_unexpected;
}

// On the I/O thread: fills every feeding session's queue.
std::size_t CSoakFeed::TopUp()
{
    std::size_t added = 0;
    for (auto& entry : m_feeds)
    {
        Feed& feed = entry.second;
        while (feed.session->IsOpen() && feed.session->Backlog() < kBacklog)
        {
            feed.session->Send(CSimEncoder::Quote(soak::MakeQuote(feed.next++)));
            ++added;
        }
    }
    m_queued += added;
    return added;
}

void CSoakFeed::Push()
{
    while (!m_stopping)
    {
        if (m_server.Call([this] { return TopUp(); }) == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
}
