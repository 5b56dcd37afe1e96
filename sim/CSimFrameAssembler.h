// Cuts length-prefixed package bodies out of a TCP byte stream: every frame
// is a 4-byte big-endian body length followed by the body. Chunks may split
// frames anywhere, including inside the prefix.
#ifndef KELM_SIM_CSIMFRAMEASSEMBLER_H
#define KELM_SIM_CSIMFRAMEASSEMBLER_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class CSimFrameAssembler
{
public:
    // The largest body a peer may announce (an 8192-byte frame buffer less
    // its prefix).
    static constexpr uint32_t MaxBodyLength = 8188;

    // Receives one complete frame: prefix and body, frameLength = 4 + body.
    using FrameHandler = std::function<void(const uint8_t* frame, uint32_t frameLength)>;

    // Feeds one chunk and hands every frame it completes to onFrame, in
    // order. Returns false as soon as a prefix announces a body longer than
    // MaxBodyLength; the stream is then unusable and later calls do nothing.
    bool Feed(const uint8_t* data, std::size_t length, const FrameHandler& onFrame);

    // Bytes of an incomplete frame held for the next chunk.
    std::size_t Pending() const { return m_pending.size(); }
    bool Failed() const { return m_failed; }

private:
    std::vector<uint8_t> m_pending;
    bool m_failed = false;
};

#endif
