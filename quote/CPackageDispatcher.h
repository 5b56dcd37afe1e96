// Routes one received package, already attached and positioned on its
// ApiBody, to the decoder of its service number.
#ifndef KELM_QUOTE_CPACKAGEDISPATCHER_H
#define KELM_QUOTE_CPACKAGEDISPATCHER_H

#include <cstdint>

class CAPIPackage;
class CTarnQuotSpi;

class CPackageDispatcher
{
public:
    /// The service number of a pushed quote.
    static constexpr uint16_t QuoteService = 125;

    /// Decodes the package and calls the matching operation of callback (which
    /// may be null). Always returns 0: no package makes the connection fail.
    /// The callback is passed by reference to where its owner keeps it: a list
    /// answer reads it again before each record, and stops once it is null.
    static int Dispatch(CAPIPackage& package, CTarnQuotSpi* const& callback);
};

#endif
