// The quote every benchmark sends: all 61 members filled, encoded once as a
// complete service-125 frame (length prefix and body) by our protocol server's
// encoder, exactly as a server puts it on the wire.
#ifndef KELM_BENCH_QUOTESAMPLE_H
#define KELM_BENCH_QUOTESAMPLE_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "quote/QuotRecord.h"

namespace QuoteSample
{

/// A quote with every member set to a distinct, non-zero value.
QuotRecord Record();

/// Record() as one frame: 4-byte length prefix, then the package body.
std::vector<uint8_t> Frame();

/// Offset in Frame() of the 8-byte big-endian value of Amount, the field the
/// end-to-end benchmarks overwrite with the send time.
std::size_t StampOffset(const std::vector<uint8_t>& frame);

/// Writes a send time (nanoseconds) into a frame at StampOffset, as the
/// double Amount carries it; ReadStamp gets it back from raw bytes.
void WriteStamp(uint8_t* frame, std::size_t offset, int64_t nanoseconds);
int64_t ReadStamp(const uint8_t* frame, std::size_t offset);

}  // namespace QuoteSample

#endif
