// Exported members of CKelmRivoMdExtension: how an application reaches the
// interface of its API object, and the interface version.
#include <KelmRivoMdExtension.h>

#include "api/CRivoMdApiImpl.h"

CKelmRivoMdExtension* CKelmRivoMdExtension::FromApi(CKelmRivoMdApi* api)
{
    // Every API object this library hands out is a CRivoMdApiImpl; an
    // application's own subclass is not.
    CRivoMdApiImpl* impl = dynamic_cast<CRivoMdApiImpl*>(api);
    return impl ? &impl->Extension() : nullptr;
}

int CKelmRivoMdExtension::GetExtensionVersion()
{
    return KELM_MD_EXTENSION_VERSION;
}
