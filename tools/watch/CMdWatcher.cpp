#include "tools/watch/CMdWatcher.h"

#include <cerrno>
#include <cstring>
#include <sstream>

#include "tools/watch/CQuoteLineWriter.h"
#include "tools/watch/CQuoteSource.h"
#include "tools/watch/CQuoteTable.h"
#include "tools/watch/CWatchLog.h"

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

int CMdWatcher::Run(CWatchEventQueue& queue)
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
        std::optional<WatchEvent> event = queue.Pop(Tick);
        for (int handled = 1; event && !end; ++handled)
        {
            end = Handle(*event);
            event = !end && handled < EventsPerTurn ? queue.Pop(std::chrono::milliseconds(0)) : std::nullopt;
        }
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
    m_log.Text(m_stats.Summary(now));
    if (*end == End::Failed)
        return WatchExit::Failed;
    return m_stats.RefusedCount() > 0 ? WatchExit::PartlyRefused : WatchExit::Done;
}

std::optional<CMdWatcher::End> CMdWatcher::Handle(WatchEvent& event)
{
    m_source.React(event);
    const auto now = CWatchStats::Clock::now();
    switch (event.Type)
    {
    case WatchEvent::Kind::Connected:
        m_status.Connected(event.Detail, now);
        m_answered = 0;
        m_log.Event("connected to " + event.Detail);
        return std::nullopt;
    case WatchEvent::Kind::Disconnected:
        m_status.Lost(now);
        m_log.Event("disconnected; the library reconnects by itself");
        return std::nullopt;
    case WatchEvent::Kind::LoginResult:
        return OnLoginResult(event);
    case WatchEvent::Kind::SubscribeResult:
        return OnSubscribeResult(event);
    case WatchEvent::Kind::Quote:
        return OnQuote(event.Quote);
    case WatchEvent::Kind::Stop:
        m_log.Event("stopping");
        if (!m_everLoggedIn)
            return Fail("interrupted before the login");
        return End::Done;
    }
    return std::nullopt;
}

std::optional<CMdWatcher::End> CMdWatcher::OnLoginResult(const WatchEvent& event)
{
    const auto now = CWatchStats::Clock::now();
    if (event.RspNo != 0)
    {
        m_status.Refused(std::to_string(event.RspNo) + " " + event.Text, now);
        return Fail("login of '" + m_options.User + "' failed: " + std::to_string(event.RspNo) + " " + event.Text);
    }
    m_status.LoggedIn(m_options.User, now);
    m_log.Event("logged in as '" + m_options.User + "' (" + event.Detail + ")");
    if (m_writer && !m_everLoggedIn)
        m_writer->WriteHeader();
    m_everLoggedIn = true;
    return std::nullopt;
}

std::optional<CMdWatcher::End> CMdWatcher::OnSubscribeResult(const WatchEvent& event)
{
    m_stats.Answer(event.Detail, event.RspNo, event.Text);
    ++m_answered;
    if (event.RspNo == 0)
        m_log.Event("subscribed " + event.Detail);
    else
        m_log.Event("subscription of '" + event.Detail + "' refused: " + std::to_string(event.RspNo) + " " +
                    event.Text);
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
    const TableFrame frame{m_stats,
                           m_status.Line(now),
                           withEvents ? m_log.Recent() : NoEvents,
                           m_status.Connection(),
                           m_status.LoggedIn(),
                           now,
                           size.Width,
                           size.Height};
    m_out << CQuoteTable::Render(frame) << std::flush;
}
