// Asks a quote server for history through the raw interfaces (CKelmRivoMdApi
// and CKelmRivoMdExtension, no session layer) and writes the records as the
// library delivered them, byte for byte, to standard output: the reference
// the Python client's arrays are compared with.
//
//   kelmmd_history_dump HOST:PORT USER PASSWORD minute|day|trades CODE FROM [TO]
//
// Exit status: 0 the whole answer came, 1 no connection, login or answer,
// or a refusal, 2 bad arguments.
#include <KelmRivoMdExtension.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace
{

class Collector : public CKelmRivoMdCallback, public CKelmRivoMdExtensionCallback
{
public:
    void NotifyConnected() override { Set(m_connected); }
    void NotifyLoginResult(LoginResultRecord*, ResponseInfoRecord* info, int, bool) override
    {
        Set(m_loginAnswered, info && info->RspNo == 0);
    }
    void NotifyMinuteBar(const MinuteBarRecord* bar, const ResponseInfoRecord* info, int, bool last) override
    {
        Add(bar, info, last);
    }
    void NotifyDayBar(const DayBarRecord* bar, const ResponseInfoRecord* info, int, bool last) override
    {
        Add(bar, info, last);
    }
    void NotifyTradeTick(const TradeTickRecord* trade, const ResponseInfoRecord* info, int, bool last) override
    {
        Add(trade, info, last);
    }

    bool Wait(const bool& flag)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), [&] { return flag; });
    }

    bool m_connected = false;
    bool m_loginAnswered = false;
    bool m_loggedIn = false;
    bool m_ended = false;
    bool m_refused = false;
    std::vector<char> m_bytes;

private:
    void Set(bool& flag, bool loggedIn = false)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        flag = true;
        m_loggedIn = m_loggedIn || loggedIn;
        m_changed.notify_all();
    }

    template <class Record>
    void Add(const Record* record, const ResponseInfoRecord* info, bool last)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (record)
            m_bytes.insert(m_bytes.end(), reinterpret_cast<const char*>(record),
                           reinterpret_cast<const char*>(record + 1));
        m_refused = m_refused || (info && info->RspNo != 0);
        m_ended = last;
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
};

template <std::size_t N>
void Copy(char (&field)[N], const char* text)
{
    std::strncpy(field, text, N - 1);
}

int Query(CKelmRivoMdExtension& history, const std::string& kind, const char* code, const char* from,
          const char* to)
{
    if (kind == "minute")
    {
        MinuteBarQueryRecord query{};
        Copy(query.InstrumentID, code);
        Copy(query.DateTimeFrom, from);
        Copy(query.DateTimeTo, to);
        return history.QueryMinuteBars(&query, 7);
    }
    if (kind == "day")
    {
        DayBarQueryRecord query{};
        Copy(query.InstrumentID, code);
        Copy(query.DateFrom, from);
        Copy(query.DateTo, to);
        return history.QueryDayBars(&query, 7);
    }
    TradeQueryRecord query{};
    Copy(query.InstrumentID, code);
    Copy(query.TradeDate, from);
    return history.QueryTrades(&query, 7);
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string kind = argc > 4 ? argv[4] : "";
    if (argc < 7 || (kind != "minute" && kind != "day" && kind != "trades"))
    {
        std::fprintf(stderr, "usage: %s HOST:PORT USER PASSWORD minute|day|trades CODE FROM [TO]\n", argv[0]);
        return 2;
    }
    Collector collector;
    CKelmRivoMdApi* api = CKelmRivoMdApi::CreateRivoMdApi();
    CKelmRivoMdExtension* history = CKelmRivoMdExtension::FromApi(api);
    api->SetCallbackObject(&collector);
    history->SetCallbackObject(&collector);
    api->AddServerUrl((std::string("tcp://") + argv[1]).c_str());
    api->Launch();
    LoginRequestRecord login{};
    Copy(login.UserCode, argv[2]);
    Copy(login.Password, argv[3]);
    const bool answered = collector.Wait(collector.m_connected) && api->SubmitLogin(&login, 1) == 0 &&
                          collector.Wait(collector.m_loginAnswered) && collector.m_loggedIn &&
                          Query(*history, kind, argv[5], argv[6], argc > 7 ? argv[7] : "") == 0 &&
                          collector.Wait(collector.m_ended);
    api->Dispose();  // nothing is delivered after this
    if (!answered || collector.m_refused)
        return 1;
    std::fwrite(collector.m_bytes.data(), 1, collector.m_bytes.size(), stdout);
    return 0;
}
