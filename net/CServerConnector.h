// Turns the list of server addresses into one connection and keeps it: tries
// the addresses in order, one second apart, without end, and after a loss
// starts again from the first address.
#ifndef KELM_NET_CSERVERCONNECTOR_H
#define KELM_NET_CSERVERCONNECTOR_H

#include <boost/asio/deadline_timer.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/shared_ptr.hpp>
#include <boost/system/error_code.hpp>

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

class CServerConnection;
class CTarnQuotApiImp;

class CServerConnector
{
public:
    /// Longest host part of an address.
    static constexpr std::size_t MaxHostLength = 127;
    /// Pause before trying the next address after a failed attempt.
    static constexpr long RetrySeconds = 1;

    CServerConnector(boost::asio::io_context& ioContext, CTarnQuotApiImp* quoteClient,
                     std::vector<std::string> addresses, uint16_t heartbeatSeconds, uint32_t readBufferSize,
                     uint32_t writeBlockSize);
    CServerConnector(const CServerConnector&) = delete;
    CServerConnector& operator=(const CServerConnector&) = delete;

    /// Starts connecting to the first address: 0 when an attempt was started,
    /// -1 when there is no address. An address that cannot be resolved raises
    /// boost::system::system_error ("resolve").
    int Connect();

    /// The established connection, or empty; safe from any thread.
    boost::shared_ptr<CServerConnection> GetConnection() const;

    /// Ends the cycle for good: no reconnect, the current connection closed
    /// with "Stoped" and no loss reported, the retry timer cancelled.
    void Stop();
    bool IsStopping() const { return m_stopping; }

    /// Splits "host:port" at the first colon, or "[host]:port" (an IPv6
    /// literal) at the first "]:". The port text is read as a decimal integer
    /// whose low 16 bits give the service ("65537" -> "1", letters -> "0").
    /// An empty host (":9000") names this machine. False when there is no
    /// colon or the host is longer than MaxHostLength.
    static bool ParseAddress(const std::string& address, std::string& host, std::string& service);

    /// Completions, on the network thread.
    void OnConnect(const boost::system::error_code& error, boost::shared_ptr<CServerConnection> connection);
    void OnRetryTimer(const boost::system::error_code& error, boost::shared_ptr<CServerConnection> connection);
    /// Called by a connection after it reported its loss: connect again from
    /// the first address.
    void OnConnectionLost();

private:
    boost::shared_ptr<CServerConnection> MakeConnection();
    boost::system::error_code Resolve(const std::string& address,
                                      boost::asio::ip::tcp::resolver::results_type& endpoints);
    void ConnectTo(const boost::shared_ptr<CServerConnection>& connection,
                   const boost::asio::ip::tcp::resolver::results_type& endpoints);
    void TryAddress(const boost::shared_ptr<CServerConnection>& connection);
    void ScheduleRetry(const boost::shared_ptr<CServerConnection>& connection);

    boost::asio::io_context& m_ioContext;
    uint32_t m_writeBlockSize;
    uint32_t m_readBufferSize;
    uint16_t m_heartbeatSeconds;
    std::vector<std::string> m_addresses;
    int32_t m_addressIndex;
    CTarnQuotApiImp* m_quoteClient;
    // Replaced on the network thread, read by application threads: accessed
    // only through the atomic shared-pointer functions.
    boost::shared_ptr<CServerConnection> m_connection;
    std::atomic<bool> m_stopping;
    boost::asio::deadline_timer m_retryTimer;
};

#endif
