// A quote server in the test process on a real loopback socket, on the
// protocol server library: it logs in the user demo with the password
// secret, subscribes au2406 and ag2406 and refuses other codes (2), sends
// every connection a quote of each code it subscribed every 20 ms, and
// counts the logins and subscriptions it received. Kill closes it with its
// connections; Start again takes a new server, on the same port if asked.
//
// History, as kelm-quote-sim answers it for a weekday before its trading
// day: a trade every 15 seconds from 09:00 to 15:00 (1440), and the minute
// bars of those trades within the range asked for; no day bars.
#ifndef KELM_TESTS_SESSION_CLOOPBACKQUOTESERVER_H
#define KELM_TESTS_SESSION_CLOOPBACKQUOTESERVER_H

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "quote/QuotRecord.h"
#include "sim/CSimEncoder.h"
#include "sim/CSimServer.h"
#include "sim/SimService.h"

class CLoopbackQuoteServer
{
public:
    struct Behaviour
    {
        bool AnswerLogins = true;
        bool PushQuotes = true;  // every 20 ms to every subscription
        bool AnswerHistory = true;
        // Holds each odd history answer back until the next query's answer
        // has gone, so that answers overtake each other.
        bool SwapHistoryAnswers = false;
    };

    CLoopbackQuoteServer() : CLoopbackQuoteServer(Behaviour()) {}
    explicit CLoopbackQuoteServer(Behaviour behaviour) : m_behaviour(behaviour) {}
    ~CLoopbackQuoteServer() { Kill(); }
    CLoopbackQuoteServer(const CLoopbackQuoteServer&) = delete;
    CLoopbackQuoteServer& operator=(const CLoopbackQuoteServer&) = delete;

    // Listens on 127.0.0.1:port (0: a free port); throws when it cannot.
    void Start(uint16_t port = 0)
    {
        Kill();
        m_server = std::make_unique<CSimServer>();
        m_server->SetRequestHandler(
            [this](const std::shared_ptr<CSimSession>& session, const SimRequest& request) { Answer(session, request); });
        m_server->SetSessionOpenedHandler([this](const std::shared_ptr<CSimSession>& session) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lastConnection = session;
        });
        m_server->Start("127.0.0.1", port);
        m_port = m_server->Port();
        m_pushing = true;
        m_pusher = std::thread([this] { Push(); });
    }

    // Closes the listener and every connection.
    void Kill()
    {
        m_pushing = false;
        if (m_pusher.joinable())
            m_pusher.join();
        if (m_server)
            m_server->Stop();
        {
            // A connection lives on the server's I/O objects: it goes first.
            std::lock_guard<std::mutex> lock(m_mutex);
            m_subscribed.clear();
            m_lastConnection.reset();
        }
        m_server.reset();
    }

    uint16_t Port() const { return m_port; }
    std::string Address() const { return "tcp://127.0.0.1:" + std::to_string(m_port); }
    CSimServer& Server() { return *m_server; }
    // The connection accepted last (null before one); use it on the server's
    // I/O thread (CSimServer::Call).
    std::shared_ptr<CSimSession> LastConnection()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_lastConnection;
    }

    // Requests received since the last Start.
    int Logins() { return Count(SimService::Login, ""); }
    int Subscriptions(const std::string& code) { return Count(SimService::Subscribe, code); }

    static SimFrame QuoteFrame(const std::string& code, double price)
    {
        QuotRecord quote;
        std::memset(&quote, 0, sizeof quote);
        std::strncpy(quote.InstrumentID, code.c_str(), sizeof quote.InstrumentID - 1);
        std::strcpy(quote.TradeDate, "2024-03-05");
        std::strcpy(quote.ModifyDate, "2024-03-05");
        std::strcpy(quote.ModifyTime, "10:15:02");
        std::strcpy(quote.ExchangeID, "SIMX");
        quote.Price = price;
        quote.BidPrice = price - 1;
        quote.AskPrice = price + 1;
        return CSimEncoder::Quote(quote);
    }

