#include "sim/CSimSession.h"

#include <boost/asio/post.hpp>
#include <boost/asio/write.hpp>

#include "sim/CSimEncoder.h"

namespace
{
// Flood refills stop at this many queued bytes, so a blocked client does not
// make the server's memory grow.
constexpr std::size_t FloodQueueBytes = 256 * 1024;
}  // namespace

CSimSession::CSimSession(boost::asio::ip::tcp::socket socket, uint64_t id, const SimSessionSettings& settings,
                         FrameHandler onFrame, CloseHandler onClose)
    : m_socket(std::move(socket)),
      m_id(id),
      m_settings(settings),
      m_onFrame(std::move(onFrame)),
      m_onClose(std::move(onClose)),
      m_heartbeatTimer(m_socket.get_executor()),
      m_silenceTimer(m_socket.get_executor()),
      m_lastSend(std::chrono::steady_clock::now()),
      m_lastReceive(m_lastSend)
{
    boost::system::error_code ignored;
    m_socket.set_option(boost::asio::ip::tcp::no_delay(true), ignored);
}

void CSimSession::Start()
{
    Read();
    ArmHeartbeat();
    ArmSilence();
}

void CSimSession::Send(SimFrame bytes)
{
    if (m_closed || !m_closeReasonPending.empty() || bytes.empty())
        return;
    if (m_settings.MaxQueueBytes > 0 && m_queuedBytes + bytes.size() > 2 * m_settings.MaxQueueBytes)
    {
        // Closed from a handler of its own: the caller may still be using
        // the session's client state, which the close handler removes.
        m_closeReasonPending = "too far behind: " + std::to_string(m_queuedBytes) + " bytes waiting to be written";
        m_floodFrame.clear();
        auto self = shared_from_this();
        boost::asio::post(m_socket.get_executor(), [self] { self->Shut(self->m_closeReasonPending, false); });
        return;
    }
    ++m_framesQueued;
    Queue(std::move(bytes));
    WriteNext();
}

bool CSimSession::Offer(SimFrame bytes)
{
    if (m_closed || !m_closeReasonPending.empty() || bytes.empty())
        return false;
    // Once full, the queue must drain to half before quotes are taken
    // again, so that a slow client gets runs of quotes rather than one
    // every write.
    if (m_settings.MaxQueueBytes > 0)
    {
        if (m_queuedBytes >= m_settings.MaxQueueBytes)
            m_dropping = true;
        else if (m_queuedBytes < m_settings.MaxQueueBytes / 2)
            m_dropping = false;
    }
    if (m_dropping)
    {
        ++m_droppedFrames;
        return false;
    }
    Send(std::move(bytes));
    return true;
}

void CSimSession::Queue(SimFrame bytes)
{
    m_queuedBytes += bytes.size();
    m_writeQueue.push_back(std::move(bytes));
}

void CSimSession::StartFlood(SimFrame frame)
{
    if (m_closed || frame.empty())
        return;
    m_floodFrame = std::move(frame);
    RefillFlood();
    WriteNext();
}

void CSimSession::StopFlood()
{
    m_floodFrame.clear();
}

void CSimSession::Close(const std::string& reason)
{
    m_floodFrame.clear();
    if (m_writing)
        m_closeReasonPending = reason.empty() ? "closed by server" : reason;
    else
        Shut(reason, false);
}

void CSimSession::Abort(const std::string& reason)
{
    Shut(reason, false);
}

void CSimSession::Reset()
{
    Shut("reset by server", true);
}

void CSimSession::Read()
{
    auto self = shared_from_this();
    m_socket.async_read_some(boost::asio::buffer(m_readBuffer),
                             [self](const boost::system::error_code& error, std::size_t length) {
                                 self->OnRead(error, length);
                             });
}

void CSimSession::OnRead(const boost::system::error_code& error, std::size_t length)
{
    if (m_closed)
        return;
    if (error)
    {
        Shut(error == boost::asio::error::eof ? "closed by client" : error.message(), false);
        return;
    }
    m_lastReceive = std::chrono::steady_clock::now();
    auto self = shared_from_this();
    const bool ok = m_assembler.Feed(m_readBuffer.data(), length, [this, &self](const uint8_t* frame, uint32_t n) {
        if (m_settings.KeepReceivedFrames)
            m_receivedFrames.emplace_back(frame, frame + n);
        // A handler may close the session; the rest of the chunk is then
        // of no use.
        if (!m_closed)
            m_onFrame(self, frame, n);
    });
    if (!ok)
    {
        Shut("package too large", false);
        return;
    }
    if (!m_closed)
        Read();
}

