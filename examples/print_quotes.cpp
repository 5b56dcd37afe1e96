// A complete application on the public API: connects to a quote server,
// logs in, subscribes and prints quotes for three seconds.
//
//   kelm-quote-sim --listen 127.0.0.1:7000 &
//   print_quotes tcp://127.0.0.1:7000 demo secret au2406 ag2406
//
// With only an address it prints the library version, registers the address
// and disposes of the API object without connecting. Exit status: 0 quotes
// arrived, 1 they did not (no connection, login refused, unusable address),
// 2 bad arguments.
#include <KelmRivoMdApi.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace
{

// Notifications arrive on the library's network thread.
class Printer : public CKelmRivoMdCallback
{
public:
    void NotifyConnected() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connected = true;
        m_changed.notify_all();
    }
    void NotifyDisconnected(int) override { std::printf("disconnected, reconnecting\n"); }
    void NotifyLoginResult(LoginResultRecord* result, ResponseInfoRecord* info, int,
                           bool) override
    {
        std::printf("login: %d %s, trading day %s\n", info ? info->RspNo : -1,
                    info ? info->RspDesc : "", result ? result->TradeDate : "?");
        std::lock_guard<std::mutex> lock(m_mutex);
        m_loggedIn = info && info->RspNo == 0;
        m_loginAnswered = true;
        m_changed.notify_all();
    }
    void NotifySubscribeResult(InstrumentSpecRecord* instrument, ResponseInfoRecord* info, int,
                               bool) override
    {
        std::printf("subscribe %s: %d %s\n", instrument ? instrument->InstrumentID : "?",
                    info ? info->RspNo : -1, info ? info->RspDesc : "");
    }
    void NotifyQuote(MarketDepthRecord* q) override
    {
        std::printf("%s %s %s last %.2f bid %.2f x %d ask %.2f x %d volume %d\n", q->InstrumentID,
                    q->TradeDate, q->ModifyTime, q->Price, q->BidPrice1, q->BidQty1, q->AskPrice1,
                    q->AskQty1, q->QtyTotal);
        ++quotes;
    }

    bool WaitConnected(std::chrono::seconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, timeout, [this] { return m_connected; });
    }
    bool WaitLogin(std::chrono::seconds timeout)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, timeout, [this] { return m_loginAnswered; });
        return m_loggedIn;
    }

    std::atomic<int> quotes{0};

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_connected = false;
    bool m_loginAnswered = false;
    bool m_loggedIn = false;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: %s tcp://HOST:PORT [USER PASSWORD INSTRUMENT...]\n", argv[0]);
        return 2;
    }
    std::printf("library version %s\n", CKelmRivoMdApi::GetApiVersion());
    Printer printer;
    CKelmRivoMdApi* api = CKelmRivoMdApi::CreateRivoMdApi("", false, false);
    api->SetCallbackObject(&printer);
    api->AddServerUrl(argv[1]);
    if (argc < 5)
    {
        api->Dispose();
        return 0;
    }

    int status = 1;
    try
    {
        api->Launch();  // resolves the first address at once
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "cannot use %s: %s\n", argv[1], error.what());
        api->Dispose();
        return 1;
    }
    if (printer.WaitConnected(std::chrono::seconds(10)))
    {
        LoginRequestRecord login;
        std::memset(&login, 0, sizeof login);
        std::strncpy(login.UserCode, argv[2], sizeof login.UserCode - 1);
        std::strncpy(login.Password, argv[3], sizeof login.Password - 1);
        api->SubmitLogin(&login, 1);
        if (printer.WaitLogin(std::chrono::seconds(10)))
        {
            std::vector<char*> codes(argv + 4, argv + argc);
            api->SubscribeQuotes(codes.data(), static_cast<int>(codes.size()));
            std::this_thread::sleep_for(std::chrono::seconds(3));
            status = printer.quotes > 0 ? 0 : 1;
        }
    }
    std::printf("%d quotes\n", printer.quotes.load());
    api->Dispose();   // no notification runs once this returns
    return status;
}
