#include "sim/CSimFrameAssembler.h"

#include "bml/BMLByteOrder.h"

bool CSimFrameAssembler::Feed(const uint8_t* data, std::size_t length, const FrameHandler& onFrame)
{
    if (m_failed)
        return false;
    m_pending.insert(m_pending.end(), data, data + length);

    std::size_t offset = 0;
    while (m_pending.size() - offset >= 4)
    {
        const uint32_t bodyLength = BMLByteOrder::Read32(m_pending.data() + offset);
        if (bodyLength > MaxBodyLength)
        {
            // Judged on the prefix alone: a peer that announces too much is
            // not waited for.
            m_failed = true;
            m_pending.clear();
            return false;
        }
        if (m_pending.size() - offset < 4 + static_cast<std::size_t>(bodyLength))
            break;
        onFrame(m_pending.data() + offset, 4 + bodyLength);
        offset += 4 + bodyLength;
    }
    m_pending.erase(m_pending.begin(), m_pending.begin() + static_cast<std::ptrdiff_t>(offset));
    return true;
}
