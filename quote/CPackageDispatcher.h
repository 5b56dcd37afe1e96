// Routes one received package, already attached and positioned on its
// ApiBody, to the decoder of its service number.
#ifndef KELM_QUOTE_CPACKAGEDISPATCHER_H
#define KELM_QUOTE_CPACKAGEDISPATCHER_H

class CAPIPackage;
class CTarnQuotSpi;

class CPackageDispatcher
{
public:
    /// Decodes the package and calls the matching operation of callback (which
    /// may be null). Always returns 0: no package makes the connection fail.
    static int Dispatch(CAPIPackage& package, CTarnQuotSpi* callback);
};

#endif
