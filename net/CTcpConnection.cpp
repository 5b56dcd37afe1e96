#include "net/CTcpConnection.h"

#include "net/Platform.h"

#include <boost/asio/error.hpp>
#include <boost/asio/placeholders.hpp>
#include <boost/bind/bind.hpp>
#include <boost/system/system_error.hpp>

#include <algorithm>
#include <cstring>

namespace
{

// A cancelled operation, or one still pending when the socket was closed
// locally (995 on Windows, ECANCELED on POSIX).
bool IsAborted(const boost::system::error_code& error)
{
    return error == boost::asio::error::operation_aborted;
}

} // namespace

CTcpConnection::CTcpConnection(boost::asio::io_context& ioContext, uint32_t writeBlockSize,
                               uint32_t readBufferSize)
    : m_closed(false),
      m_socket(ioContext),
      m_readBuffer(new char[readBufferSize]),
      m_writeOffset(0),
      m_writePending(0),
      m_readBufferSize(readBufferSize),
      m_writeBlockSize(writeBlockSize)
{
    m_writeBlocks.emplace_back(new char[writeBlockSize]);
}

void CTcpConnection::Start(boost::shared_ptr<CTcpConnection> self)
{
    m_keepAlive = self;
    StartRead(self);
}

void CTcpConnection::StartRead(const boost::shared_ptr<CTcpConnection>& self)
{
    m_socket.ReadSome(m_readBuffer.get(), m_readBufferSize, self);
}

void CTcpConnection::OnReadComplete(const boost::shared_ptr<CTcpConnection>& self,
                                    const boost::system::error_code& error, std::size_t bytesTransferred)
{
    if (m_closed)
        return;
    if (error)
    {
        // A read ended by our own side stops the loop quietly; anything else
        // (reset, end of stream) is a lost connection.
        if (!IsAborted(error) && !Platform::IsLocallyAborted(error))
            Close("");
        return;
    }
    if (OnReceive(m_readBuffer.get(), static_cast<uint32_t>(bytesTransferred)) < 0)
        return;
    StartRead(self);
}

uint32_t CTcpConnection::FillPosition() const
{
    const uint32_t end = m_writeOffset + m_writePending;
    if (end < m_writeBlockSize)
        return end;
    return (end - m_writeBlockSize) % m_writeBlockSize;
}

int CTcpConnection::Send(const char* data, int length)
{
    // Nothing queued on a closed connection would ever be written.
    if (length <= 0 || m_closed)
        return 0;
    uint32_t remaining = static_cast<uint32_t>(length);
    while (remaining > 0)
    {
        const uint32_t position = FillPosition();
        if (position == 0 && m_writePending != 0)
            m_writeBlocks.emplace_back(new char[m_writeBlockSize]);
        const uint32_t count = std::min(m_writeBlockSize - position, remaining);
        std::memcpy(m_writeBlocks.back().get() + position, data + (static_cast<uint32_t>(length) - remaining),
                    count);
        remaining -= count;
        m_writePending += count;
    }
    // The queue was empty, so no write is in flight: start one.
    if (m_writePending == static_cast<uint32_t>(length))
        StartWrite(m_keepAlive);
    return 0;
}

void CTcpConnection::StartWrite(const boost::shared_ptr<CTcpConnection>& self)
{
    // A write never crosses the end of the first block.
    const uint32_t count = std::min(m_writeBlockSize - m_writeOffset, m_writePending);
    m_socket.async_write_some(boost::asio::buffer(m_writeBlocks.front().get() + m_writeOffset, count),
                              boost::bind(&CTcpConnection::OnWriteComplete, this, self,
                                          boost::asio::placeholders::error,
                                          boost::asio::placeholders::bytes_transferred));
}

void CTcpConnection::OnWriteComplete(const boost::shared_ptr<CTcpConnection>& self,
                                     const boost::system::error_code& error, std::size_t bytesTransferred)
{
    if (m_closed)
        return;
    if (error)
    {
        // Unlike a read, a write aborted by the local system is a lost
        // connection.
        if (!IsAborted(error))
            Close("");
        return;
    }
    const uint32_t written = static_cast<uint32_t>(bytesTransferred);
    m_writePending -= written;
    m_writeOffset += written;
    if (m_writePending == 0)
    {
        // Keep the first block and reuse it from its start.
        m_writeOffset = 0;
        return;
    }
    if (m_writeOffset == m_writeBlockSize)
    {
        m_writeBlocks.pop_front();
        m_writeOffset = 0;
    }
    StartWrite(self);
}

void CTcpConnection::Close(const char* reason)
{
    if (m_closed)
        return;
    m_closed = true;
    m_closeReason = reason;
    boost::system::error_code error;
    m_socket.close(error);
    if (error)
        throw boost::system::system_error(error, "close");
    // Held until OnDisconnect has returned, so the object outlives its own
    // close even when the self reference was the last one.
    boost::shared_ptr<CTcpConnection> keepAlive;
    keepAlive.swap(m_keepAlive);
    OnDisconnect(reason);
}
