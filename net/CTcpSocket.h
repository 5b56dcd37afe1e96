// The socket of a TCP connection: an Asio TCP socket with the one read the
// connection's read loop keeps in flight.
//
// Asio's reactor begins every read with an attempt to read at once, before it
// waits for the socket. When each chunk arrives on its own (a quote every few
// milliseconds), that attempt comes right after the previous chunk was read
// and always fails: one system call for nothing per chunk. Where the engine is
// Asio's epoll reactor, whose readiness is edge-triggered, this read tells the
// reactor when it came back short: the socket was drained then, and nothing
// more can be read before the system reports new bytes, so the next read
// waits for that report without trying first. A read that fills the buffer
// is followed by an attempt at once, as before. Elsewhere (Windows' completion
// ports, a Boost whose reactor this was not written against) the read is
// Asio's own async_read_some.
#ifndef KELM_NET_CTCPSOCKET_H
#define KELM_NET_CTCPSOCKET_H

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/shared_ptr.hpp>

#include <cstddef>
#include <memory>

class CTcpConnection;

class CTcpSocket : public boost::asio::basic_stream_socket<boost::asio::ip::tcp, boost::asio::io_context::executor_type>
{
public:
    using Base = boost::asio::basic_stream_socket<boost::asio::ip::tcp, boost::asio::io_context::executor_type>;
    explicit CTcpSocket(boost::asio::io_context& ioContext);
    ~CTcpSocket();
    CTcpSocket(const CTcpSocket&) = delete;
    CTcpSocket& operator=(const CTcpSocket&) = delete;

    /// Reads some bytes into buffer (at most size) and completes into the
    /// connection's read handler on the network thread, holding the
    /// reference until then. One read at a time.
    void ReadSome(char* buffer, std::size_t size, const boost::shared_ptr<CTcpConnection>& connection);

private:
    class ReadOperation;
    // Made once, used for every read (none where Asio's read is used).
    std::unique_ptr<ReadOperation> m_read;
};

#endif
