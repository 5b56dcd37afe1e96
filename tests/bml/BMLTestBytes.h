// Hand-built wire bytes for the BML tests, written without the codec under
// test so that encoder and decoder are each checked against literal bytes.
#ifndef KELM_TESTS_BML_BMLTESTBYTES_H
#define KELM_TESTS_BML_BMLTESTBYTES_H

#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

namespace bmltest
{

using Bytes = std::vector<uint8_t>;

inline Bytes Be16(uint16_t v)
{
    return {uint8_t(v >> 8), uint8_t(v)};
}

inline Bytes Be32(uint32_t v)
{
    return {uint8_t(v >> 24), uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
}

inline Bytes Be64(uint64_t v)
{
    Bytes b = Be32(uint32_t(v >> 32));
    Bytes lo = Be32(uint32_t(v));
    b.insert(b.end(), lo.begin(), lo.end());
    return b;
}

inline Bytes BeDouble(double d)
{
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof bits);
    return Be64(bits);
}

inline Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

inline Bytes Cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// tag, extension length, extension, value length, value.
inline Bytes Element(uint16_t tag, const Bytes& value, const Bytes& extension = Bytes())
{
    return Cat({Be16(tag), Be16(uint16_t(extension.size())), extension, Be32(uint32_t(value.size())), value});
}

// An element whose value-length field says declaredLength whatever follows.
inline Bytes LyingElement(uint16_t tag, uint32_t declaredLength, const Bytes& value)
{
    return Cat({Be16(tag), Be16(0), Be32(declaredLength), value});
}

// One record inside a list value: 4-byte length, then its elements.
inline Bytes ListRecord(const Bytes& body)
{
    return Cat({Be32(uint32_t(body.size())), body});
}

// A received message body: ApiHead {ServiceNo, RequestID, EndFlag}, ApiBody.
inline Bytes Message(uint16_t serviceNo, int32_t requestId, int32_t endFlag, const Bytes& apiBody)
{
    const Bytes head = Cat({Element(1008, Be16(serviceNo)), Element(1003, Be32(uint32_t(requestId))),
                            Element(1004, Be32(uint32_t(endFlag)))});
    return Cat({Element(1009, head), Element(1010, apiBody)});
}

}  // namespace bmltest

#endif
