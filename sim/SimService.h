// Service numbers of the protocol, as the server sees them.
#ifndef KELM_SIM_SIMSERVICE_H
#define KELM_SIM_SIMSERVICE_H

#include <cstdint>

// Service numbers; an answer carries its request's number plus one.
namespace SimService
{
constexpr uint16_t Heartbeat = 0;
constexpr uint16_t Subscribe = 7;
constexpr uint16_t SubscribeAnswer = 8;
constexpr uint16_t Unsubscribe = 9;
constexpr uint16_t UnsubscribeAnswer = 10;
constexpr uint16_t Login = 116;
constexpr uint16_t LoginAnswer = 117;
constexpr uint16_t Logout = 118;
constexpr uint16_t LogoutAnswer = 119;
constexpr uint16_t Quote = 125;
constexpr uint16_t MinDataQuery150 = 150;
constexpr uint16_t MinDataAnswer150 = 151;
constexpr uint16_t DayDataQuery = 152;
constexpr uint16_t DayDataAnswer = 153;
constexpr uint16_t MinDataQuery192 = 192;
constexpr uint16_t MinDataAnswer192 = 193;
constexpr uint16_t MinDataQuery194 = 194;
constexpr uint16_t MinDataAnswer194 = 195;
constexpr uint16_t TradeDetailQuery = 211;
constexpr uint16_t TradeDetailAnswer = 212;
}  // namespace SimService

#endif
