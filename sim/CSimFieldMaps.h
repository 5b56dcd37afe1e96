// The server's own field maps: one binding per member, in member order, for
// every request record it decodes and every response record it encodes.
// They are written independently of the client's maps on purpose, so that a
// wrong binding on either side shows up as a mismatch between the two.
#ifndef KELM_SIM_CSIMFIELDMAPS_H
#define KELM_SIM_CSIMFIELDMAPS_H

#include <array>
#include <cstddef>

#include "bml/BMLFieldBinding.h"
#include "bml/CBMLFieldMap.h"
#include "quote/QuotRecord.h"
#include "quote/QuotRequests.h"
#include "quote/QuotResponses.h"

template <std::size_t N>
using SimBindings = std::array<BMLFieldBinding, N>;

// A field map over bindings that outlive it.
template <std::size_t N>
CBMLFieldMap SimMap(const SimBindings<N>& bindings)
{
    return CBMLFieldMap(bindings.data(), static_cast<uint32_t>(N));
}

class CSimFieldMaps
{
public:
    // Requests (decoded by the server).
    static SimBindings<5> Bind(LoginReq& record);
    static SimBindings<1> Bind(LogoutReq& record);
    static SimBindings<2> Bind(QuotSubscribeReq& record);
    static SimBindings<2> Bind(QuotUnSubscribeReq& record);
    static SimBindings<4> Bind(MinDataQueryReq& record);
    static SimBindings<4> Bind(DayDataQueryReq& record);
    static SimBindings<3> Bind(TradeDetailDataQueryReq& record);

    // Answers and quotes (encoded by the server).
    static SimBindings<2> Bind(RspInfo& record);
    static SimBindings<9> Bind(LoginRsp& record);
    static SimBindings<1> Bind(LogoutRsp& record);
    static SimBindings<1> Bind(QuotSubscribeRsp& record);
    static SimBindings<1> Bind(QuotUnSubscribeRsp& record);
    static SimBindings<10> Bind(MinData& record);
    static SimBindings<10> Bind(DayData& record);
    static SimBindings<7> Bind(TradeDetailRecord& record);
    // 61 members; AskQty5 and ExchangeID share tag 1637, so ExchangeID must
    // stay the last binding, right after BSFlag.
    static SimBindings<61> Bind(QuotRecord& record);
};

#endif
