// Exported members of CKelmRivoMdApi: the factory, the version and the
// special members.
#include <KelmRivoMdApi.h>

#include "api/CRivoMdApiImpl.h"
#include "quote/CTarnQuotApiImp.h"

CKelmRivoMdApi* CKelmRivoMdApi::CreateRivoMdApi(const char*, bool, bool)
{
    // The quote client is released again if the API object cannot be built.
    CTarnQuotApiImp* client = new CTarnQuotApiImp();
    CRivoMdApiImpl::QuoteApiPtr quoteApi(client);
    return new CRivoMdApiImpl(std::move(quoteApi), &client->GetLinkStats(), &client->GetEngineRunner());
}

const char* CKelmRivoMdApi::GetApiVersion()
{
    return "V6_6_9";
}

CKelmRivoMdApi::CKelmRivoMdApi() = default;

CKelmRivoMdApi::CKelmRivoMdApi(const CKelmRivoMdApi&) = default;

CKelmRivoMdApi& CKelmRivoMdApi::operator=(const CKelmRivoMdApi&)
{
    return *this;
}

CKelmRivoMdApi::~CKelmRivoMdApi() = default;
