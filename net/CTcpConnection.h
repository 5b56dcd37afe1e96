// One TCP connection: a read loop into a single buffer, a write queue of
// large fixed-size blocks with at most one write in flight, and an orderly
// close that tells the derived class why. Framing belongs to the derived
// class; this class only moves bytes.
#ifndef KELM_NET_CTCPCONNECTION_H
#define KELM_NET_CTCPCONNECTION_H

#include "net/CTcpSocket.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/system/error_code.hpp>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>

class CTcpConnection
{
public:
    CTcpConnection(boost::asio::io_context& ioContext, uint32_t writeBlockSize, uint32_t readBufferSize);
    CTcpConnection(const CTcpConnection&) = delete;
    CTcpConnection& operator=(const CTcpConnection&) = delete;

    /// The socket is connected from outside (by the connector); this class
    /// only reads, writes and closes it.
    CTcpSocket& GetSocket() { return m_socket; }

    /// Called once, on the network thread, after the socket has connected:
    /// keeps the object alive through self while open and starts reading.
    void Start(boost::shared_ptr<CTcpConnection> self);

    /// Copies length bytes into the write queue and starts a write unless
    /// one is in flight. length <= 0 queues nothing. Always returns 0.
    int Send(const char* data, int length);

    /// Closes the socket, releases the self reference and reports reason
    /// through OnDisconnect. Only the first close of a connection reports.
    void Close(const char* reason);

    bool IsClosed() const { return m_closed; }
    /// Reason given to the close that ended this connection; empty while open.
    const std::string& GetCloseReason() const { return m_closeReason; }
    /// Blocks currently held by the write queue (always at least one).
    std::size_t GetWriteBlockCount() const { return m_writeBlocks.size(); }
    uint32_t GetReadBufferSize() const { return m_readBufferSize; }
    uint32_t GetWriteBlockSize() const { return m_writeBlockSize; }

protected:
    // Destroyed only through the shared pointer of the concrete class.
    ~CTcpConnection() = default;

    virtual void OnDisconnect(const char* reason) = 0;
    /// One chunk of received bytes; a negative result (given only after the
    /// derived class has closed the connection) ends the read loop.
    virtual int OnReceive(const char* data, uint32_t length) = 0;

    bool m_closed;

private:
    friend class CTcpSocket;  // completes its reads into OnReadComplete

    void StartRead(const boost::shared_ptr<CTcpConnection>& self);
    void StartWrite(const boost::shared_ptr<CTcpConnection>& self);
    // The handlers take the reference their binding holds: no copy per call.
    void OnReadComplete(const boost::shared_ptr<CTcpConnection>& self, const boost::system::error_code& error,
                        std::size_t bytesTransferred);
    void OnWriteComplete(const boost::shared_ptr<CTcpConnection>& self, const boost::system::error_code& error,
                         std::size_t bytesTransferred);
    uint32_t FillPosition() const;

    CTcpSocket m_socket;
    std::unique_ptr<char[]> m_readBuffer;
    // Never empty; the queued bytes start at m_writeOffset in the first block.
    std::deque<std::unique_ptr<char[]>> m_writeBlocks;
    uint32_t m_writeOffset;
    uint32_t m_writePending;
    uint32_t m_readBufferSize;
    uint32_t m_writeBlockSize;
    boost::shared_ptr<CTcpConnection> m_keepAlive;
    std::string m_closeReason;
};

#endif