void CSimSession::WriteNext()
{
    if (m_writing || m_closed || m_writeQueue.empty())
        return;
    m_writing = true;
    auto self = shared_from_this();
    boost::asio::async_write(m_socket, boost::asio::buffer(m_writeQueue.front()),
                             [self](const boost::system::error_code& error, std::size_t length) {
                                 self->OnWrite(error, length);
                             });
}

void CSimSession::OnWrite(const boost::system::error_code& error, std::size_t length)
{
    m_writing = false;
    if (m_closed)
        return;
    if (error)
    {
        Shut(error.message(), false);
        return;
    }
    m_bytesSent += length;
    m_lastSend = std::chrono::steady_clock::now();
    m_queuedBytes -= m_writeQueue.front().size();
    m_writeQueue.pop_front();
    if (m_writeQueue.empty() && !m_closeReasonPending.empty())
    {
        Shut(m_closeReasonPending, false);
        return;
    }
    if (m_writeQueue.empty())
        RefillFlood();
    WriteNext();
}

void CSimSession::RefillFlood()
{
    if (m_floodFrame.empty())
        return;
    // One large block of back-to-back copies per write keeps the socket busy
    // without a completion per frame.
    SimFrame block;
    block.reserve(FloodQueueBytes);
    while (block.size() + m_floodFrame.size() <= FloodQueueBytes)
    {
        block.insert(block.end(), m_floodFrame.begin(), m_floodFrame.end());
        ++m_framesQueued;
    }
    Queue(std::move(block));
}

void CSimSession::ArmHeartbeat()
{
    if (m_settings.HeartbeatIdle.count() <= 0 || m_closed)
        return;
    m_heartbeatTimer.expires_at(m_lastSend + m_settings.HeartbeatIdle);
    auto self = shared_from_this();
    m_heartbeatTimer.async_wait([self](const boost::system::error_code& error) { self->OnHeartbeatTimer(error); });
}

void CSimSession::OnHeartbeatTimer(const boost::system::error_code& error)
{
    if (error || m_closed)
        return;
    // Anything still queued counts as sending: a heartbeat is only due on an
    // idle link.
    if (m_writeQueue.empty() && std::chrono::steady_clock::now() - m_lastSend >= m_settings.HeartbeatIdle)
    {
        Send(CSimEncoder::Heartbeat());
        m_lastSend = std::chrono::steady_clock::now();
    }
    ArmHeartbeat();
}

void CSimSession::ArmSilence()
{
    if (m_settings.SilenceTimeout.count() <= 0 || m_closed)
        return;
    m_silenceTimer.expires_at(m_lastReceive + m_settings.SilenceTimeout);
    auto self = shared_from_this();
    m_silenceTimer.async_wait([self](const boost::system::error_code& error) { self->OnSilenceTimer(error); });
}

void CSimSession::OnSilenceTimer(const boost::system::error_code& error)
{
    if (error || m_closed)
        return;
    if (std::chrono::steady_clock::now() - m_lastReceive >= m_settings.SilenceTimeout)
    {
        Shut("client silent too long", false);
        return;
    }
    ArmSilence();
}

void CSimSession::Shut(const std::string& reason, bool reset)
{
    if (m_closed)
        return;
    m_closed = true;
    m_closeReason = reason;
    m_floodFrame.clear();
    // A write in flight still refers to the front frame until it completes.
    while (m_writeQueue.size() > (m_writing ? 1u : 0u))
    {
        m_queuedBytes -= m_writeQueue.back().size();
        m_writeQueue.pop_back();
    }
    m_heartbeatTimer.cancel();
    m_silenceTimer.cancel();
    boost::system::error_code ignored;
    if (reset)
        m_socket.set_option(boost::asio::socket_base::linger(true, 0), ignored);
    else
        m_socket.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
    m_socket.close(ignored);
    if (m_onClose)
        m_onClose(shared_from_this());
}
