#include "CInProcessClient.h"

#include <boost/make_shared.hpp>

#include "api/CRivoMdApiImpl.h"
#include "net/CServerConnection.h"
#include "net/CServerConnector.h"
#include "quote/CTarnQuotApiImp.h"

namespace
{

// The sizes the quote client gives every connection.
constexpr uint16_t kHeartbeatSeconds = 120;
constexpr uint32_t kReadBufferSize = 1u << 20;
constexpr uint32_t kWriteBlockSize = 10u << 20;

}  // namespace

CInProcessClient::CInProcessClient()
    : m_quoteClient(new CTarnQuotApiImp),
      m_api(new CRivoMdApiImpl(CRivoMdApiImpl::QuoteApiPtr(m_quoteClient)))
{
    m_api->SetCallbackObject(&m_app);
    m_connector = std::make_unique<CServerConnector>(m_ioContext, m_quoteClient, std::vector<std::string>{},
                                                     kHeartbeatSeconds, kReadBufferSize, kWriteBlockSize);
    m_connection = boost::make_shared<CServerConnection>(m_ioContext, m_connector.get(), m_quoteClient,
                                                         kHeartbeatSeconds, kReadBufferSize, kWriteBlockSize);
}

CInProcessClient::~CInProcessClient()
{
    m_connection.reset();
    m_connector.reset();
    m_api->Dispose();
}

int CInProcessClient::Receive(const uint8_t* data, uint32_t length)
{
    return m_connection->OnReceive(reinterpret_cast<const char*>(data), length);
}
