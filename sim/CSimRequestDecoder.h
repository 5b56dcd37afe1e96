// Decodes one received package body into the request it carries.
#ifndef KELM_SIM_CSIMREQUESTDECODER_H
#define KELM_SIM_CSIMREQUESTDECODER_H

#include <cstdint>
#include <variant>

#include "quote/QuotRequests.h"
#include "sim/SimService.h"


using SimRequestRecord = std::variant<std::monostate, LoginReq, LogoutReq, QuotSubscribeReq, QuotUnSubscribeReq,
                                      MinDataQueryReq, DayDataQueryReq, TradeDetailDataQueryReq>;

struct SimRequest
{
    uint64_t SessionId = 0;   // filled in by the server
    uint16_t ServiceNo = 0;   // 0 also when the package has no ApiHead
    int32_t RequestID = 0;
    int32_t EndFlag = 0;
    // The record of a known request service, zeroed and then filled from
    // the package; std::monostate for heartbeats and unknown services.
    SimRequestRecord Record;
    // False when a known service's record element was missing or did not
    // decode completely.
    bool RecordComplete = false;
};

class CSimRequestDecoder
{
public:
    // body: the package without its length prefix.
    static SimRequest Decode(const uint8_t* body, uint32_t length);
};

#endif
