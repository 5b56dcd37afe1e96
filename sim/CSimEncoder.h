// Encoders of every package the server sends: heartbeats, the answers of
// services 8, 10, 117 and 119, quotes (125), and the list answers of
// services 151, 153, 193, 195 and 212. Each returns complete frames (length
// prefix and body).
//
// Single answers: the ApiBody holds RspInfo, then the answer record; either
// part is left out when its pointer is null.
//
// List answers are split over as many packages as needed to keep every body
// within 8188 bytes. Every package repeats RspInfo (when given) before the
// list. EndFlag is 1 on every package but the last and 0 on the last; an
// empty list gives one package with an empty list and EndFlag 0.
#ifndef KELM_SIM_CSIMENCODER_H
#define KELM_SIM_CSIMENCODER_H

#include <cstdint>
#include <vector>

#include "quote/QuotRecord.h"
#include "quote/QuotResponses.h"
#include "sim/CSimPackageWriter.h"

class CSimEncoder
{
public:
    // Service 0, RequestID 0, EndFlag 0, empty ApiBody: 54 bytes.
    static SimFrame Heartbeat();
    // Any service with an empty ApiBody.
    static SimFrame EmptyPackage(uint16_t serviceNo, int32_t requestId, int32_t endFlag);

    static SimFrame LoginAnswer(int32_t requestId, const RspInfo* info, const LoginRsp* record, int32_t endFlag = 0);
    static SimFrame LogoutAnswer(int32_t requestId, const RspInfo* info, const LogoutRsp* record, int32_t endFlag = 0);
    static SimFrame SubscribeAnswer(int32_t requestId, const RspInfo* info, const QuotSubscribeRsp* record,
                                    int32_t endFlag = 0);
    static SimFrame UnsubscribeAnswer(int32_t requestId, const RspInfo* info, const QuotUnSubscribeRsp* record,
                                      int32_t endFlag = 0);

    // Service 125, RequestID 0: one Quot record with all 61 members.
    static SimFrame Quote(const QuotRecord& quote);

    // service: 151, 193 or 195.
    static std::vector<SimFrame> MinDataAnswer(uint16_t service, int32_t requestId, const RspInfo* info,
                                               const std::vector<MinData>& records);
    static std::vector<SimFrame> DayDataAnswer(int32_t requestId, const RspInfo* info,
                                               const std::vector<DayData>& records);
    static std::vector<SimFrame> TradeDetailAnswer(int32_t requestId, const RspInfo* info,
                                                   const std::vector<TradeDetailRecord>& records);
};

#endif
