#include "net/TestFrames.h"

namespace
{

std::string Be16(uint16_t v)
{
    return {static_cast<char>(v >> 8), static_cast<char>(v)};
}

std::string Be32(uint32_t v)
{
    return Be16(static_cast<uint16_t>(v >> 16)) + Be16(static_cast<uint16_t>(v));
}

// Tag, extension length 0, value length, value.
std::string Element(uint16_t tag, const std::string& value)
{
    return Be16(tag) + Be16(0) + Be32(static_cast<uint32_t>(value.size())) + value;
}

std::string Body(uint16_t serviceNo, const std::string& apiBodyValue)
{
    const std::string head = Element(1008, Be16(serviceNo)) + Element(1003, Be32(0)) + Element(1004, Be32(0));
    return Element(1009, head) + Element(1010, apiBodyValue);
}

std::string Frame(const std::string& body)
{
    return TestFrames::Prefix(static_cast<uint32_t>(body.size())) + body;
}

} // namespace

namespace TestFrames
{

std::string Prefix(uint32_t bodyLength)
{
    return Be32(bodyLength);
}

std::string Quote(const std::string& instrumentId)
{
    return Frame(Body(125, Element(1141, Element(1046, instrumentId))));
}

std::string Heartbeat()
{
    return Frame(Body(0, ""));
}

uint16_t ServiceOf(const std::string& frame)
{
    // Prefix, ApiHead header, ServiceNo header.
    const std::size_t at = 4 + 8 + 8;
    return static_cast<uint16_t>((static_cast<uint8_t>(frame.at(at)) << 8) | static_cast<uint8_t>(frame.at(at + 1)));
}

std::vector<std::string> Split(const std::string& stream)
{
    std::vector<std::string> frames;
    std::size_t at = 0;
    while (stream.size() - at >= 4)
    {
        const std::size_t length = 4 + ((static_cast<uint32_t>(static_cast<uint8_t>(stream[at])) << 24) |
                                        (static_cast<uint32_t>(static_cast<uint8_t>(stream[at + 1])) << 16) |
                                        (static_cast<uint32_t>(static_cast<uint8_t>(stream[at + 2])) << 8) |
                                        static_cast<uint8_t>(stream[at + 3]));
        if (stream.size() - at < length)
            break;
        frames.push_back(stream.substr(at, length));
        at += length;
    }
    return frames;
}

} // namespace TestFrames