private:
    static RspInfo Info(uint16_t code, const std::string& text)
    {
        RspInfo info{};
        info.RspNo = code;
        std::strncpy(info.RspDesc, text.c_str(), sizeof info.RspDesc - 1);
        return info;
    }

    // On the server's I/O thread.
    void Answer(const std::shared_ptr<CSimSession>& session, const SimRequest& request)
    {
        if (request.ServiceNo == SimService::Login && m_behaviour.AnswerLogins)
        {
            const LoginReq& login = std::get<LoginReq>(request.Record);
            const bool ok = std::string(login.InvestorID) == "demo" && std::string(login.InvestorPassword) == "secret";
            const RspInfo info = ok ? Info(0, "Login successful") : Info(1, "Invalid user code or password");
            LoginRsp rsp{};
            std::strcpy(rsp.InvestorID, login.InvestorID);
            std::strcpy(rsp.TradeDate, "2024-03-05");
            std::strcpy(rsp.SysName, "loopback");
            session->Send(CSimEncoder::LoginAnswer(request.RequestID, &info, &rsp));
        }
        else if (request.ServiceNo == SimService::Subscribe || request.ServiceNo == SimService::Unsubscribe)
        {
            const bool subscribe = request.ServiceNo == SimService::Subscribe;
            const std::string code = subscribe ? std::get<QuotSubscribeReq>(request.Record).InstrumentID
                                               : std::get<QuotUnSubscribeReq>(request.Record).InstrumentID;
            const bool known = code == "au2406" || code == "ag2406";
            const RspInfo info = known ? Info(0, subscribe ? "Subscribed" : "Unsubscribed")
                                       : Info(2, "Unknown instrument: " + code);
            if (subscribe)
            {
                QuotSubscribeRsp rsp{};
                std::strcpy(rsp.InstrumentID, code.c_str());
                session->Send(CSimEncoder::SubscribeAnswer(request.RequestID, &info, &rsp));
            }
            else
            {
                QuotUnSubscribeRsp rsp{};
                std::strcpy(rsp.InstrumentID, code.c_str());
                session->Send(CSimEncoder::UnsubscribeAnswer(request.RequestID, &info, &rsp));
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            if (known && subscribe)
                m_subscribed[session->Id()].insert(code);
            else if (known)
                m_subscribed[session->Id()].erase(code);
        }
        else if (m_behaviour.AnswerHistory)
            AnswerHistory(session, request);
    }

    void AnswerHistory(const std::shared_ptr<CSimSession>& session, const SimRequest& request)
    {
        std::vector<SimFrame> frames;
        const auto info = [](const std::string& code) {
            return code == "au2406" || code == "ag2406" ? Info(0, "OK") : Info(2, "Unknown instrument: " + code);
        };
        if (const auto* query = std::get_if<MinDataQueryReq>(&request.Record))
        {
            const RspInfo rsp = info(query->InstrumentID);
            frames = CSimEncoder::MinDataAnswer(static_cast<uint16_t>(request.ServiceNo + 1), request.RequestID, &rsp,
                                                rsp.RspNo ? std::vector<MinData>() : Minutes(*query));
        }
        else if (const auto* query = std::get_if<DayDataQueryReq>(&request.Record))
        {
            const RspInfo rsp = info(query->InstrumentID);
            frames = CSimEncoder::DayDataAnswer(request.RequestID, &rsp, {});
        }
        else if (const auto* query = std::get_if<TradeDetailDataQueryReq>(&request.Record))
        {
            const RspInfo rsp = info(query->InstrumentID);
            frames = CSimEncoder::TradeDetailAnswer(request.RequestID, &rsp,
                                                    rsp.RspNo ? std::vector<TradeDetailRecord>()
                                                              : Trades(query->InstrumentID, query->TradeDate));
        }
        if (m_behaviour.SwapHistoryAnswers && m_heldAnswer.empty())
        {
            m_heldAnswer = std::move(frames);
            return;
        }
        frames.insert(frames.end(), m_heldAnswer.begin(), m_heldAnswer.end());
        m_heldAnswer.clear();
        for (SimFrame& frame : frames)
            session->Send(std::move(frame));
    }

    static std::vector<TradeDetailRecord> Trades(const std::string& code, const std::string& date)
    {
        std::vector<TradeDetailRecord> trades(1440);
        for (int i = 0; i < 1440; ++i)
        {
            TradeDetailRecord& trade = trades[i];
            std::memset(&trade, 0, sizeof trade);
            const int second = 9 * 3600 + 15 * i;
            std::snprintf(trade.MatchID, sizeof trade.MatchID, "%s-%s-%d", code.c_str(), date.c_str(), i + 1);
            std::strncpy(trade.InstrumentID, code.c_str(), sizeof trade.InstrumentID - 1);
            std::strncpy(trade.Date, date.c_str(), sizeof trade.Date - 1);
            std::snprintf(trade.Time, sizeof trade.Time, "%02d:%02d:%02d", second / 3600, second / 60 % 60, second % 60);
            trade.Qty = 1 + i % 5;
            trade.Price = 4000 + (i * 7 % 23) - 11;
            trade.BSFlag[0] = i % 2 ? 'S' : 'B';
        }
        return trades;
    }

    // The bars of the minutes from DateTimeFrom to DateTimeTo of the day of
    // DateTimeFrom ("YYYY-MM-DD HH:MM[:SS]").
    static std::vector<MinData> Minutes(const MinDataQueryReq& query)
    {
        const std::string from = query.DateTimeFrom;
        const std::string to = query.DateTimeTo;
        const auto minuteOf = [](const std::string& text) {
            return text.size() >= 16 ? std::stoi(text.substr(11, 2)) * 60 + std::stoi(text.substr(14, 2)) : -1;
        };
        const std::string date = from.substr(0, 10);
        const int first = minuteOf(from);
        const int last = to.compare(0, 10, date) == 0 ? minuteOf(to) : 24 * 60;
        std::vector<MinData> bars;
        for (const TradeDetailRecord& trade : Trades(query.InstrumentID, date))
        {
            const int minute = std::stoi(std::string(trade.Time, 2)) * 60 + std::stoi(std::string(trade.Time + 3, 2));
            if (minute < first || minute > last)
                continue;
            char time[20];
            std::snprintf(time, sizeof time, "%s %02d:%02d:00", date.c_str(), minute / 60, minute % 60);
            if (bars.empty() || std::strcmp(bars.back().DateTime, time) != 0)
            {
                bars.emplace_back();
                MinData& bar = bars.back();
                std::memset(&bar, 0, sizeof bar);
                std::strncpy(bar.InstrumentID, trade.InstrumentID, sizeof bar.InstrumentID - 1);
                std::strcpy(bar.DateTime, time);
                std::strcpy(bar.ExchangeID, "SIMX");
                bar.OpenPrice = bar.HighestPrice = bar.LowestPrice = trade.Price;
            }
            MinData& bar = bars.back();
            bar.HighestPrice = std::max(bar.HighestPrice, trade.Price);
            bar.LowestPrice = std::min(bar.LowestPrice, trade.Price);
            bar.ClosePrice = trade.Price;
            bar.QtyTotal += static_cast<uint64_t>(trade.Qty);
            bar.Amount += trade.Qty * trade.Price;
        }
        return bars;
    }

    void Push()
    {
        double price = 4000;
        while (m_pushing)
        {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            if (!m_behaviour.PushQuotes)
                continue;
            std::map<uint64_t, std::set<std::string>> subscribed;
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                subscribed = m_subscribed;
            }
            price += 1;
            for (const auto& [session, codes] : subscribed)
                for (const std::string& code : codes)
                    m_server->SendTo(session, QuoteFrame(code, price));
        }
    }

    int Count(uint16_t service, const std::string& code)
    {
        int count = 0;
        for (const SimRequest& request : m_server->Requests())
        {
            if (request.ServiceNo != service)
                continue;
            if (service == SimService::Subscribe && std::get<QuotSubscribeReq>(request.Record).InstrumentID != code)
                continue;
            ++count;
        }
        return count;
    }

    const Behaviour m_behaviour;
    std::unique_ptr<CSimServer> m_server;
    uint16_t m_port = 0;
    std::atomic<bool> m_pushing{false};
    std::thread m_pusher;
    std::mutex m_mutex;
    std::map<uint64_t, std::set<std::string>> m_subscribed;
    std::shared_ptr<CSimSession> m_lastConnection;
    std::vector<SimFrame> m_heldAnswer;  // the server's I/O thread only
};

#endif
