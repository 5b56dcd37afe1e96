#include "net/CTcpSocket.h"

#include "net/CTcpConnection.h"

#include <boost/version.hpp>

// The read handed to the reactor itself uses the reactor's operation
// interface, which Asio does not publish: it is written against the epoll
// reactor of Boost 1.74. Any other engine or version reads through Asio's
// async_read_some.
#if defined(BOOST_ASIO_HAS_EPOLL) && BOOST_VERSION == 107400
#define KELM_NET_REACTOR_READ 1
#include <boost/asio/detail/reactor.hpp>
#include <boost/asio/detail/reactor_op.hpp>
#include <boost/asio/detail/socket_ops.hpp>
#else
#define KELM_NET_REACTOR_READ 0
#include <boost/asio/placeholders.hpp>
#include <boost/bind/bind.hpp>
#endif

#if KELM_NET_REACTOR_READ

namespace socket_ops = boost::asio::detail::socket_ops;

// One read, queued on the reactor like Asio's own and reused for every read
// of the socket, so that a read allocates nothing.
class CTcpSocket::ReadOperation final : public boost::asio::detail::reactor_op
{
public:
    explicit ReadOperation(boost::asio::detail::reactor& reactor)
        : reactor_op(boost::system::error_code(), &Perform, &Complete), m_reactor(reactor)
    {
    }

    template <class Implementation>
    void Start(Implementation& socket, char* buffer, std::size_t size,
               const boost::shared_ptr<CTcpConnection>& connection)
    {
        m_socket = socket.socket_;
        m_buffer = buffer;
        m_size = size;
        m_connection = connection;
        ec_ = boost::system::error_code();
        bytes_transferred_ = 0;
        // The reactor reads without blocking; the connect made the socket so.
        if ((socket.state_ & socket_ops::non_blocking) == 0 &&
            !socket_ops::set_internal_non_blocking(socket.socket_, socket.state_, true, ec_))
        {
            m_reactor.post_immediate_completion(this, false);
            return;
        }
        m_reactor.start_op(boost::asio::detail::reactor::read_op, socket.socket_, socket.reactor_data_, this, false,
                           true);
    }

private:
    static status Perform(reactor_op* base)
    {
        ReadOperation* read = static_cast<ReadOperation*>(base);
        if (!socket_ops::non_blocking_recv1(read->m_socket, read->m_buffer, read->m_size, 0, true, read->ec_,
                                            read->bytes_transferred_))
            return not_done;
        // Never done_and_exhausted on a short read: a read cut short by the
        // peer's close has taken the only readiness edge the close will
        // give, and the end of the stream would then wait for the heartbeat
        // timeout. The next read tries once and then waits for readiness.
        return done;
    }

    // owner is null when the engine is destroyed with the read still queued:
    // the read is dropped with its reference, as Asio drops a handler.
    static void Complete(void* owner, boost::asio::detail::scheduler_operation* base, const boost::system::error_code&, std::size_t)
    {
        ReadOperation* read = static_cast<ReadOperation*>(base);
        // Taken out first: the handler starts the next read on this object,
        // and the reference may be the connection's last.
        boost::shared_ptr<CTcpConnection> connection;
        connection.swap(read->m_connection);
        const boost::system::error_code error = read->ec_;
        const std::size_t bytes = read->bytes_transferred_;
        if (owner)
            connection->OnReadComplete(connection, error, bytes);
    }

    boost::asio::detail::reactor& m_reactor;
    boost::asio::detail::socket_type m_socket = boost::asio::detail::invalid_socket;
    char* m_buffer = nullptr;
    std::size_t m_size = 0;
    boost::shared_ptr<CTcpConnection> m_connection;  // held while the read is queued
};

CTcpSocket::CTcpSocket(boost::asio::io_context& ioContext)
    : Base(ioContext),
      m_read(new ReadOperation(boost::asio::use_service<boost::asio::detail::reactor>(ioContext)))
{
}

void CTcpSocket::ReadSome(char* buffer, std::size_t size, const boost::shared_ptr<CTcpConnection>& connection)
{
    m_read->Start(impl_.get_implementation(), buffer, size, connection);
}

#else

class CTcpSocket::ReadOperation
{
};

CTcpSocket::CTcpSocket(boost::asio::io_context& ioContext) : Base(ioContext)
{
}

void CTcpSocket::ReadSome(char* buffer, std::size_t size, const boost::shared_ptr<CTcpConnection>& connection)
{
    async_read_some(boost::asio::buffer(buffer, size),
                    boost::bind(&CTcpConnection::OnReadComplete, connection.get(), connection,
                                boost::asio::placeholders::error, boost::asio::placeholders::bytes_transferred));
}

#endif

CTcpSocket::~CTcpSocket() = default;
