#include "CHistoryRun.h"

#include <cstdio>
#include <sstream>

#include "CHistoryCommandLine.h"
#include "CMdWatcher.h"
#include "CQuoteSource.h"
#include "CWatchLog.h"

namespace
{

constexpr std::chrono::milliseconds Slice(100);

std::string Seconds(double seconds)
{
    std::ostringstream text;
    text << seconds;
    return text.str();
}

}  // namespace

CHistoryRun::CHistoryRun(const WatchOptions& options, CQuoteSource& source, std::ostream& out, CWatchLog& log)
    : m_options(options), m_source(source), m_log(log), m_printer(out, options.Format, options.History)
{
}

int CHistoryRun::Run(WatchEventQueue& queue, const std::atomic<bool>& stop)
{
    if (!m_source.Start(queue, m_log))
        return WatchExit::Failed;
    kelmmd::CMdSession& session = *m_source.Session();
    if (!LogIn(session, queue, stop))
    {
        m_source.Stop();
        return WatchExit::Failed;
    }
    m_printer.WriteHeader();
    const std::string& from = m_options.From;
    const std::string& to = m_options.To;
    switch (m_options.History)
    {
    case HistoryKind::Minute:
        Fetch<MinuteBarRecord>(
            [&](const std::string& code) {
                return session.SubmitMinuteBars(kelmmd::MinuteBarQuery(code, from, to, m_options.Service));
            },
            stop);
        break;
    case HistoryKind::Day:
        Fetch<DayBarRecord>(
            [&](const std::string& code) { return session.SubmitDayBars(kelmmd::DayBarQuery(code, from, to)); },
            stop);
        break;
    case HistoryKind::Trades:
        Fetch<TradeTickRecord>(
            [&](const std::string& code) { return session.SubmitTrades(kelmmd::TradeQuery(code, from)); }, stop);
        break;
    case HistoryKind::None:
        break;
    }
    m_printer.Flush();
    m_source.Stop();
    LogEvents(queue);
    m_log.Text(Summary());
    std::size_t answered = 0;
    for (const Outcome& outcome : m_outcomes)
        answered += outcome.Failure.empty() ? 1 : 0;
    if (answered == 0)
        return WatchExit::Failed;
    return answered < m_outcomes.size() ? WatchExit::PartlyRefused : WatchExit::Done;
}

bool CHistoryRun::LogIn(kelmmd::CMdSession& session, WatchEventQueue& queue, const std::atomic<bool>& stop)
{
    const Clock::time_point deadline = Deadline();
    while (!session.WaitConnected(Slice))
    {
        LogEvents(queue);
        if (stop)
        {
            m_log.Error("interrupted before the login");
            return false;
        }
        if (Clock::now() >= deadline)
        {
            m_log.Error("no connection to " + m_source.Name() + " within " + Seconds(m_options.ConnectTimeout) +
                        " s (--connect-timeout)");
            return false;
        }
    }
    LogEvents(queue);
    try
    {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        const LoginResultRecord login =
            session.Login({m_options.User, m_options.Password, m_options.Broker}, std::max(left, Slice));
        m_log.Event("logged in as '" + m_options.User + "' (trading day " + login.TradeDate + ", system '" +
                    login.SysName + "')");
        return true;
    }
    catch (const kelmmd::CSessionError& error)
    {
        if (error.Type() == kelmmd::CSessionError::Kind::Refused)
            m_log.Error("login of '" + m_options.User + "' failed: " + std::to_string(error.RspNo()) + " " +
                        error.RspDesc());
        else
            m_log.Error("no login on " + m_source.Name() + ": " + error.what());
        return false;
    }
}

// Connections and losses, as the live watcher reports them.
void CHistoryRun::LogEvents(WatchEventQueue& queue)
{
    while (std::optional<WatchEvent> event = queue.Next(std::chrono::milliseconds(0)))
    {
        m_source.React(*event);
        if (event->Session.Type == kelmmd::SessionEvent::Kind::Connected)
            m_log.Event("connected to " + event->Detail);
        else if (event->Session.Type == kelmmd::SessionEvent::Kind::Disconnected)
            m_log.Event("disconnected; the library reconnects by itself");
    }
}

// Every query goes at once; the answers are printed in the order of the
// instruments.
template <class Record, class Submit>
void CHistoryRun::Fetch(Submit submit, const std::atomic<bool>& stop)
{
    std::vector<std::shared_ptr<kelmmd::CHistoryAnswer<Record>>> answers;
    for (const std::string& code : m_options.Instruments)
    {
        m_outcomes.push_back({code, 0, ""});
        try
        {
            answers.push_back(submit(code));
        }
        catch (const kelmmd::CSessionError& error)
        {
            answers.push_back(nullptr);
            Failed(m_outcomes.back(), std::string("not asked: ") + error.what());
        }
    }
    for (std::size_t i = 0; i < answers.size(); ++i)
        if (answers[i] && !Print(*answers[i], m_outcomes[i], stop))
            break;
}

// Prints the records of one answer as they come; false when a stop ended
// the wait.
template <class Record>
bool CHistoryRun::Print(kelmmd::CHistoryAnswer<Record>& answer, Outcome& outcome, const std::atomic<bool>& stop)
{
    const Clock::time_point deadline = Deadline();
    Record record;
    for (;;)
    {
        if (answer.Next(record, Slice))
        {
            m_printer.Write(record);
            ++outcome.Records;
            continue;
        }
        if (answer.Ended())
            break;
        if (stop || Clock::now() >= deadline)
        {
            m_printer.Flush();
            Failed(outcome, stop ? "interrupted" : "not answered within " + Seconds(m_options.ConnectTimeout) +
                                                       " s (--connect-timeout)");
            return !stop;
        }
    }
    try
    {
        answer.Get(std::chrono::milliseconds(0));
    }
    catch (const kelmmd::CSessionError& error)
    {
        Failed(outcome, error.Type() == kelmmd::CSessionError::Kind::Refused
                            ? "refused: " + std::to_string(error.RspNo()) + " " + error.RspDesc()
                            : std::string("not answered: ") + error.what());
    }
    return true;
}

void CHistoryRun::Failed(Outcome& outcome, const std::string& why)
{
    outcome.Failure = why;
    m_log.Error(CHistoryCommandLine::RecordsName(m_options.History) + std::string(" of '") + outcome.Code + "' " + why);
}

CHistoryRun::Clock::time_point CHistoryRun::Deadline() const
{
    if (m_options.ConnectTimeout <= 0)
        return Clock::time_point::max();
    return Clock::now() +
           std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(m_options.ConnectTimeout));
}

std::string CHistoryRun::Summary() const
{
    std::size_t total = 0;
    for (const Outcome& outcome : m_outcomes)
        total += outcome.Records;
    const char* name = CHistoryCommandLine::RecordsName(m_options.History);
    std::string text = "summary: " + std::to_string(total) + " " + name + "\n";
    char line[300];
    for (const Outcome& outcome : m_outcomes)
    {
        if (outcome.Failure.empty())
            std::snprintf(line, sizeof line, "  %-16s %8zu %s\n", outcome.Code.c_str(), outcome.Records, name);
        else
            std::snprintf(line, sizeof line, "  %-16s %s\n", outcome.Code.c_str(), outcome.Failure.c_str());
        text += line;
    }
    return text;
}
