#include "CLibraryClient.h"

#include <KelmRivoMdExtension.h>

#include <string>
#include <thread>

namespace
{

int64_t NowNanoseconds()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Polls a condition every 2 milliseconds until it holds or time is up:
// seldom enough not to compete with the network thread for a core.
template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!condition())
    {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

}  // namespace

// Reads the clock only when it is needed, so that counting alone costs the
// library's thread next to nothing. This thread is the only writer of quotes.
void CLibraryClient::App::NotifyQuote(MarketDepthRecord* quote)
{
    const uint64_t count = quotes.load(std::memory_order_relaxed) + 1;
    if (recording.load(std::memory_order_relaxed) && latencies.size() < latencies.capacity())
        latencies.push_back(NowNanoseconds() - static_cast<int64_t>(quote->Amount));
    if (count == timed.load(std::memory_order_relaxed))
        timedArrival.store(NowNanoseconds(), std::memory_order_relaxed);
    quotes.store(count, std::memory_order_release);
}

CLibraryClient::CLibraryClient(uint16_t port, std::size_t latencyCapacity, int spinning)
    : m_api(CKelmRivoMdApi::CreateRivoMdApi("", false, false))
{
    if (spinning != 0)
        CKelmRivoMdExtension::FromApi(m_api)->SetSpinning(spinning);
    m_app.latencies.reserve(latencyCapacity);
    m_api->SetCallbackObject(&m_app);
    m_api->AddServerUrl(("tcp://127.0.0.1:" + std::to_string(port)).c_str());
}

CLibraryClient::~CLibraryClient()
{
    m_api->Dispose();
}

bool CLibraryClient::Connect(std::chrono::milliseconds timeout)
{
    m_api->Launch();
    return WaitFor([this] { return m_app.connected.load(); }, timeout);
}

bool CLibraryClient::WaitQuotes(uint64_t count, std::chrono::milliseconds timeout) const
{
    return WaitFor([this, count] { return Quotes() >= count; }, timeout);
}

std::chrono::steady_clock::time_point CLibraryClient::TimedArrival() const
{
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(m_app.timedArrival.load()));
}
