// A process that leaves while the library is connected and receiving at full
// rate, without disposing of the API object:
//   reliability_exit_child tcp://HOST:PORT return|exit
// Returns 0 from main, or calls exit(3); 2 when no quotes came.
#include "support/TestSpinning.h"

#include <KelmRivoMdApi.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace
{

class Receiver final : public CKelmRivoMdCallback
{
public:
    void NotifyConnected() override
    {
        char code[] = "SK1";
        char* codes[] = {code};
        api.load()->SubscribeQuotes(codes, 1);
    }
    void NotifyQuote(MarketDepthRecord* quote) override
    {
        if (quote->InstrumentID[0] != '\0')
            ++quotes;
    }

    std::atomic<CKelmRivoMdApi*> api{nullptr};
    std::atomic<int> quotes{0};
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 3)
        return 64;
    // Never deleted: the callback object stays valid for as long as the
    // process runs, as the library requires of it.
    Receiver* receiver = new Receiver;
    CKelmRivoMdApi* api = testspinning::CreateApi();
    receiver->api = api;
    api->SetCallbackObject(receiver);
    api->AddServerUrl(argv[1]);
    api->Launch();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (receiver->quotes < 1000 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (receiver->quotes < 1000)
        return 2;
    if (std::strcmp(argv[2], "exit") == 0)
        std::exit(3);
    return 0;
}
