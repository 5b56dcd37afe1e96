#include "CMdWatcher.h"

#include <cerrno>
#include <cstring>
#include <sstream>

#include <kelmmd/CMdSession.h>

#include "CQuoteLineWriter.h"
#include "CQuoteSource.h"
#include "CQuoteTable.h"
#include "CWatchLog.h"

namespace
{

constexpr std::chrono::milliseconds Tick(100);
// Events handled in a row before the table is redrawn and the lines flushed.
constexpr int EventsPerTurn = 1000;
constexpr const char* ClearScreen = "\x1b[2J";

std::string Seconds(double seconds)
{
    std::ostringstream text;
    text << seconds;
    return text.str();
}

// The server's answer as the watcher reports it: its code (-1 when it sent
// none) and its text.
std::string AnswerText(const kelmmd::SessionEvent& event)
{
    return std::to_string(event.HasInfo ? event.RspNo : -1) + " " + event.RspDesc;
}

}  // namespace

CMdWatcher::CMdWatcher(const WatchOptions& options, CQuoteSource& source, std::ostream& out, CWatchLog& log,
                       std::function<TerminalSize()> terminal)
    : m_options(options),
      m_source(source),
      m_out(out),
      m_log(log),
      m_terminal(std::move(terminal)),
      m_start(CWatchStats::Clock::now()),
      m_stats(options.Instruments, m_start),
      m_status(source.Name(), m_start)
{
}

CMdWatcher::~CMdWatcher() = default;

bool CMdWatcher::OpenRecording()
{
    if (m_options.RecordFile.empty())
        return true;
    m_recordFile.open(m_options.RecordFile, std::ios::out | std::ios::trunc);
    if (!m_recordFile)
    {
        m_log.Error("cannot write " + m_options.RecordFile + ": " + std::strerror(errno));
        return false;
    }
    m_recorder = std::make_unique<CQuoteLineWriter>(m_recordFile, CQuoteLineWriter::Style::Csv);
    m_recorder->WriteHeader();  // a recording of no quote still replays
    return true;
}

int CMdWatcher::Run(WatchEventQueue& queue, const std::atomic<bool>& stop)
{
    if (!OpenRecording())
    {
        m_log.Release();
        return WatchExit::BadArguments;
    }
    if (m_options.Format != WatchFormat::Table)
        m_writer = std::make_unique<CQuoteLineWriter>(
            m_out, m_options.Format == WatchFormat::Json ? CQuoteLineWriter::Style::Json : CQuoteLineWriter::Style::Csv);
    else
        m_out << ClearScreen;

    if (!m_source.Start(queue, m_log))
    {
        m_log.Release();
        return WatchExit::Failed;
    }
    std::optional<End> end;
    auto nextDraw = m_start;
    while (!end)
    {
        std::optional<WatchEvent> event = queue.Next(Tick);
        for (int handled = 1; event && !end; ++handled)
        {
            end = Handle(*event);
            event = !end && handled < EventsPerTurn ? queue.Next(std::chrono::milliseconds(0)) : std::nullopt;
        }
        if (!end && stop)
            end = OnStop();
        const auto now = CWatchStats::Clock::now();
        if (!end)
            end = CheckTime(now);
        // Piped lines go on as soon as no more events wait.
        if (m_writer)
            m_writer->Flush();
        if (m_options.Format == WatchFormat::Table && now >= nextDraw)
        {
            Draw(now);
            nextDraw = now + Tick;
        }
    }
    m_source.Stop();
    const auto now = CWatchStats::Clock::now();
    if (m_options.Format == WatchFormat::Table)
    {
        // The whole event log follows.
        Draw(now, false);
        m_out << "\n";
    }
    m_out.flush();
    if (m_recorder)
        m_recorder->Flush();
    m_log.Release();
    if (queue.Discarded() > 0)
        m_log.Error(std::to_string(queue.Discarded()) + " events discarded: the watcher fell behind");
    m_log.Text(m_stats.Summary(now));
    if (*end == End::Failed)
        return WatchExit::Failed;
    return m_stats.RefusedCount() > 0 ? WatchExit::PartlyRefused : WatchExit::Done;
}

std::optional<CMdWatcher::End> CMdWatcher::Handle(WatchEvent& event)
{
    m_source.React(event);
    if (event.Type == WatchEvent::Kind::Quote)
        return OnQuote(event.Quote);
    return OnSessionEvent(event);
}

