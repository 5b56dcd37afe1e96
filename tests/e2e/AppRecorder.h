// An application callback object for end-to-end tests: keeps what the
// library delivered and lets the test thread wait for it.
#ifndef KELM_TESTS_E2E_APPRECORDER_H
#define KELM_TESTS_E2E_APPRECORDER_H

#include <KelmRivoMdApi.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

class AppRecorder : public CKelmRivoMdCallback
{
public:
    struct Result
    {
        std::string kind;
        bool hasRecord;
        bool hasInfo;
        ResponseInfoRecord info;
        int requestId;
        bool isLast;
    };

    void NotifyConnected() override { Add([&] { ++connects; }); }
    void NotifyDisconnected(int reason) override
    {
        Add([&] {
            ++disconnects;
            lastReason = reason;
        });
    }
    void NotifyLoginResult(LoginResultRecord* r, ResponseInfoRecord* i, int id, bool last) override
    {
        Add([&] {
            results.push_back(MakeResult("login", r != nullptr, i, id, last));
            if (r)
                login = *r;
        });
    }
    void NotifyLogoutResult(LogoutResultRecord* r, ResponseInfoRecord* i, int id, bool last) override
    {
        Add([&] {
            results.push_back(MakeResult("logout", r != nullptr, i, id, last));
            if (r)
                logout = *r;
        });
    }
    void NotifySubscribeResult(InstrumentSpecRecord* r, ResponseInfoRecord* i, int id,
                               bool last) override
    {
        Add([&] {
            results.push_back(MakeResult("subscribe", r != nullptr, i, id, last));
            if (r)
                instrument = *r;
        });
    }
    void NotifyUnsubscribeResult(InstrumentSpecRecord* r, ResponseInfoRecord* i, int id,
                                 bool last) override
    {
        Add([&] {
            results.push_back(MakeResult("unsubscribe", r != nullptr, i, id, last));
            if (r)
                instrument = *r;
        });
    }
    void NotifyQuote(MarketDepthRecord* quote) override
    {
        Add([&] { quotes.push_back(*quote); });
    }

    /// Waits until condition (run under the lock) holds; false on timeout.
    bool Wait(const std::function<bool()>& condition,
              std::chrono::milliseconds timeout = std::chrono::seconds(10))
    {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, timeout, condition);
    }

    template <class F>
    auto Read(F f) -> decltype(f())
    {
        std::lock_guard<std::mutex> lock(mutex);
        return f();
    }

    std::mutex mutex;
    std::condition_variable changed;
    int connects = 0;
    int disconnects = 0;
    int lastReason = -1;
    std::vector<Result> results;
    std::vector<MarketDepthRecord> quotes;
    LoginResultRecord login{};
    LogoutResultRecord logout{};
    InstrumentSpecRecord instrument{};

private:
    static Result MakeResult(const char* kind, bool hasRecord, ResponseInfoRecord* info, int id,
                             bool last)
    {
        Result result{kind, hasRecord, info != nullptr, ResponseInfoRecord{}, id, last};
        if (info)
            result.info = *info;
        return result;
    }

    template <class F>
    void Add(F f)
    {
        std::lock_guard<std::mutex> lock(mutex);
        f();
        changed.notify_all();
    }
};

#endif
