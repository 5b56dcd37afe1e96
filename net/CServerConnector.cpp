#include "net/CServerConnector.h"

#include "net/CLinkStats.h"
#include "net/CServerConnection.h"
#include "net/Platform.h"
#include "quote/CTarnQuotApiImp.h"

#include <boost/asio/connect.hpp>
#include <boost/asio/error.hpp>
#include <boost/asio/placeholders.hpp>
#include <boost/bind/bind.hpp>
#include <boost/date_time/posix_time/posix_time_types.hpp>
#include <boost/make_shared.hpp>
#include <boost/system/system_error.hpp>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

CServerConnector::CServerConnector(boost::asio::io_context& ioContext, CTarnQuotApiImp* quoteClient,
                                   std::vector<std::string> addresses, uint16_t heartbeatSeconds,
                                   uint32_t readBufferSize, uint32_t writeBlockSize)
    : m_ioContext(ioContext),
      m_writeBlockSize(writeBlockSize),
      m_readBufferSize(readBufferSize),
      m_heartbeatSeconds(heartbeatSeconds),
      m_addresses(std::move(addresses)),
      m_addressIndex(0),
      m_quoteClient(quoteClient),
      m_stopping(false),
      m_retryTimer(ioContext, boost::posix_time::seconds(RetrySeconds))
{
}

bool CServerConnector::ParseAddress(const std::string& address, std::string& host, std::string& service)
{
    // "[v6-literal]:port" takes its host from inside the brackets; anything
    // else is cut at the first colon. An empty host is legal: the resolver
    // then gives this machine's own (loopback) addresses.
    std::string::size_type hostBegin = 0;
    std::string::size_type hostEnd = address.find(':');
    std::string::size_type portBegin = hostEnd + 1;
    const std::string::size_type bracketEnd = address.find("]:");
    if (!address.empty() && address[0] == '[' && bracketEnd != std::string::npos)
    {
        hostBegin = 1;
        hostEnd = bracketEnd;
        portBegin = bracketEnd + 2;
    }
    if (hostEnd == std::string::npos || hostEnd - hostBegin > MaxHostLength)
        return false;
    host = address.substr(hostBegin, hostEnd - hostBegin);
    // strtol: leading blanks and a sign allowed, digits up to the first
    // non-digit, 0 when there are none.
    const long port = std::strtol(address.c_str() + portBegin, nullptr, 10);
    char text[8];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(static_cast<uint16_t>(port)));
    service = text;
    return true;
}

boost::system::error_code CServerConnector::Resolve(const std::string& address,
                                                    boost::asio::ip::tcp::resolver::results_type& endpoints)
{
    std::string host;
    std::string service;
    // An address that cannot be split is as unusable as an unknown name.
    if (!ParseAddress(address, host, service))
        return boost::asio::error::host_not_found;
    boost::system::error_code error;
    boost::asio::ip::tcp::resolver resolver(m_ioContext);
    // Unspecified family, stream socket, TCP; only families configured here.
    endpoints = resolver.resolve(host, service, boost::asio::ip::tcp::resolver::address_configured, error);
    return error;
}

boost::shared_ptr<CServerConnection> CServerConnector::MakeConnection()
{
    return boost::make_shared<CServerConnection>(m_ioContext, this, m_quoteClient, m_heartbeatSeconds,
                                                 m_readBufferSize, m_writeBlockSize);
}

void CServerConnector::ConnectTo(const boost::shared_ptr<CServerConnection>& connection,
                                 const boost::asio::ip::tcp::resolver::results_type& endpoints)
{
    boost::asio::async_connect(
        connection->GetSocket(), endpoints,
        boost::bind(&CServerConnector::OnConnect, this, boost::asio::placeholders::error, connection));
}

int CServerConnector::Connect()
{
    if (m_addresses.empty())
        return -1;
    m_addressIndex = 0;
    boost::asio::ip::tcp::resolver::results_type endpoints;
    const boost::system::error_code error = Resolve(m_addresses[0], endpoints);
    if (!error)
    {
        ConnectTo(MakeConnection(), endpoints);
        return 0;
    }
    if (Platform::ExceptionsReachTheApplication)
        throw boost::system::system_error(error, "resolve");
    // Where no exception can reach the application, the failure counts as a
    // failed attempt, as on the network thread: the next address follows a
    // second later, and the application sees the client keep trying rather
    // than a start that silently did nothing.
    ScheduleRetry(MakeConnection());
    return 0;
}

void CServerConnector::OnConnectionLost()
{
    boost::atomic_store(&m_connection, boost::shared_ptr<CServerConnection>());
    // The loss notification may itself have stopped the client.
    if (m_addresses.empty() || m_stopping)
        return;
    m_addressIndex = 0;
    TryAddress(MakeConnection());
}

// Resolves the current address and connects; on the network thread a name
// that cannot be resolved counts as a failed attempt.
void CServerConnector::TryAddress(const boost::shared_ptr<CServerConnection>& connection)
{
    boost::asio::ip::tcp::resolver::results_type endpoints;
    if (Resolve(m_addresses[m_addressIndex], endpoints))
        ScheduleRetry(connection);
    else
        ConnectTo(connection, endpoints);
}

void CServerConnector::ScheduleRetry(const boost::shared_ptr<CServerConnection>& connection)
{
    m_retryTimer.expires_from_now(boost::posix_time::seconds(RetrySeconds));
    m_retryTimer.async_wait(
        boost::bind(&CServerConnector::OnRetryTimer, this, boost::asio::placeholders::error, connection));
}

void CServerConnector::OnConnect(const boost::system::error_code& error,
                                 boost::shared_ptr<CServerConnection> connection)
{
    if (error == boost::asio::error::operation_aborted || m_stopping)
        return;
    if (error)
    {
        ScheduleRetry(connection);
        return;
    }
    boost::atomic_store(&m_connection, connection);
    const std::size_t index = static_cast<std::size_t>(m_addressIndex);
    m_quoteClient->GetLinkStats().Connected(index < m_addresses.size() ? m_addresses[index] : std::string());
    connection->Start(connection);
}

void CServerConnector::OnRetryTimer(const boost::system::error_code& error,
                                    boost::shared_ptr<CServerConnection> connection)
{
    if (error == boost::asio::error::operation_aborted || m_stopping || GetConnection())
        return;
    const int32_t count = static_cast<int32_t>(m_addresses.size());
    m_addressIndex = m_addressIndex + 1 >= count ? 0 : m_addressIndex + 1;
    TryAddress(connection);
}

boost::shared_ptr<CServerConnection> CServerConnector::GetConnection() const
{
    return boost::atomic_load(&m_connection);
}

void CServerConnector::Stop()
{
    m_stopping = true;
    const boost::shared_ptr<CServerConnection> connection = GetConnection();
    if (connection && !connection->IsClosed())
        connection->Close("Stoped");
    m_retryTimer.cancel();
    m_quoteClient->GetLinkStats().ClearAddress();
}
