// Decodes the Quot record of a service-125 package into a QuotRecord.
#ifndef KELM_QUOTE_CQUOTDECODER_H
#define KELM_QUOTE_CQUOTDECODER_H

#include "quote/QuotRecord.h"

class CAPIPackage;
class CTarnQuotSpi;

class CQuotDecoder
{
public:
    static constexpr unsigned kFieldCount = 61;

    /// A zeroed record; Decode fills it through a constant map of its 61
    /// members, in wire order.
    CQuotDecoder();
    CQuotDecoder(const CQuotDecoder&) = delete;
    CQuotDecoder& operator=(const CQuotDecoder&) = delete;

    /// Fills the record from the first Quot element of the package's body;
    /// members the element does not carry stay zero. Returns the record.
    const QuotRecord& Decode(CAPIPackage& package);

    /// Decodes one quote package and hands a copy to OnQuote, also when the
    /// package holds no Quot element. Always 0.
    static int Dispatch(CAPIPackage& package, CTarnQuotSpi* callback);

private:
    QuotRecord m_record;
};

#endif
