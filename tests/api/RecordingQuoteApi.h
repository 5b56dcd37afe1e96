// A CTarnQuotApi that records every call made on it, for observing how the
// exported API object translates the application's requests. It stands for
// our own internal interface, not for the network.
#ifndef KELM_TESTS_API_RECORDINGQUOTEAPI_H
#define KELM_TESTS_API_RECORDINGQUOTEAPI_H

#include "quote/CTarnQuotApi.h"

#include <string>
#include <vector>

struct QuoteApiLog
{
    struct Request
    {
        std::string operation;
        std::string investor;
        std::string instrument;   // or password for logins
        int requestId;
        std::vector<char> raw;    // the whole record as passed
    };
    std::vector<Request> requests;
    std::vector<std::string> addresses;
    CTarnQuotSpi* callback = nullptr;
    int starts = 0;
    bool destroyed = false;
    int result = -1;              // what request operations answer
};

class RecordingQuoteApi : public CTarnQuotApi
{
public:
    explicit RecordingQuoteApi(QuoteApiLog& log) : m_log(log) {}

    void Destroy() override
    {
        m_log.destroyed = true;
        delete this;
    }
    void SetCallback(CTarnQuotSpi* callback) override { m_log.callback = callback; }
    int Start() override { return ++m_log.starts, 0; }
    int Stop() override { return 0; }
    int AddServerAddress(const char* address) override
    {
        m_log.addresses.emplace_back(address);
        return 0;
    }
    const char* GetErrorText(int) override { return ""; }
    int Login(const LoginReq* r, int id) override
    {
        return Log("Login", r, r->InvestorID, r->InvestorPassword, id);
    }
    int Logout(const LogoutReq* r, int id) override { return Log("Logout", r, r->InvestorID, "", id); }
    int Subscribe(const QuotSubscribeReq* r, int id) override
    {
        return Log("Subscribe", r, r->InvestorID, r->InstrumentID, id);
    }
    int Unsubscribe(const QuotUnSubscribeReq* r, int id) override
    {
        return Log("Unsubscribe", r, r->InvestorID, r->InstrumentID, id);
    }
    int QueryMinData150(const MinDataQueryReq*, int) override { return m_log.result; }
    int QueryDayData(const DayDataQueryReq*, int) override { return m_log.result; }
    int QueryMinData192(const MinDataQueryReq*, int) override { return m_log.result; }
    int QueryMinData194(const MinDataQueryReq*, int) override { return m_log.result; }
    int QueryTradeDetail(const TradeDetailDataQueryReq*, int) override { return m_log.result; }

private:
    template <class Record>
    int Log(const char* operation, const Record* record, const char* investor,
               const char* second, int requestId)
    {
        const char* bytes = reinterpret_cast<const char*>(record);
        m_log.requests.push_back(QuoteApiLog::Request{operation, investor, second, requestId,
                                                      std::vector<char>(bytes, bytes + sizeof *record)});
        return m_log.result;
    }

    QuoteApiLog& m_log;
};

#endif
