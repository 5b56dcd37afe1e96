// Decoders of the server's answers: each reads the records of one response
// package and calls the matching notification. All return 0: no answer ever
// makes the connection fail.
#ifndef KELM_QUOTE_CRESPONSEDECODER_H
#define KELM_QUOTE_CRESPONSEDECODER_H

class CAPIPackage;
class CTarnQuotSpi;

// The list decoders take the callback by reference to where its owner keeps
// it and read it again before every record (see CPackageDispatcher).
class CResponseDecoder
{
public:
    static int Login(CAPIPackage& package, CTarnQuotSpi* callback);         // 117
    static int Logout(CAPIPackage& package, CTarnQuotSpi* callback);        // 119
    static int Subscribe(CAPIPackage& package, CTarnQuotSpi* callback);     // 8
    static int Unsubscribe(CAPIPackage& package, CTarnQuotSpi* callback);   // 10
    static int MinData150(CAPIPackage& package, CTarnQuotSpi* const& callback);  // 151
    static int DayData(CAPIPackage& package, CTarnQuotSpi* const& callback);  // 153
    static int MinData192(CAPIPackage& package, CTarnQuotSpi* const& callback);  // 193
    static int MinData194(CAPIPackage& package, CTarnQuotSpi* const& callback);  // 195
    static int TradeDetail(CAPIPackage& package, CTarnQuotSpi* const& callback);  // 212
};

#endif