std::optional<CMdWatcher::End> CMdWatcher::OnSessionEvent(const WatchEvent& event)
{
    const auto now = CWatchStats::Clock::now();
    switch (event.Session.Type)
    {
    case kelmmd::SessionEvent::Kind::Connected:
        m_status.Connected(event.Detail, now);
        m_answered = 0;
        m_log.Event("connected to " + event.Detail);
        return std::nullopt;
    case kelmmd::SessionEvent::Kind::Disconnected:
        m_status.Lost(now);
        m_log.Event("disconnected; the library reconnects by itself");
        return std::nullopt;
    case kelmmd::SessionEvent::Kind::Login:
        return OnLoginResult(event);
    case kelmmd::SessionEvent::Kind::Subscribe:
        return OnSubscribeResult(event.Session);
    default:
        return std::nullopt;
    }
}

std::optional<CMdWatcher::End> CMdWatcher::OnStop()
{
    m_log.Event("stopping");
    if (!m_everLoggedIn)
        return Fail("interrupted before the login");
    return End::Done;
}

std::optional<CMdWatcher::End> CMdWatcher::OnLoginResult(const WatchEvent& event)
{
    const auto now = CWatchStats::Clock::now();
    if (!event.Session.Succeeded())
    {
        m_status.Refused(AnswerText(event.Session), now);
        return Fail("login of '" + m_options.User + "' failed: " + AnswerText(event.Session));
    }
    m_status.LoggedIn(m_options.User, now);
    m_log.Event("logged in as '" + m_options.User + "' (" + event.Detail + ")");
    if (m_writer && !m_everLoggedIn)
        m_writer->WriteHeader();
    m_everLoggedIn = true;
    return std::nullopt;
}

std::optional<CMdWatcher::End> CMdWatcher::OnSubscribeResult(const kelmmd::SessionEvent& event)
{
    const int rspNo = event.HasInfo ? event.RspNo : -1;
    m_stats.Answer(event.Instrument, rspNo, event.RspDesc);
    ++m_answered;
    if (rspNo == 0)
        m_log.Event("subscribed " + event.Instrument);
    else
        m_log.Event("subscription of '" + event.Instrument + "' refused: " + AnswerText(event));
    if (m_answered >= m_options.Instruments.size() && m_stats.RefusedCount() >= m_options.Instruments.size())
        return Fail("no instrument could be subscribed");
    return std::nullopt;
}

std::optional<CMdWatcher::End> CMdWatcher::OnQuote(const MarketDepthRecord& quote)
{
    m_stats.Add(quote, m_status.Connection());
    if (m_writer)
        m_writer->Write(quote);
    if (m_recorder)
        m_recorder->Write(quote);
    if (m_options.Count > 0 && m_stats.Total() >= m_options.Count)
        return End::Done;
    return std::nullopt;
}

std::optional<CMdWatcher::End> CMdWatcher::CheckTime(CWatchStats::Clock::time_point now) const
{
    const double elapsed = std::chrono::duration<double>(now - m_start).count();
    if (!m_everLoggedIn && m_options.ConnectTimeout > 0 && elapsed >= m_options.ConnectTimeout)
    {
        const std::string what = m_status.Current() == CConnectionStatus::State::Connecting ? "no connection to "
                                                                                             : "no login on ";
        m_log.Error(what + m_source.Name() + " within " + Seconds(m_options.ConnectTimeout) +
                    " s (--connect-timeout)");
        return End::Failed;
    }
    if (m_options.Duration > 0 && elapsed >= m_options.Duration)
        return End::Done;
    return std::nullopt;
}

std::optional<CMdWatcher::End> CMdWatcher::Fail(const std::string& reason)
{
    m_log.Error(reason);
    return End::Failed;
}

void CMdWatcher::Draw(CWatchStats::Clock::time_point now, bool withEvents)
{
    const TerminalSize size = m_terminal ? m_terminal() : TerminalSize{};
    static const std::deque<std::string> NoEvents;
    std::string status = m_status.Line(now);
    // The library's own figures while there is a link to speak of.
    const CConnectionStatus::State state = m_status.Current();
    if (m_source.Session() && state != CConnectionStatus::State::Connecting && state != CConnectionStatus::State::Refused)
        status += m_linkFigures.Text(m_source.Session()->LinkStats(), now);
    const TableFrame frame{m_stats,
                           status,
                           withEvents ? m_log.Recent() : NoEvents,
                           m_status.Connection(),
                           m_status.LoggedIn(),
                           now,
                           size.Width,
                           size.Height};
    m_out << CQuoteTable::Render(frame) << std::flush;
}
