// Wire frames for transport tests, written out byte by byte: a 4-byte
// big-endian body length, then the body.
#ifndef KELM_TESTS_NET_TESTFRAMES_H
#define KELM_TESTS_NET_TESTFRAMES_H

#include <cstdint>
#include <string>
#include <vector>

namespace TestFrames
{

/// The 4-byte length prefix alone.
std::string Prefix(uint32_t bodyLength);

/// A service-125 quote whose Quot record carries only InstrumentID.
std::string Quote(const std::string& instrumentId);

/// The client's heartbeat: service 0, request id 0, empty ApiBody.
std::string Heartbeat();

/// Service number in the ApiHead of a frame built by the client.
uint16_t ServiceOf(const std::string& frame);

/// The whole frames at the start of a byte stream, each with its prefix.
std::vector<std::string> Split(const std::string& stream);

} // namespace TestFrames

#endif
